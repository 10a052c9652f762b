// SPDX-License-Identifier: GPL-3.0-or-later
// The Dutch food composition table NEVO (RIVM) as one download file: fields separated by "|",
// never quoted, numbers with a decimal comma, in code page 1252 or UTF-8 (told apart by the file's
// first non-ASCII character). Its header names the columns; each nutrient's column is its INFOODS
// tagname and unit, "ENERCJ (kJ)", "SE (µg)". Each row starts with the release
// ("NEVO-Online 2023 8.0"); a food's amounts are per 100 g or per 100 ml as its quantity column
// says. Nutrients a food holds traces of are listed in its "Contains traces of" column, by tagname
// or by name, separated by commas or semicolons; such a nutrient without an amount is a trace. The
// terms of use require every output to name the release: the source record makes the citation a
// required notice.
#include "tools/sources/nationaltable.h"
#include "tools/sources/readers.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/importstore.h"

#include <QRegularExpression>

#include <array>
#include <optional>
#include <vector>

namespace velmora::mkdb {

namespace {

// NEVO's tagnames, kcal before kJ, with the names its traces list may use instead (Dutch and
// English). Definitions the table's columns do not hold are left out: vitamin A as RAE (the
// column is in IU), niacin equivalents (the column is preformed niacin).
struct NevoNutrient {
    NutrientMapping mapping;
    const char16_t* dutch;
    const char16_t* english;
};
constexpr std::array<NevoNutrient, 30> kNevoNutrients{{
    {{"WATER", columnIndex("WATER")}, u"water", u"water"},
    {{"ENERCC", columnIndex("ENERG_KCAL")}, u"energie", u"energy"},
    {{"ENERCJ", columnIndex("ENERG_KCAL")}, u"energie", u"energy"},
    {{"PROT", columnIndex("PROTEIN")}, u"eiwit", u"protein"},
    {{"FAT", columnIndex("TOT_LIPID")}, u"vet", u"fat"},
    {{"CHO", columnIndex("CARBOHYDRT")}, u"koolhydraten", u"carbohydrate"},
    {{"FIBT", columnIndex("FIBER_TD")}, u"voedingsvezel", u"dietary fibre"},
    {{"ASH", columnIndex("ASH")}, u"as", u"ash"},
    {{"CA", columnIndex("CALCIUM")}, u"calcium", u"calcium"},
    {{"P", columnIndex("PHOSPHORUS")}, u"fosfor", u"phosphorus"},
    {{"FE", columnIndex("IRON")}, u"ijzer", u"iron"},
    {{"NA", columnIndex("SODIUM")}, u"natrium", u"sodium"},
    {{"K", columnIndex("POTASSIUM")}, u"kalium", u"potassium"},
    {{"MG", columnIndex("MAGNESIUM")}, u"magnesium", u"magnesium"},
    {{"ZN", columnIndex("ZINC")}, u"zink", u"zinc"},
    {{"CU", columnIndex("COPPER")}, u"koper", u"copper"},
    {{"MN", columnIndex("MANGANESE")}, u"mangaan", u"manganese"},
    {{"SE", columnIndex("SELENIUM")}, u"seleen", u"selenium"},
    {{"VITE", columnIndex("VIT_E")}, u"vitamine E", u"vitamin E"},
    {{"THIA", columnIndex("THIAMIN")}, u"vitamine B1", u"vitamin B1"},
    {{"RIBF", columnIndex("RIBOFLAVIN")}, u"vitamine B2", u"vitamin B2"},
    {{"NIA", columnIndex("NIACIN")}, u"nicotinezuur", u"nicotinic acid"},
    {{"VITB6", columnIndex("VIT_B6")}, u"vitamine B6", u"vitamin B6"},
    {{"FOL", columnIndex("FOLATE")}, u"foliumzuur equivalenten", u"folate"},
    {{"VITB12", columnIndex("VIT_B12")}, u"vitamine B12", u"vitamin B12"},
    {{"VITC", columnIndex("VIT_C")}, u"vitamine C", u"vitamin C"},
    {{"FASAT", columnIndex("FA_SAT")}, u"verzadigde vetzuren", u"saturated fatty acids"},
    {{"FAMSCIS", columnIndex("FA_MONO")},
     u"enkelvoudig onverzadigde vetzuren",
     u"monounsaturated fatty acids"},
    {{"FAPU", columnIndex("FA_POLY")},
     u"meervoudig onverzadigde vetzuren",
     u"polyunsaturated fatty acids"},
    {{"CHORL", columnIndex("CHOLESTRL")}, u"cholesterol", u"cholesterol"},
}};

std::span<const NutrientMapping> nevoMappings() {
    static const std::vector<NutrientMapping> mappings = [] {
        std::vector<NutrientMapping> all;
        for (const NevoNutrient& n : kNevoNutrients) all.push_back(n.mapping);
        return all;
    }();
    return mappings;
}

constexpr ScanFormat kNevoFormat{'|', '\0', TextEncoding::Utf8ElseCp1252, false, false, ','};

enum NevoColumn {
    Version,
    Code,
    DutchName,
    EnglishName,
    DutchGroup,
    EnglishGroup,
    Quantity,
    Traces
};

// A nutrient's column: its tagname and unit as the header gives them.
struct NutrientColumn {
    qsizetype column;
    QString tagname;
    Unit unit;
    QString label;  // the header's text, for messages
};

class NevoReader {
  public:
    explicit NevoReader(const QString& path)
        : file_(path,
                {"NEVO-versie/NEVO-version", "NEVO-code", "Voedingsmiddelnaam/Dutch food name",
                 "Engelse naam/Food name", "Voedingsmiddelgroep", "Food group",
                 "Hoeveelheid/Quantity", "Bevat sporen van/Contains traces of"},
                kNevoFormat) {
        // Tagnames are upper case, but a release's header may write them otherwise; one given
        // twice would leave it to chance which column is read.
        static const QRegularExpression nutrient(QStringLiteral("^(\\S+) \\((.+)\\)$"));
        for (std::size_t c = 0; c < file_.header().size(); ++c) {
            const QString label = cellText(file_.header()[c]);
            const QRegularExpressionMatch m = nutrient.match(label);
            if (!m.hasMatch()) continue;
            const QString tagname = m.captured(1).toUpper();
            for (const NutrientColumn& before : nutrients_)
                if (before.tagname == tagname)
                    throw Fault{file_.row().at(
                        qsizetype(c), QStringLiteral("the column of %1 given twice (%2 and %3)")
                                          .arg(tagname, quoted(before.label), quoted(label)))};
            nutrients_.push_back({qsizetype(c), tagname, unitNamed(m.captured(2)), label});
        }
    }

