// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/ownfoods.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"
#include "fooddb/jetlike.h"
#include "portion/meal.h"
#include "portion/portion.h"
#include "tools/formats/inputfile.h"
#include "tools/sources/readers.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

namespace velmora::mkdb {

namespace {

std::u32string folded(const QString& text) {
    return foldedCodePoints(text.toUtf8().toStdString());
}

// The number n of an NDB number "<letter><n>" (folded: 'r' for a recipe's R12, 'u' for an own
// food's U3), from 1; 0 for none.
template <typename Char>
std::size_t ownNumber(std::basic_string_view<Char> name, char letter) {
    if (name.size() < 2 || name.size() > 10 || (name[0] | 0x20) != Char(letter)) return 0;
    std::size_t n = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] < Char('0') || name[i] > Char('9')) return 0;
        n = n * 10 + std::size_t(name[i] - Char('0'));
    }
    return n;
}
std::size_t recipeNumber(const std::u32string& name) {
    return ownNumber(std::u32string_view(name), 'r');
}

// "7,910": the counts line's totals, grouped as the example in the manual is.
QString grouped(qsizetype n) {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(n);
}
QString groupedCount(qsizetype n, QStringView noun) {
    return QStringLiteral("%1 %2%3").arg(grouped(n), noun, n == 1 ? u"" : u"s");
}

// The per-100-gram amounts are kept to the report's decimals and as many more as the whole
// recipe is heavier than 100 grams tenfold: its "1 recipe" shows the totals of its lines.
int storedDecimals(int slot, double weight) {
    const int extra = weight > 100 ? int(std::ceil(std::log10(weight / 100) - 1e-9)) : 0;
    return portionDecimals(slot) + std::clamp(extra, 0, 15);
}

// Makes the recipes foods, one after the other, from the table as it stands.
class RecipeMaker {
  public:
    // The recipes are numbered from R<first + 1> on.
    RecipeMaker(const QString& table, const std::vector<Recipe>& recipes, std::size_t first)
        : foods_(data_, locale_, MealFoods::Shared::Refused), recipes_(recipes), first_(first) {
        data_.DatabaseName = table;
        for (std::size_t k = 0; k < recipes.size(); ++k)
            numbers_.emplace(folded(recipes[k].name), k);
    }
    // Writes recipe `k`; a note when nutrients became not measured.
    void make(std::size_t k, const RowSink& sink, QStringList& notes);

  private:
    struct Totals {
        MealTotals meal;
        // Each nutrient's first ingredient without it.
        std::array<qsizetype, slot::LastNutrient + 1> firstLacking;
        std::vector<QString> descriptions;  // of the ingredients found
    };
    Totals total(std::size_t k);
    [[noreturn]] void refuse(std::size_t k, const Ingredient& i, const ReportOutput& failed) const;
    void setAmounts(FoodRow& row, const Recipe& recipe, const Totals& t, double weight) const;
    static QString note(const Recipe& recipe, const Totals& t);

    DataControl data_;
    const QLocale locale_ = QLocale::c();
    MealFoods foods_;
    const std::vector<Recipe>& recipes_;
    const std::size_t first_;
    std::unordered_map<std::u32string, std::size_t> numbers_;  // names folded, the first each
};

RecipeMaker::Totals RecipeMaker::total(std::size_t k) {
    const Recipe& recipe = recipes_[k];
    Totals t;
    t.firstLacking.fill(-1);
    for (const Ingredient& i : recipe.ingredients) {
        const auto portion = foods_.portion(i.food);
        if (const ReportOutput* failed = std::get_if<ReportOutput>(&portion)) refuse(k, i, *failed);
        const MealPortion& p = foods_[std::get<int>(portion)];
        t.descriptions.push_back(p.summary.description);
        // A portion of no weight (a measure of 0 g) adds nothing, and lacks nothing either.
        if (p.summary.grams <= 0) continue;
        t.meal.add(p);
        for (std::size_t s = slot::FirstNutrient; s <= slot::LastNutrient; ++s)
            if (!p.measured[s] && t.firstLacking[s] < 0)
                t.firstLacking[s] = qsizetype(t.descriptions.size() - 1);
    }
    return t;
}

