// SPDX-License-Identifier: GPL-3.0-or-later
// BLS, the German Bundeslebensmittelschlüssel: one sheet, each nutrient in a column headed
// "TAG name [unit/100g]", followed by its reference columns.
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

// BLS's EuroFIR tagnames; the units are in the headers. Alpha-tocopherol before vitamin E
// activity, as the column holds the former where a table has it.
constexpr std::array<SheetNutrient, 32> kBls{{
    {"WATER", columnIndex("WATER")},       {"ENERCC", columnIndex("ENERG_KCAL")},
    {"ENERCJ", columnIndex("ENERG_KCAL")}, {"PROT625", columnIndex("PROTEIN")},
    {"FAT", columnIndex("TOT_LIPID")},     {"CHO", columnIndex("CARBOHYDRT")},
    {"FIBT", columnIndex("FIBER_TD")},     {"ASH", columnIndex("ASH")},
    {"CA", columnIndex("CALCIUM")},        {"P", columnIndex("PHOSPHORUS")},
    {"FE", columnIndex("IRON")},           {"NA", columnIndex("SODIUM")},
    {"K", columnIndex("POTASSIUM")},       {"MG", columnIndex("MAGNESIUM")},
    {"ZN", columnIndex("ZINC")},           {"CU", columnIndex("COPPER")},
    {"MN", columnIndex("MANGANESE")},      {"SE", columnIndex("SELENIUM")},
    {"TOCPHA", columnIndex("VIT_E")},      {"VITE", columnIndex("VIT_E")},
    {"THIA", columnIndex("THIAMIN")},      {"RIBF", columnIndex("RIBOFLAVIN")},
    {"NIA", columnIndex("NIACIN")},        {"PANTAC", columnIndex("PANTO_ACID")},
    {"VITB6", columnIndex("VIT_B6")},      {"FOL", columnIndex("FOLATE")},
    {"VITB12", columnIndex("VIT_B12")},    {"VITC", columnIndex("VIT_C")},
    {"FASAT", columnIndex("FA_SAT")},      {"FAMS", columnIndex("FA_MONO")},
    {"FAPU", columnIndex("FA_POLY")},      {"CHORL", columnIndex("CHOLESTRL")},
}};
constexpr auto kBlsMapping = mappingOf(kBls);

// The first sheet whose first row has a "BLS Code" column, that row read.
XlsxSheet blsSheet(const XlsxWorkbook& book) {
    for (const QString& name : book.sheetNames()) {
        XlsxSheet sheet = book.sheet(name);
        if (sheet.next() && columnHeaded(sheet, u"BLS Code") >= 0) return sheet;
    }
    throw noSheet(book, QStringLiteral("sheet with a \"BLS Code\" column in its first row"));
}

// The English names' column: a header that says English, or "Food name".
int englishColumn(const XlsxSheet& sheet) {
    for (const XlsxCell& cell : sheet.cells()) {
        const QString key = headerKey(fromUtf8(cell.text));
        if (key == u"food name" || key.contains(u"english") || key.contains(u"englisch"))
            return cell.column;
    }
    return -1;
}

NationalSource blsSource() {
    return {
        .name = QStringLiteral("Bundeslebensmittelschlüssel (BLS)"),
        .shortName = QStringLiteral("BLS"),
        .version = QStringLiteral("4.0"),
        .citation =
            QStringLiteral("Max Rubner-Institut (2025). Bundeslebensmittelschlüssel (BLS) 4.0"),
        .carbohydrate = QStringLiteral(
            "available carbohydrate (BLS CHO, Kohlenhydrate, verfügbar), as published"),
        .notes = QStringLiteral("Licensed under CC BY 4.0 (Creative Commons Attribution 4.0 "
                                "International)."),
        .noticeRequired = false,
        .nutrients = kBlsMapping,
    };
}

}  // namespace

Built readBls(const QString& path, const QString& language, const RowSink& sink) {
    const XlsxWorkbook book(path);
    XlsxSheet sheet = blsSheet(book);
    const int code = requiredColumn(book, sheet, u"BLS Code");
    const int german = requiredColumn(book, sheet, u"Lebensmittelbezeichnung");
    const int english = englishColumn(sheet);
    static const QRegularExpression nutrient(
        QStringLiteral("^(\\S+)\\s.*\\[\\s*([^\\]/]+?)\\s*/\\s*100\\s*g\\s*\\]$"));
    AmountColumns amounts(kBlsMapping);
    QStringList tags;
    for (const XlsxCell& cell : sheet.cells()) {
        const QString header = fromUtf8(cell.text).simplified();
        const QRegularExpressionMatch m = nutrient.match(header);
        if (!m.hasMatch()) continue;
        amounts.add(cell.column, m.captured(1), unitNamed(m.captured(2)), header);
        tags << m.captured(1);
    }
    if (amounts.isEmpty())
        throw sheetFault(book, sheet,
                         QStringLiteral("no nutrient column (headed \"TAG name [unit/100g]\")"));
    NationalTable table(blsSource(), language, sink);
    NationalFood food;
    qsizetype foods = 0;
    while (sheet.next()) {
        food.code = requiredCode(sheet, code, u"BLS Code");
        food.group = food.code.first(1);  // the code's letter is its main group
        food.names = {{QLatin1StringView("de"), textAt(sheet, german)},
                      {QLatin1StringView("en"), textAt(sheet, english)}};
        if (food.names[0].text.isEmpty() && food.names[1].text.isEmpty())
            throw Fault{
                sheet.at(german, QStringLiteral("food %1 has no name").arg(printable(food.code)))};
        food.amounts.clear();
        amounts.read(sheet, food.amounts);
        table.add(food);
        ++foods;
    }
    if (foods == 0) throw sheetFault(book, sheet, QStringLiteral("no foods"));
    Built built = table.result();
    built.warnings = table.unheld(tags, book.fileName());
    return built;
}

}  // namespace velmora::mkdb
