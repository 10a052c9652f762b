// SPDX-License-Identifier: GPL-3.0-or-later
// The Canadian Nutrient File (Health Canada) in its CSV form, in one folder, in either of its two
// layouts, told apart by the foods' file name:
//  - Food_Name.csv, Nutrient_Name.csv, Nutrient_Amount.csv, Measure_Name.csv and
//    Measure_Weight_Conversion.csv: UTF-8 with a byte order mark, LF, quotes only where needed;
//    units spelled out ("Milligram"); a food's measures carry a type, of which only 6 (household
//    measure) is a measure; the weight is in grams;
//  - FOOD NAME.csv, NUTRIENT NAME.csv, NUTRIENT AMOUNT.csv, MEASURE NAME.csv and CONVERSION
//    FACTOR.csv (the 2015 release): Latin-1, CR LF, quoted fields that may span lines, rows that
//    end in empty columns; amounts name their nutrient by NutrientID, which is not always its
//    NutrientCode; a measure's factor is its weight in units of 100 g.
// Nutrient codes are SR numbers, so the SR mapping applies, with kJ (268) for a food without kcal.
#include "tools/sources/nationaltable.h"
#include "tools/sources/readers.h"
#include "tools/sources/srnutrients.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/importstore.h"

#include <QRegularExpression>

#include <array>
#include <utility>
#include <vector>

namespace velmora::mkdb {

namespace {

enum CnfFile { Foods, Nutrients, Amounts, Measures, Conversions };

// A layout: its file names, how they are written, and the names of the columns read, by file.
struct CnfLayout {
    std::array<QLatin1StringView, 5> files;
    ScanFormat format;
    bool typedMeasures;  // the 2026 layout: measures carry a type, the weight is in grams
    // Foods: id, English and French name, group, and the food code when it is not the id.
    std::array<std::string_view, 5> foods;
    std::array<std::string_view, 3> nutrients;    // id, code, unit
    std::array<std::string_view, 3> amounts;      // food id, nutrient id, amount
    std::array<std::string_view, 3> measures;     // id, English and French text
    std::array<std::string_view, 3> conversions;  // food id, measure id, weight
};

const CnfLayout k2026{
    {QLatin1StringView("Food_Name.csv"), QLatin1StringView("Nutrient_Name.csv"),
     QLatin1StringView("Nutrient_Amount.csv"), QLatin1StringView("Measure_Name.csv"),
     QLatin1StringView("Measure_Weight_Conversion.csv")},
    {',', '"', TextEncoding::Utf8, true, false, '.'},
    true,
    {"Food_Code", "Food_Description_EN", "Food_Description_FR", "CNF_Food_Group_Code", {}},
    {"Nutrient_Code", "Nutrient_Code", "Nutrient_Unit"},
    {"Food_Code", "Nutrient_Code", "Nutrient_Amount|Nutrient_Value"},
    {"Measure_Code", "Measure_Description_and_Unit_EN", "Measure_Description_and_Unit_FR"},
    {"Food_Code", "Measure_Code", "Measure_Weight_Conversion"},
};
const CnfLayout k2015{
    {QLatin1StringView("FOOD NAME.csv"), QLatin1StringView("NUTRIENT NAME.csv"),
     QLatin1StringView("NUTRIENT AMOUNT.csv"), QLatin1StringView("MEASURE NAME.csv"),
     QLatin1StringView("CONVERSION FACTOR.csv")},
    {',', '"', TextEncoding::Latin1, true, true, '.'},
    false,
    {"FoodID", "FoodDescription", "FoodDescriptionF", "FoodGroupID", "FoodCode"},
    {"NutrientID", "NutrientCode", "NutrientUnit"},
    {"FoodID", "NutrientID", "NutrientValue"},
    {"MeasureID", "MeasureDescription", "MeasureDescriptionF"},
    {"FoodID", "MeasureID", "ConversionFactorValue"},
};
constexpr std::array<const CnfLayout*, 2> kLayouts{&k2026, &k2015};

// The household measure type of the 2026 layout; 3 (refuse) and 9 (yield) are none.
constexpr std::string_view kHouseholdMeasure = "6";

// The SR numbers, then kJ for a food without kcal.
std::span<const NutrientMapping> cnfNutrients() {
    static const std::vector<NutrientMapping> mappings = [] {
        const auto sr = srNutrientMappings();
        std::vector<NutrientMapping> all(sr.begin(), sr.end());
        all.push_back({"268", columnIndex("ENERG_KCAL")});
        return all;
    }();
    return mappings;
}

struct CnfNutrient {
    QString code;  // shared by every amount of it
    Unit unit = Unit::Unknown;
    int rank = -1;       // in the mapping
    bool noted = false;  // as without a column
};

struct CnfMeasure {
    QString en, fr;
};

class CnfReader {
  public:
    explicit CnfReader(const QString& folder) { findFiles(folder); }