// Why ingredient `i` of recipe `k` was not found: itself or a later recipe, or what the lookup
// said.
void RecipeMaker::refuse(std::size_t k, const Ingredient& i, const ReportOutput& failed) const {
    const std::u32string name = folded(i.food.food);
    const auto named = numbers_.find(name);
    const std::size_t number = recipeNumber(name);
    const std::size_t n = named != numbers_.end() ? named->second + 1
                          : number > first_       ? number - first_
                                                  : 0;
    QString why = failureMessage(failed);
    // "did you mean: ..." on lines of their own, as velmora-report gives them.
    for (const QString& note : failureNotes(failed))
        why += QStringLiteral("\nvelmora-mkdb: ") + note;
    if (n == k + 1)
        why = QStringLiteral("%1 is this recipe: a recipe cannot be its own ingredient")
                  .arg(quoted(i.food.food, u'\''));
    else if (n > k + 1 && n <= recipes_.size())
        why = QStringLiteral(
                  "%1 is a later recipe (%2:%3): a recipe can use the recipes before "
                  "it only")
                  .arg(quoted(i.food.food, u'\''), printableLine(recipes_[n - 1].file))
                  .arg(recipes_[n - 1].line);
    throw Fault{{recipes_[k].file, i.line, i.column, why}};
}

void RecipeMaker::setAmounts(FoodRow& row, const Recipe& recipe, const Totals& t,
                             double weight) const {
    for (int s = slot::FirstNutrient; s <= slot::LastNutrient; ++s) {
        const auto i = std::size_t(s);
        if (t.meal.lacking[i] > 0) {
            row[i] = {};  // what one ingredient lacks, the recipe lacks
            continue;
        }
        const double amount =
            roundHalfAway(t.meal.sum[i] * 100 / weight, storedDecimals(s, weight));
        if (!(std::fabs(amount) <= kLargestAmount))
            throw Fault{{recipe.file, recipe.line, recipe.column,
                         QStringLiteral("%1 per 100 g of the recipe is out of range (beyond "
                                        "±10^%2)")
                             .arg(nutrientName(s))
                             .arg(kLargestAmountPower)}};
        row[i] = Cell::of(amount);
    }
}

// "'Apple crumble': Selenium, Vitamin E not measured, as in 'Butter, salted' (line 6)": the
// nutrients some ingredients have and the recipe lacks, by the first ingredient without each.
QString RecipeMaker::note(const Recipe& recipe, const Totals& t) {
    std::map<qsizetype, QStringList> byIngredient;
    for (std::size_t s = slot::FirstNutrient; s <= slot::LastNutrient; ++s)
        if (t.meal.lacking[s] > 0 && t.meal.lacking[s] < t.meal.portions)
            byIngredient[t.firstLacking[s]] << nutrientName(int(s));
    QStringList parts;
    for (const auto& [i, nutrients] : byIngredient)
        parts << QStringLiteral("%1 not measured, as in %2 (line %3)")
                     .arg(nutrients.join(QStringLiteral(", ")),
                          quoted(t.descriptions[std::size_t(i)], u'\''))
                     .arg(recipe.ingredients[std::size_t(i)].line);
    if (parts.isEmpty()) return {};
    return QStringLiteral("%1:%2: %3: %4")
        .arg(printableLine(recipe.file))
        .arg(recipe.line)
        .arg(quoted(recipe.name, u'\''), parts.join(QStringLiteral("; ")));
}

