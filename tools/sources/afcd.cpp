// SPDX-License-Identifier: GPL-3.0-or-later
// AFCD, the Australian Food Composition Database "Nutrient file": the per-100 g sheet, columns
// headed by a name with the unit in parentheses; no tagnames, so mapped by the header's name.
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

// AFCD's headers without their unit, as headerKey compares them. Energy only in kJ.
constexpr std::array<SheetNutrient, 39> kAfcd{{
    {"moisture (water)", columnIndex("WATER")},
    {"energy with dietary fibre, equated", columnIndex("ENERG_KCAL")},
    {"protein", columnIndex("PROTEIN")},
    {"fat, total", columnIndex("TOT_LIPID")},
    {"available carbohydrate, with sugar alcohols", columnIndex("CARBOHYDRT")},
    {"total dietary fibre", columnIndex("FIBER_TD")},
    {"ash", columnIndex("ASH")},
    {"calcium (ca)", columnIndex("CALCIUM")},
    {"phosphorus (p)", columnIndex("PHOSPHORUS")},
    {"iron (fe)", columnIndex("IRON")},
    {"sodium (na)", columnIndex("SODIUM")},
    {"potassium (k)", columnIndex("POTASSIUM")},
    {"magnesium (mg)", columnIndex("MAGNESIUM")},
    {"zinc (zn)", columnIndex("ZINC")},
    {"copper (cu)", columnIndex("COPPER")},
    {"manganese (mn)", columnIndex("MANGANESE")},
    {"selenium (se)", columnIndex("SELENIUM")},
    {"vitamin e", columnIndex("VIT_E")},
    {"thiamin (b1)", columnIndex("THIAMIN")},
    {"riboflavin (b2)", columnIndex("RIBOFLAVIN")},
    {"niacin (b3)", columnIndex("NIACIN")},
    {"pantothenic acid (b5)", columnIndex("PANTO_ACID")},
    {"pyridoxine (b6)", columnIndex("VIT_B6")},
    {"total folates", columnIndex("FOLATE")},
    {"cobalamin (b12)", columnIndex("VIT_B12")},
    {"vitamin c", columnIndex("VIT_C")},
    {"total saturated fatty acids, equated", columnIndex("FA_SAT")},
    {"total monounsaturated fatty acids, equated", columnIndex("FA_MONO")},
    {"total polyunsaturated fatty acids, equated", columnIndex("FA_POLY")},
    {"cholesterol", columnIndex("CHOLESTRL")},
    // Other names releases give the same nutrient, after the first of each column.
    {"ascorbic acid, total", columnIndex("VIT_C")},
    {"ascorbic acid", columnIndex("VIT_C")},
    {"water", columnIndex("WATER")},
    {"thiamine (b1)", columnIndex("THIAMIN")},
    {"niacin (preformed)", columnIndex("NIACIN")},
    {"vitamin b6", columnIndex("VIT_B6")},
    {"total folate", columnIndex("FOLATE")},
    {"folate, total", columnIndex("FOLATE")},
    {"vitamin b12", columnIndex("VIT_B12")},
}};
constexpr auto kAfcdMapping = mappingOf(kAfcd);
// The first entries of kAfcd, one a column.
constexpr std::size_t kAfcdColumns = 30;

// "Public Food Key" ... as in the per-100 g sheet's name.
constexpr QStringView kAfcdSheet(u"All solids & liquids per 100");