    Built read(const QString& language, const RowSink& sink) {
        std::vector<NationalFood> foods = readFoods();
        // The table once the version is known: the foods' file tells it.
        NationalTable table(source(), language, sink);
        for (NationalFood& food : foods) table.keep(std::move(food));
        foods = {};
        readNutrients(table);
        readAmounts(table);
        readMeasures();
        readConversions(language, table);
        table.addKept();
        return table.result(notes_);
    }

  private:
    void findFiles(const QString& folder) {
        const QStringList names = folderNames(folder, true);
        for (const CnfLayout* layout : kLayouts)
            if (!nameIgnoringCase(names, layout->files[Foods]).isEmpty()) layout_ = layout;
        if (!layout_)
            throw Fault{{inFolder(folder, k2026.files[Foods]), 1, 1,
                         QStringLiteral("cannot read: no such file in the folder (nor \"%1\")")
                             .arg(k2015.files[Foods])}};
        for (std::size_t f = 0; f < paths_.size(); ++f) {
            const QString name = nameIgnoringCase(names, layout_->files[f]);
            if (name.isEmpty())
                throw Fault{{inFolder(folder, layout_->files[f]), 1, 1,
                             QStringLiteral("cannot read: no such file in the folder")}};
            paths_[f] = inFolder(folder, name);
        }
    }

    NationalSource source() const {
        return {
            .name = QStringLiteral("Canadian Nutrient File (CNF)"),
            .shortName = QStringLiteral("CNF"),
            .version = version_,
            .citation =
                QStringLiteral("Canadian Nutrient File (CNF), Health Canada, %1").arg(version_),
            .carbohydrate = QStringLiteral("carbohydrate by difference (CNF 205), as published"),
            .notes = {},
            .noticeRequired = false,
            .nutrients = cnfNutrients(),
        };
    }

    TableFile open(CnfFile file, std::initializer_list<std::string_view> columns) const {
        return TableFile(paths_[file], columns, layout_->format);
    }

    // The version: the 2015 layout is the 2015 release; the 2026 layout's files do not name
    // theirs, so it is the year of the latest date a food was updated (a cell that is no date,
    // such as "<img src=x>", says nothing).
    void noteVersion(std::string_view updated) {
        static const QRegularExpression date(
            QStringLiteral("^((?:19|20)\\d\\d)-(0[1-9]|1[0-2])-(0[1-9]|[12]\\d|3[01])"));
        const QRegularExpressionMatch m = date.match(cellText(updated));
        if (m.hasMatch() && m.captured(1) > version_) version_ = m.captured(1);
    }

    std::vector<NationalFood> readFoods() {
        const auto& c = layout_->foods;
        TableFile t = open(Foods, {c[0], c[1], c[2], c[3]});
        const qsizetype code = c[4].empty() ? -1 : t.columnOf(c[4]);
        const qsizetype updated = t.columnOf("Food_Last_Updated_Date");
        version_ = layout_ == &k2015 ? QStringLiteral("2015") : QString();
        std::vector<NationalFood> foods;
        while (t.next()) {
            if (!foodIndex_.insert(t.id(0), std::uint32_t(foods.size())))
                throw t.fault(0, QStringLiteral("food %1 listed twice").arg(quoted(t[0])));
            NationalFood food{
                cellText(code >= 0 && !t.row()[code].empty() ? t.row()[code] : t[0]),
                cellText(t[3]),
                {{QLatin1StringView("en"), cellText(t[1])}, {QLatin1StringView("fr"), cellText(t[2])}},
                {},
                {}};
            if (food.names[0].text.isEmpty() && food.names[1].text.isEmpty())
                throw t.fault(1, QStringLiteral("food %1 has no name").arg(quoted(t[0])));
            if (updated >= 0) noteVersion(t.row()[updated]);
            foods.push_back(std::move(food));
        }
        if (foods.empty())
            throw Fault{
                {t.path(), t.line(), 1, QStringLiteral("no foods: the file has a header only")}};
        if (version_.isEmpty()) version_ = QStringLiteral("2026");
        return foods;
    }