void RecipeMaker::make(std::size_t k, const RowSink& sink, QStringList& notes) {
    const Recipe& recipe = recipes_[k];
    const Totals t = total(k);
    const double weight = recipe.weight > 0 ? recipe.weight : t.meal.grams;
    const auto refuse = [&](const QString& why) {
        throw Fault{{recipe.file, recipe.line, recipe.column, why}};
    };
    if (!(weight > 0))
        refuse(
            QStringLiteral("the recipe weighs 0 g: its ingredients weigh nothing, and no "
                           "weight line gives its weight"));
    if (!(weight <= kLargestAmount))
        refuse(QStringLiteral("the recipe weighs more than 10^%1 g").arg(kLargestAmountPower));
    FoodRow row;
    const QByteArray name = recipe.name.toUtf8(),
                     number = "R" + QByteArray::number(qulonglong(first_ + k + 1));
    row[field::Description] =
        Cell::of(std::string_view(name.constData(), std::size_t(name.size())));
    setAmounts(row, recipe, t, weight);
    int measure = field::Measure1Grams;
    if (recipe.servings > 0) {
        const double serving = weight / recipe.servings;
        if (!(static_cast<float>(serving) > 0))
            refuse(QStringLiteral("a serving would weigh nothing: %1 servings of %2 g")
                       .arg(numberText(recipe.servings), numberText(weight)));
        // Such a count is tiny: written with its exponent, as the file likely gives it.
        if (!(serving <= kLargestAmount))
            refuse(QStringLiteral("a serving would weigh more than 10^%1 g: %2 servings of %3 g")
                       .arg(kLargestAmountPower)
                       .arg(QString::number(recipe.servings, 'g', 15),
                            QString::number(weight, 'g', 15)));
        row[std::size_t(measure)] = Cell::of(serving);
        row[std::size_t(measure + 1)] = Cell::of(std::string_view("1 serving"));
        measure = field::Measure2Grams;
    }
    row[std::size_t(measure)] = Cell::of(weight);
    row[std::size_t(measure + 1)] = Cell::of(std::string_view("1 recipe"));
    row[field::NdbNumber] =
        Cell::of(std::string_view(number.constData(), std::size_t(number.size())));
    sink(row);
    // A name that found a food of the same NDB number before may find this one now.
    foods_.forget(QString::fromLatin1(number));
    foods_.forget(QString::fromLatin1(number.toLower()));
    if (const QString n = note(recipe, t); !n.isEmpty()) notes << n;
}

}  // namespace

OwnFoods::OwnFoods()
    : taken_(pool_, TextSet::Comparison::IgnoringCase),
      chosen_(pool_, TextSet::Comparison::IgnoringCase) {}
OwnFoods::~OwnFoods() = default;

void OwnFoods::read(const QStringList& added, const QStringList& recipes) {
    for (const QString& file : added) {
        files_ << file;
        qsizetype line = 0;
        readFoodTableCsv(
            file,
            [&](const FoodRow& row) {
                // A name of blanks only is as empty as a recipe's "[ ]".
                if (fromUtf8(row[field::Description].text).trimmed().isEmpty())
                    throw Fault{{file, line, 1, QStringLiteral("the description is blank")}};
                AddedFood food{{}, files_.size() - 1, line};
                for (std::size_t c = 0; c < row.size(); ++c)
                    food.cells[c] = {
                        row[c].kind, row[c].number,
                        row[c].kind == Cell::Kind::Text ? pool_.add(row[c].text) : Text{}};
                added_.push_back(food);
            },
            &line);
    }
    for (const QString& file : recipes) readRecipeFile(file, recipes_);
    for (const AddedFood& food : added_) {
        const StoredCell& number = food.cells[field::NdbNumber];
        // An own number U<n> given: those given out come after it. (One of a recipe of this
        // build is refused when the recipes' numbers are known.)
        if (number.kind == Cell::Kind::Text)
            lastOwn_ = std::max(lastOwn_, ownNumber(pool_.view(number.text), 'u'));
        chosen_.insert(food.cells[0].text);
    }
    for (const Recipe& recipe : recipes_) {
        const QByteArray name = recipe.name.toUtf8();
        chosen_.insert(pool_.add(std::string_view(name.constData(), std::size_t(name.size()))));
    }
}

void OwnFoods::note(std::string_view ndbNumber) {
    lastRecipe_ = std::max(lastRecipe_, ownNumber(ndbNumber, 'r'));
    lastOwn_ = std::max(lastOwn_, ownNumber(ndbNumber, 'u'));
}

RowSink OwnFoods::noting(const RowSink& sink) {
    if (empty()) return sink;
    // Only the source's names the user chose too: a look into a small set per row, where keeping
    // every name would cost a large table's worth of copies. A table built before may hold
    // recipes and own foods already: the new ones are numbered after them.
    return [this, &sink](const FoodRow& row) {
        ++sourceFoods_;
        if (row[0].kind == Cell::Kind::Text && chosen_.contains(row[0].text))
            taken_.insert(pool_.add(row[0].text));
        if (row[field::NdbNumber].kind == Cell::Kind::Text) note(row[field::NdbNumber].text);
        sink(row);
    };
}