    Built read(const QString& language, const RowSink& sink) {
        std::optional<NationalTable> table;
        IdMap codes(4096);
        while (file_.next()) {
            if (!table) table.emplace(source(), language, sink);
            if (!codes.insert(file_.id(Code), 0))
                throw file_.fault(Code,
                                  QStringLiteral("food %1 listed twice").arg(quoted(file_[Code])));
            if (cellText(file_[Version]) != version_)
                throw file_.fault(Version,
                                  QStringLiteral("%1 is another release than the first food's")
                                      .arg(quoted(file_[Version])));
            table->add(food(language));
        }
        if (!table)
            throw Fault{{file_.path(), file_.line(), 1,
                         QStringLiteral("no foods: the file has a header only")}};
        return table->result(notes());
    }

  private:
    NationalSource source() {
        version_ = cellText(file_[Version]);
        QString release = version_;
        if (release.startsWith(QLatin1StringView("NEVO-Online "), Qt::CaseInsensitive))
            release = release.sliced(12);
        return {
            .name = QStringLiteral("NEVO, Dutch food composition database (RIVM)"),
            .shortName = QStringLiteral("NEVO"),
            .version = release,
            .citation = QStringLiteral("Based on data from NEVO online version %1, RIVM, Bilthoven")
                            .arg(release),
            .carbohydrate = QStringLiteral("available carbohydrate (NEVO CHO), as published"),
            .notes = {},
            .noticeRequired = true,
            .nutrients = nevoMappings(),
        };
    }

