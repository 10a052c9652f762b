// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/recipes.h"

#include "common/outsidetext.h"
#include "portion/meal.h"
#include "tools/formats/recordscanner.h"

namespace velmora::mkdb {

namespace {

// A line a record: no separator or quote can split it.
constexpr ScanFormat kLines{.separator = '\n', .quote = '\0', .quotedLineBreaks = false};

class RecipeReader {
  public:
    RecipeReader(InputFile& in, std::vector<Recipe>& out)
        : lines_(in, kLines), file_(in.name()), out_(out), first_(out.size()) {}
    void read();

  private:
    [[noreturn]] void fail(qsizetype index, const QString& what) const {
        throw Fault{{file_, lines_.line(), index + 1, what}};
    }
    Recipe* current() { return out_.size() > first_ ? &out_.back() : nullptr; }
    void name(const QString& text, qsizetype at);
    bool setting(const QString& text, qsizetype at);
    void ingredient(const QString& text, qsizetype at);
    void finish();

    RecordScanner lines_;
    QString file_;
    std::vector<Recipe>& out_;
    std::size_t first_;  // the file's first recipe in `out_`
    qsizetype servingsLine_ = 0, weightLine_ = 0;
};

void RecipeReader::read() {
    while (lines_.next()) {
        const std::string_view bytes = lines_[0];
        const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        qsizetype at = 0;  // the first character that is no blank
        while (at < text.size() && text[at].isSpace()) ++at;
        if (at == text.size() || text[at] == u'#') continue;
        if (text[at] == u'[') {
            name(text, at);
        } else if (!current()) {
            fail(at, QStringLiteral("an ingredient before the first recipe, whose name in brackets "
                                    "starts it, such as [Apple crumble]"));
        } else if (!setting(text, at)) {
            ingredient(text, at);
        }
    }
    finish();
    if (!current())
        throw Fault{{file_, lines_.line(), 1,
                     QStringLiteral("no recipes: a recipe starts with its name in brackets, such "
                                    "as [Apple crumble]")}};
}

// "[NAME]", "[NAME] # comment": the name ends at the first "]" that only blanks or a comment
// follow, so it may hold brackets itself.
void RecipeReader::name(const QString& text, qsizetype at) {
    finish();
    qsizetype close = text.indexOf(u']', at);
    if (close < 0) fail(at, QStringLiteral("the recipe's name has no closing ']'"));
    // One pass: the blanks after a "]" end at the next character, which may be the next "]".
    for (;;) {
        qsizetype next = close + 1;
        while (next < text.size() && text[next].isSpace()) ++next;
        if (next == text.size() || text[next] == u'#') break;
        if (text[next] != u']') {
            close = text.indexOf(u']', next);
            if (close < 0)
                fail(next, QStringLiteral("text follows the name's closing ']' (a comment after "
                                          "it starts with #)"));
        } else {
            close = next;
        }
    }
    const QString name = text.sliced(at + 1, close - at - 1).trimmed();
    if (name.isEmpty()) fail(at, QStringLiteral("the recipe's name is empty"));
    out_.push_back({name, file_, lines_.line(), at + 1, 0, 0, {}});
    servingsLine_ = weightLine_ = 0;
}

// "servings N" or "weight W g", a comment after it; false for any other line.
bool RecipeReader::setting(const QString& text, qsizetype at) {
    if (text.contains(u'@')) return false;
    const bool servings = text.sliced(at).startsWith(u"servings");
    const QString keyword = servings ? QStringLiteral("servings") : QStringLiteral("weight");
    const qsizetype after = at + keyword.size();
    if (!text.sliced(at).startsWith(keyword) || (after < text.size() && !text[after].isSpace()))
        return false;
    Recipe& recipe = *current();
    qsizetype& seen = servings ? servingsLine_ : weightLine_;
    if (seen > 0)
        fail(at, QStringLiteral("%1 given twice (first on line %2)").arg(keyword).arg(seen));
    if (!recipe.ingredients.empty())
        fail(at,
             QStringLiteral("%1 after an ingredient: it goes before the ingredients").arg(keyword));
    QString value = text.sliced(after).section(u'#', 0, 0).trimmed();
    if (!servings) {
        // "900 g" or "900g"; "2 kg" is no weight in grams.
        if (!value.endsWith(u'g') || (value.size() > 1 && value[value.size() - 2].isLetter()))
            fail(at, QStringLiteral("the weight in grams is written as in \"weight 900 g\""));
        value = value.chopped(1).trimmed();
    }
    double& number = servings ? recipe.servings : recipe.weight;
    if (const QString problem = velmora::readAmount(value, number); !problem.isEmpty())
        fail(text.indexOf(value, after), keyword + QStringLiteral(": ") + problem);
    seen = lines_.line();
    return true;
}

void RecipeReader::ingredient(const QString& text, qsizetype at) {
    Ingredient i{lines_.line(), at + 1, {}};
    if (const QString problem = readMealLine(text, i.food); !problem.isEmpty()) fail(at, problem);
    current()->ingredients.push_back(std::move(i));
}

void RecipeReader::finish() {
    const Recipe* recipe = current();
    if (recipe && recipe->ingredients.empty())
        throw Fault{
            {file_, recipe->line, recipe->column,
             QStringLiteral("the recipe '%1' has no ingredients").arg(printable(recipe->name))}};
}

}  // namespace

void readRecipeFile(const QString& path, std::vector<Recipe>& out) {
    InputFile in;
    in.open(path);
    readRecipeFile(in, out);
}

void readRecipeFile(InputFile& in, std::vector<Recipe>& out) {
    RecipeReader(in, out).read();
}

}  // namespace velmora::mkdb