void OwnFoods::writeAdded(const RowSink& sink) {
    FoodRow row;
    std::size_t own = lastOwn_;
    for (const AddedFood& food : added_) {
        // This build's recipes' numbers: an added food of one would be found for it. Known only
        // now that the source's numbers are.
        const StoredCell& number = food.cells[field::NdbNumber];
        const std::size_t n = number.kind == Cell::Kind::Text
                                  ? recipeNumber(foldedCodePoints(pool_.view(number.text)))
                                  : 0;
        if (n > lastRecipe_ && n - lastRecipe_ <= recipes_.size()) {
            const Recipe& recipe = recipes_[n - lastRecipe_ - 1];
            throw Fault{{files_[food.file], food.line, 1,
                         QStringLiteral("the NDB number %1 is the number of the recipe %2 (%3:%4): "
                                        "the recipes are numbered R%5, R%6, ...")
                             .arg(quoted(pool_.view(number.text)), quoted(recipe.name, u'\''),
                                  printableLine(recipe.file))
                             .arg(recipe.line)
                             .arg(lastRecipe_ + 1)
                             .arg(lastRecipe_ + 2)}};
        }
        const Text description = food.cells[0].text;
        if (!taken_.insert(description))
            throw Fault{{files_[food.file], food.line, 1,
                         QStringLiteral("the description %1 is taken: another food has it (case "
                                        "ignored)")
                             .arg(quoted(pool_.view(description)))}};
        for (std::size_t c = 0; c < row.size(); ++c) {
            const StoredCell& cell = food.cells[c];
            row[c] = {cell.kind, cell.number,
                      cell.kind == Cell::Kind::Text ? pool_.view(cell.text) : std::string_view()};
        }
        // Without a number the food could not be named by one: U1, U2, ... as recipes get R1.
        const QByteArray given = "U" + QByteArray::number(qulonglong(own + 1));
        if (number.kind == Cell::Kind::Null) {
            row[field::NdbNumber] = Cell::of(std::string_view(given.constData(), given.size()));
            ++own;
        }
        sink(row);
    }
}

void OwnFoods::writeRecipes(const QString& table, const RowSink& sink, QStringList& notes) {
    RecipeMaker maker(table, recipes_, lastRecipe_);
    for (std::size_t k = 0; k < recipes_.size(); ++k) {
        const Recipe& recipe = recipes_[k];
        const QByteArray name = recipe.name.toUtf8();
        if (!taken_.insert(pool_.add(std::string_view(name.constData(), std::size_t(name.size())))))
            throw Fault{{recipe.file, recipe.line, recipe.column,
                         QStringLiteral("the name %1 is taken: another food has it as its "
                                        "description (case ignored)")
                             .arg(quoted(recipe.name, u'\''))}};
        maker.make(k, sink, notes);
    }
}

QString OwnFoods::countsLine(const QString& source, const QString& sourceCounts) const {
    if (empty()) return sourceCounts;
    const auto added = qsizetype(added_.size()), recipes = qsizetype(recipes_.size());
    QStringList parts{grouped(sourceFoods_) + QStringLiteral(" from ") + printableLine(source)};
    if (added > 0) parts << grouped(added) + QStringLiteral(" added");
    if (recipes > 0) parts << groupedCount(recipes, u"recipe");
    QString line = QStringLiteral("%1 (%2)").arg(
        groupedCount(sourceFoods_ + added + recipes, u"food"), parts.join(QStringLiteral(", ")));
    // The source's own counts, where they say more than how many foods it gave.
    if (sourceCounts != counted(sourceFoods_, u"food"))
        line += QStringLiteral("; ") + printableLine(source) + QStringLiteral(": ") + sourceCounts;
    return line;
}

void OwnFoods::noteIn(SourceRecord& record) const {
    if (empty()) return;
    // By file, each named without its folder: the table may be passed on, the user's paths not.
    QStringList parts;
    const auto fromFile = [&](qsizetype count, QStringView noun, const QString& file) {
        parts << counted(count, noun) + QStringLiteral(" from ") + QFileInfo(file).fileName();
    };
    for (qsizetype f = 0; f < files_.size(); ++f)
        fromFile(std::count_if(added_.begin(), added_.end(),
                               [f](const AddedFood& food) { return food.file == f; }),
                 u"own food", files_[f]);
    for (std::size_t k = 0; k < recipes_.size();) {
        std::size_t end = k;
        while (end < recipes_.size() && recipes_[end].file == recipes_[k].file) ++end;
        fromFile(qsizetype(end - k), u"recipe", recipes_[k].file);
        k = end;
    }
    QString& notes = record.notes;
    if (!notes.isEmpty()) notes += notes.endsWith(u'.') ? u" " : u"; ";
    notes += QStringLiteral("Added by velmora-mkdb: ") + parts.join(QStringLiteral(", ")) + u'.';
}

}  // namespace velmora::mkdb
