// SPDX-License-Identifier: GPL-3.0-or-later
// CoFID, the UK's McCance and Widdowson's integrated dataset: the food data spread over the
// sheets numbered from "1.3" on (Proximates, Inorganics, Vitamins, Vitamin Fractions, the fatty
// acids), each with seven identifying columns and three header rows (label, tagname, short
// label); joined on Food Code in the order the rows stand.
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/sources/readers.h"
#include "tools/sources/workbooktable.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace velmora::mkdb {

namespace {

// CoFID's tagnames, each beside the INFOODS tagname where that differs (a workbook may head a
// column either way). The sheets give no units, so they are those of the dataset's documentation
// (per 100 g: g, mg for most minerals and vitamins, µg for selenium, folate and B12).
constexpr Unit g = Unit::Gram, mg = Unit::Milligram, ug = Unit::Microgram;
constexpr std::array<SheetNutrient, 34> kCofid{{
    {"WATER", columnIndex("WATER"), g},
    {"KCALS", columnIndex("ENERG_KCAL"), Unit::Kilocalorie},
    {"KJ", columnIndex("ENERG_KCAL"), Unit::Kilojoule},
    {"PROT", columnIndex("PROTEIN"), g},
    {"FAT", columnIndex("TOT_LIPID"), g},
    {"CHO", columnIndex("CARBOHYDRT"), g},
    {"AOACFIB", columnIndex("FIBER_TD"), g},
    {"CA", columnIndex("CALCIUM"), mg},
    {"P", columnIndex("PHOSPHORUS"), mg},
    {"FE", columnIndex("IRON"), mg},
    {"NA", columnIndex("SODIUM"), mg},
    {"K", columnIndex("POTASSIUM"), mg},
    {"MG", columnIndex("MAGNESIUM"), mg},
    {"ZN", columnIndex("ZINC"), mg},
    {"CU", columnIndex("COPPER"), mg},
    {"MN", columnIndex("MANGANESE"), mg},
    {"SE", columnIndex("SELENIUM"), ug},
    {"VITE", columnIndex("VIT_E"), mg},
    {"THIA", columnIndex("THIAMIN"), mg},
    {"RIBO", columnIndex("RIBOFLAVIN"), mg},
    {"RIBF", columnIndex("RIBOFLAVIN"), mg},
    {"NIAC", columnIndex("NIACIN"), mg},
    {"NIA", columnIndex("NIACIN"), mg},
    {"PANTO", columnIndex("PANTO_ACID"), mg},
    {"PANTAC", columnIndex("PANTO_ACID"), mg},
    {"VITB6", columnIndex("VIT_B6"), mg},
    {"FOLT", columnIndex("FOLATE"), ug},
    {"FOL", columnIndex("FOLATE"), ug},
    {"VITB12", columnIndex("VIT_B12"), ug},
    {"VITC", columnIndex("VIT_C"), mg},
    {"SATFOD", columnIndex("FA_SAT"), g},
    {"MONOFOD", columnIndex("FA_MONO"), g},
    {"POLYFOD", columnIndex("FA_POLY"), g},
    {"CHOL", columnIndex("CHOLESTRL"), mg},
}};
constexpr auto kCofidMapping = mappingOf(kCofid);

constexpr std::array<const char*, 4> kCofidSheets{"1.3 Proximates", "1.4 Inorganics",
                                                  "1.5 Vitamins", "1.6 Vitamin Fractions"};
// The identifying columns, before the nutrients on every sheet.
constexpr std::array<const char*, 7> kCofidIdentifying{
    "Food Code", "Food Name", "Description", "Group", "Previous", "Main data references",
    "Footnote"};

Unit cofidUnit(const QString& tag) {
    for (const SheetNutrient& n : kCofid)
        if (tag == latin1(n.nutrient)) return n.unit;
    return Unit::Unknown;
}

// The food data sheets: those numbered 1.3 and on ("1.3 Proximates", ...), in their numbers'
// order; the four named ones must be there.
QStringList cofidSheets(const XlsxWorkbook& book) {
    static const QRegularExpression numbered(QStringLiteral("^\\s*1\\.(\\d+)(\\s|$)"));
    std::vector<std::pair<int, QString>> found;
    for (const QString& name : book.sheetNames()) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (m.hasMatch() && m.captured(1).toInt() >= 3)
            found.emplace_back(m.captured(1).toInt(), name);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const char* wanted : kCofidSheets) {
        const int number = QString::fromLatin1(wanted).section(u' ', 0, 0).sliced(2).toInt();
        if (std::none_of(found.begin(), found.end(),
                         [&](const auto& f) { return f.first == number; }))
            throw noSheet(book, QStringLiteral("sheet \"%1\"").arg(QLatin1StringView(wanted)),
                          QStringLiteral("one whose name starts with \"1.%1\"; ").arg(number));
    }
    QStringList names;
    for (const auto& f : found) names << f.second;
    return names;
}

class CofidReader {
  public:
    explicit CofidReader(const QString& path) : book_(path) {}