// The release the file's name or its Index sheet names ("Release 2"); empty when neither does.
QString afcdRelease(const XlsxWorkbook& book) {
    static const QRegularExpression release(QStringLiteral("release\\s*(\\d+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString found = lastMatch(fileNameOf(book.fileName()), release, 1);
    if (found.isEmpty() && book.sheetNames().contains(QStringLiteral("Index"))) {
        XlsxSheet index = book.sheet(QStringLiteral("Index"));
        for (int rows = 0; found.isEmpty() && rows < 50 && index.next(); ++rows)
            for (const XlsxCell& cell : index.cells())
                if (found.isEmpty()) found = lastMatch(fromUtf8(cell.text), release, 1);
    }
    return found.isEmpty() ? found : QStringLiteral("Release ") + found;
}

NationalSource afcdSource(const QString& release) {
    const QString version = release.isEmpty() ? QStringLiteral("release not stated") : release;
    return {
        .name = QStringLiteral("Australian Food Composition Database (AFCD)"),
        .shortName = QStringLiteral("AFCD"),
        .version = version,
        .citation = QStringLiteral("Food Standards Australia New Zealand (%1). Australian Food "
                                   "Composition Database")
                        .arg(version),
        .carbohydrate = QStringLiteral("available carbohydrate, with sugar alcohols (AFCD), as "
                                       "published"),
        .notes = QStringLiteral("Licensed under CC BY-SA (Creative Commons Attribution-ShareAlike) "
                                "terms: a table built from it is shared under the same terms."),
        .noticeRequired = false,
        .nutrients = kAfcdMapping,
    };
}

// A header "Calcium (Ca) \n(mg)" as its name ("calcium (ca)", compared as headerKey) and unit.
std::pair<QString, Unit> nameAndUnit(const QString& header) {
    const QString key = headerKey(header);
    const qsizetype open = key.lastIndexOf(u'(');
    if (open <= 0 || !key.endsWith(u')')) return {key, Unit::Unknown};
    const Unit unit = unitNamed(QStringView(key).sliced(open + 1, key.size() - open - 2));
    if (unit == Unit::Unknown) return {key, unit};
    return {key.first(open).trimmed(), unit};
}

bool isAfcdNutrient(const QString& name) {
    return std::any_of(kAfcd.begin(), kAfcd.end(),
                       [&](const SheetNutrient& n) { return name == latin1(n.nutrient); });
}

}  // namespace

Built readAfcd(const QString& path, const QString& language, const RowSink& sink) {
    const XlsxWorkbook book(path);
    const QString name = book.sheetStartingWith(kAfcdSheet);
    if (name.isEmpty())
        throw noSheet(book, QStringLiteral("sheet \"All solids & liquids per 100g\""),
                      QStringLiteral("one whose name starts with \"%1\"; ").arg(kAfcdSheet));
    XlsxSheet sheet = book.sheet(name);
    needRow(book, sheet, "header row");
    const int key = requiredColumn(book, sheet, u"Public Food Key");
    const int foodName = requiredColumn(book, sheet, u"Food Name");
    const int group = columnHeaded(sheet, u"Classification");
    AmountColumns amounts(kAfcdMapping);
    QStringList held;
    for (const XlsxCell& cell : sheet.cells()) {
        const QString header = fromUtf8(cell.text);
        if (cell.column == key || cell.column == foodName || cell.column == group) continue;
        // A column without a unit is no amount (a later release may add text columns).
        const auto [nutrient, unit] = nameAndUnit(header);
        if (unit == Unit::Unknown && !isAfcdNutrient(nutrient)) continue;
        amounts.add(cell.column, nutrient, unit, header);
        held << nutrient;
    }
    QStringList missing;
    for (std::size_t c = 0; c < kAfcdColumns; ++c) {
        const bool found = std::any_of(kAfcd.begin(), kAfcd.end(), [&](const SheetNutrient& n) {
            return n.column == kAfcd[c].column && held.contains(latin1(n.nutrient));
        });
        if (!found) missing << latin1(kAfcd[c].nutrient);
    }

    NationalTable table(afcdSource(afcdRelease(book)), language, sink);
    NationalFood food;
    qsizetype foods = 0;
    while (sheet.next()) {
        food.code = requiredCode(sheet, key, u"Public Food Key");
        food.group = textAt(sheet, group);
        food.names = {{QLatin1StringView("en"), textAt(sheet, foodName)}};
        if (food.names[0].text.isEmpty())
            throw Fault{sheet.at(foodName,
                                 QStringLiteral("food %1 has no name").arg(printable(food.code)))};
        food.amounts.clear();
        amounts.read(sheet, food.amounts);
        table.add(food);
        ++foods;
    }
    if (foods == 0) throw sheetFault(book, sheet, QStringLiteral("no foods"));
    QString found = QStringLiteral("%1 of %2 mapped columns found")
                        .arg(qsizetype(kAfcdColumns) - missing.size())
                        .arg(kAfcdColumns);
    if (!missing.isEmpty())
        found += QStringLiteral(" (not found, not measured: %1)").arg(quotedList(missing));
    Built built = table.result({found});
    built.warnings = table.unheld(held, book.fileName());
    return built;
}

}  // namespace velmora::mkdb