    // Whether the food's quantity is per 100 ml (else per 100 g); another is refused.
    bool per100Millilitres() const {
        QString quantity = cellText(file_[Quantity]).toLower();
        quantity.remove(u' ');
        if (quantity == u"per100g") return false;
        if (quantity == u"per100ml") return true;
        throw file_.fault(
            Quantity,
            QStringLiteral("Hoeveelheid/Quantity: %1 is neither \"per 100g\" nor \"per 100ml\"")
                .arg(quoted(file_[Quantity])));
    }

    // The tagnames of the nutrients the food's traces list names; an entry that names none is
    // counted.
    QStringList tracedNutrients() {
        QStringList traced;
        static const QRegularExpression separators(QStringLiteral("[,;]"));
        for (const QString& entry : cellText(file_[Traces]).split(separators, Qt::SkipEmptyParts)) {
            const QString name = entry.trimmed();
            if (name.isEmpty()) continue;
            const NevoNutrient* found = nullptr;
            for (const NevoNutrient& n : kNevoNutrients)
                if (name.compare(latin1(n.mapping.nutrient), Qt::CaseInsensitive) == 0 ||
                    name.compare(QStringView(n.dutch), Qt::CaseInsensitive) == 0 ||
                    name.compare(QStringView(n.english), Qt::CaseInsensitive) == 0)
                    found = found ? found : &n;
            if (found)
                traced << latin1(found->mapping.nutrient);
            else
                unknownTraces_.insert(name);
        }
        return traced;
    }

    NationalFood food(const QString& language) {
        NationalFood food{cellText(file_[Code]),
                          cellText(file_[language == u"nl" ? DutchGroup : EnglishGroup]),
                          {{QLatin1StringView("nl"), cellText(file_[DutchName])},
                           {QLatin1StringView("en"), cellText(file_[EnglishName])}},
                          {},
                          {}};
        if (food.names[0].text.isEmpty() && food.names[1].text.isEmpty())
            throw file_.fault(DutchName,
                              QStringLiteral("food %1 has no name").arg(quoted(file_[Code])));
        perMillilitres_ += per100Millilitres();
        const QStringList traced = tracedNutrients();
        QString problem;
        for (const NutrientColumn& n : nutrients_) {
            const std::string_view cell = file_.row()[n.column];
            auto amount = readMarkedAmount(cell, ',', problem);
            if (amount)
                problem = conversionProblem(nevoMappings(), n.tagname, n.unit, amount->value);
            if (!amount || !problem.isEmpty())
                throw file_.row().fault(n.column,
                                        n.label + QStringLiteral(": ") +
                                            (amount ? quoted(cell) + u' ' + problem : problem));
            // NEVO lists a trace's nutrient and writes 0, or nothing, in its cell; an amount
            // beside the listing is kept, and counted as a conflict.
            if (traced.contains(n.tagname) && amount->marker != Marker::BelowLimit) {
                if (amount->marker == Marker::NotMeasured || amount->value == 0)
                    amount = MarkedAmount{Marker::Trace, 0};
                else
                    ++tracedWithAmount_;
            }
            food.amounts.push_back({n.tagname, n.unit, *amount});
        }
        return food;
    }

    QStringList notes() const {
        QStringList notes;
        if (tracedWithAmount_ > 0)
            notes << counted(tracedWithAmount_, u"amount") +
                         QStringLiteral(" of a nutrient listed as traces kept as published");
        if (perMillilitres_ > 0)
            notes << counted(perMillilitres_, u"food") +
                         QStringLiteral(" per 100 ml, not per 100 g (stored as published)");
        if (!unknownTraces_.isEmpty()) {
            QStringList names(unknownTraces_.cbegin(), unknownTraces_.cend());
            names.sort();
            notes << QStringLiteral("traces of a nutrient without a column ignored: %1")
                         .arg(printable(names.join(u", ")));
        }
        return notes;
    }

    TableFile file_;
    std::vector<NutrientColumn> nutrients_;
    QString version_;
    QSet<QString> unknownTraces_;
    qsizetype perMillilitres_ = 0, tracedWithAmount_ = 0;
};

}  // namespace

Built readNevo(const QString& path, const QString& language, const RowSink& sink) {
    return NevoReader(path).read(language, sink);
}

}  // namespace velmora::mkdb