    Built read(const QString& language, const RowSink& sink) {
        const QStringList sheets = cofidSheets(book_);
        NationalTable table(source(), language, sink);
        readFoods(sheets[0], table);
        for (qsizetype s = 1; s < sheets.size(); ++s) join(sheets[s], sheets[0], table);
        table.addKept();
        Built built = table.result(notes_);
        built.warnings = table.unheld(tags_, book_.fileName());
        return built;
    }

  private:
    struct Layout {
        int code = -1, name = -1, group = -1;
        AmountColumns amounts{kCofidMapping};
    };

    NationalSource source() const {
        static const QRegularExpression year(QStringLiteral("(?<!\\d)((?:19|20)\\d\\d)(?!\\d)"));
        QString edition = lastMatch(fileNameOf(book_.fileName()), year, 1);
        if (edition.isEmpty()) edition = QStringLiteral("2021");
        return {
            .name = QStringLiteral(
                "McCance and Widdowson's The Composition of Foods Integrated Dataset (CoFID)"),
            .shortName = QStringLiteral("CoFID"),
            .version = edition,
            .citation = QStringLiteral("Public Health England (%1). McCance and Widdowson's The "
                                       "Composition of Foods Integrated Dataset %1")
                            .arg(edition),
            .carbohydrate = QStringLiteral("available carbohydrate (CoFID CHO), as published"),
            .notes = QStringLiteral("Contains public sector information licensed under the Open "
                                    "Government Licence v3.0."),
            .noticeRequired = false,
            .nutrients = kCofidMapping,
        };
    }

    // The three header rows: labels (with the identifying columns), tagnames, short labels.
    Layout readHeader(XlsxSheet& sheet, bool foods) {
        Layout layout;
        needRow(book_, sheet, "header row");
        layout.code = requiredColumn(book_, sheet, u"Food Code");
        if (foods) {
            layout.name = requiredColumn(book_, sheet, u"Food Name");
            layout.group = columnHeaded(sheet, u"Group");
        }
        QHash<int, QString> labels;
        for (const XlsxCell& cell : sheet.cells()) labels.insert(cell.column, fromUtf8(cell.text));
        const auto identifying = [&](int column) {
            return std::any_of(
                kCofidIdentifying.begin(), kCofidIdentifying.end(), [&](const char* n) {
                    return headerKey(labels.value(column)) == headerKey(QString::fromLatin1(n));
                });
        };
        needRow(book_, sheet, "tagname row (the second header row)");
        for (const XlsxCell& cell : sheet.cells()) {
            const QString tag = fromUtf8(cell.text).trimmed();
            if (tag.isEmpty() || identifying(cell.column)) continue;
            const QString label = labels.value(cell.column, tag).simplified();
            layout.amounts.add(cell.column, tag, cofidUnit(tag), label.isEmpty() ? tag : label);
            tags_ << tag;
        }
        needRow(book_, sheet, "third header row");
        return layout;
    }

    void readFoods(const QString& name, NationalTable& table) {
        XlsxSheet sheet = book_.sheet(name);
        Layout layout = readHeader(sheet, true);
        while (sheet.next()) {
            NationalFood food;
            food.code = requiredCode(sheet, layout.code, u"Food Code");
            const QString foodName = textAt(sheet, layout.name);
            if (foodName.isEmpty())
                throw Fault{
                    sheet.at(layout.name,
                             QStringLiteral("food %1 has no Food Name").arg(printable(food.code)))};
            food.names.push_back({QLatin1StringView("en"), foodName});
            food.group = textAt(sheet, layout.group);
            layout.amounts.read(sheet, food.amounts);
            byCode_[food.code].push_back(table.keep(std::move(food)));
        }
        if (table.keptCount() == 0) throw sheetFault(book_, sheet, QStringLiteral("no foods"));
    }

    // Adds the amounts of sheet `name` to the foods: the n-th row of a code to the n-th food of
    // that code.
    void join(const QString& name, const QString& foodsSheet, NationalTable& table) {
        XlsxSheet sheet = book_.sheet(name);
        Layout layout = readHeader(sheet, false);
        QHash<QString, int> seen;
        qsizetype unjoined = 0;
        std::vector<SourceAmount> amounts;
        while (sheet.next()) {
            const QString code = requiredCode(sheet, layout.code, u"Food Code");
            const std::vector<std::size_t>& foods = byCode_.value(code);
            const int occurrence = seen[code]++;
            if (occurrence >= int(foods.size())) {
                ++unjoined;
                continue;
            }
            amounts.clear();
            layout.amounts.read(sheet, amounts);
            for (const SourceAmount& amount : amounts)
                table.amount(foods[std::size_t(occurrence)], table.rankOf(amount.nutrient), amount);
        }
        if (unjoined > 0)
            notes_ << QStringLiteral("%1 of sheet \"%2\" of foods not in \"%3\" skipped")
                          .arg(counted(unjoined, u"row"), printable(name), printable(foodsSheet));
    }

    XlsxWorkbook book_;
    QHash<QString, std::vector<std::size_t>> byCode_;  // the kept foods of each code
    QStringList tags_;                                 // of every sheet
    QStringList notes_;
};

}  // namespace

Built readCofid(const QString& path, const QString& language, const RowSink& sink) {
    return CofidReader(path).read(language, sink);
}

}  // namespace velmora::mkdb