    void readNutrients(const NationalTable& table) {
        const auto& c = layout_->nutrients;
        TableFile t = open(Nutrients, {c[0], c[1], c[2]});
        while (t.next()) {
            if (!nutrientIndex_.insert(t.id(0), std::uint32_t(nutrients_.size())))
                throw t.fault(0, QStringLiteral("nutrient %1 listed twice").arg(quoted(t[0])));
            const QString code = cellText(t[1]);
            nutrients_.push_back({code, unitNamed(cellText(t[2])), table.rankOf(code), false});
        }
    }

    void readAmounts(NationalTable& table) {
        const auto& c = layout_->amounts;
        TableFile t = open(Amounts, {c[0], c[1], c[2]});
        const QString label = cellText(t.header()[std::size_t(t.columnOf(c[2]))]);
        qsizetype orphans = 0;
        QString problem;
        while (t.next()) {
            const std::uint32_t food = foodIndex_.value(t.id(0));
            const std::uint32_t nutrient = nutrientIndex_.value(t.id(1));
            if (food == IdMap::kMissing || nutrient == IdMap::kMissing) {
                ++orphans;
                continue;
            }
            CnfNutrient& n = nutrients_[nutrient];
            const auto amount = readMarkedAmount(t[2], '.', problem);
            if (amount) problem = conversionProblem(cnfNutrients(), n.code, n.unit, amount->value);
            if (!amount || !problem.isEmpty())
                throw t.fault(2, label + QStringLiteral(": ") +
                                     (amount ? quoted(t[2]) + u' ' + problem : problem));
            // One without a column is counted once.
            if (n.rank >= 0 || !std::exchange(n.noted, true))
                table.amount(food, n.rank, {n.code, n.unit, *amount});
        }
        if (orphans > 0)
            notes_ << counted(orphans, u"amount") +
                          QStringLiteral(" of foods or nutrients not listed skipped (%1)")
                              .arg(printableLine(t.path()));
    }

    void readMeasures() {
        const auto& c = layout_->measures;
        TableFile t = open(Measures, {c[0], c[1], c[2]});
        while (t.next()) {
            if (!measureIndex_.insert(t.id(0), std::uint32_t(measures_.size())))
                throw t.fault(0, QStringLiteral("measure %1 listed twice").arg(quoted(t[0])));
            measures_.push_back({cellText(t[1]), cellText(t[2])});
        }
    }

    void readConversions(const QString& language, NationalTable& table) {
        const auto& c = layout_->conversions;
        TableFile t = open(Conversions, {c[0], c[1], c[2]});
        qsizetype type = -1;
        if (layout_->typedMeasures && (type = t.columnOf("Measure_Type_Code")) < 0)
            throw Fault{
                t.row().atEnd(QStringLiteral("the header has no column \"Measure_Type_Code\""))};
        qsizetype orphans = 0;
        while (t.next()) {
            if (type >= 0 && t.row()[type] != kHouseholdMeasure) continue;
            const std::uint32_t food = foodIndex_.value(t.id(0));
            const std::uint32_t measure = measureIndex_.value(t.id(1));
            if (food == IdMap::kMissing || measure == IdMap::kMissing) {
                ++orphans;
                continue;
            }
            const double weight = t.amount(2);
            const CnfMeasure& m = measures_[measure];
            const QString& text = language == u"fr" && !m.fr.isEmpty() ? m.fr : m.en;
            table.kept(food).measures.push_back(
                {text.isEmpty() ? m.fr : text,
                 layout_->typedMeasures ? weight : timesPowerOfTen(weight, 2)});
        }
        if (orphans > 0)
            notes_ << counted(orphans, u"measure weight") +
                          QStringLiteral(" of foods or measures not listed skipped (%1)")
                              .arg(printableLine(t.path()));
    }

    const CnfLayout* layout_ = nullptr;
    std::array<QString, 5> paths_;
    QString version_;
    IdMap foodIndex_{8192}, nutrientIndex_, measureIndex_{1024};
    std::vector<CnfNutrient> nutrients_;
    std::vector<CnfMeasure> measures_;
    QStringList notes_;
};

}  // namespace

QStringList cnfInputFiles(const QString& folder) {
    const QStringList names = folderNames(folder, false);
    QStringList paths;
    for (const CnfLayout* layout : kLayouts)
        for (const QLatin1StringView file : layout->files)
            if (const QString name = nameIgnoringCase(names, file); !name.isEmpty())
                paths << inFolder(folder, name);
    return paths;
}

Built readCnf(const QString& folder, const QString& language, const RowSink& sink) {
    return CnfReader(folder).read(language, sink);
}

}  // namespace velmora::mkdb
