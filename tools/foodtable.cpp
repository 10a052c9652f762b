// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/foodtable.h"

#include "common/numbertext.h"

#include "common/outsidetext.h"
#include "tools/csvreader.h"

#include <charconv>
#include <cmath>

namespace velmora::mkdb {

namespace {

// SR nutrient number -> slot. Vitamin E (alpha-tocopherol, 323) falls back to 394, which some
// releases give instead; FoodData Central's analysed foods often give energy only as Atwater
// specific (958) or general (957) factors, fat only as NLEA (298) and carbohydrate only by
// summation (205.2).
struct SlotNumber {
    std::string_view number;
    int slot;
};
consteval int slotOf(std::string_view column) {
    return columnIndex(column) - kFirstNutrientColumn;
}
constexpr std::array<SlotNumber, kNutrientSlots> kSlotNumbers{{
    {"255", slotOf("WATER")},
    {"208", slotOf("ENERG_KCAL")},
    {"203", slotOf("PROTEIN")},
    {"204", slotOf("TOT_LIPID")},
    {"205", slotOf("CARBOHYDRT")},
    {"291", slotOf("FIBER_TD")},
    {"207", slotOf("ASH")},
    {"301", slotOf("CALCIUM")},
    {"305", slotOf("PHOSPHORUS")},
    {"303", slotOf("IRON")},
    {"307", slotOf("SODIUM")},
    {"306", slotOf("POTASSIUM")},
    {"304", slotOf("MAGNESIUM")},
    {"309", slotOf("ZINC")},
    {"312", slotOf("COPPER")},
    {"315", slotOf("MANGANESE")},
    {"317", slotOf("SELENIUM")},
    {"318", slotOf("VIT_A")},
    {"323", slotOf("VIT_E")},
    {"404", slotOf("THIAMIN")},
    {"405", slotOf("RIBOFLAVIN")},
    {"406", slotOf("NIACIN")},
    {"410", slotOf("PANTO_ACID")},
    {"415", slotOf("VIT_B6")},
    {"417", slotOf("FOLATE")},
    {"418", slotOf("VIT_B12")},
    {"401", slotOf("VIT_C")},
    {"606", slotOf("FA_SAT")},
    {"645", slotOf("FA_MONO")},
    {"646", slotOf("FA_POLY")},
    {"601", slotOf("CHOLESTRL")},
    {"394", 31},
    {"958", 32},
    {"957", 33},
    {"298", 34},
    {"205.2", 35},
}};
// Each stand-in slot and the column slot it fills, in order of preference.
constexpr std::array<std::pair<int, int>, 5> kStandIns{{
    {31, slotOf("VIT_E")},
    {32, slotOf("ENERG_KCAL")},
    {33, slotOf("ENERG_KCAL")},
    {34, slotOf("TOT_LIPID")},
    {35, slotOf("CARBOHYDRT")},
}};

constexpr std::array<NutrientMapping, kNutrientSlots> srMappings() {
    std::array<NutrientMapping, kNutrientSlots> mappings{};
    for (std::size_t i = 0; i < kSlotNumbers.size(); ++i) {
        int slot = kSlotNumbers[i].slot;
        for (const auto& [standIn, column] : kStandIns)
            if (slot == standIn) slot = column;
        mappings[i] = {kSlotNumbers[i].number, kFirstNutrientColumn + slot};
    }
    return mappings;
}
constexpr std::array<NutrientMapping, kNutrientSlots> kSrMappings = srMappings();

}  // namespace

std::span<const NutrientMapping> srNutrientMappings() {
    return kSrMappings;
}

QString quotedCell(std::string_view utf8) {
    return u'"' + printable(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))) + u'"';
}

int nutrientSlot(std::string_view number) {
    for (const SlotNumber& entry : kSlotNumbers)
        if (entry.number == number) return entry.slot;
    return -1;
}

void setNutrients(FoodRow& row, const std::array<double, kNutrientSlots>& amounts) {
    std::array<double, kNutrientColumns> columns;
    std::copy_n(amounts.begin(), kNutrientColumns, columns.begin());
    for (const auto& [standIn, column] : kStandIns)
        if (std::isnan(columns[std::size_t(column)]))
            columns[std::size_t(column)] = amounts[std::size_t(standIn)];
    for (int c = 0; c < kNutrientColumns; ++c)
        row[std::size_t(kFirstNutrientColumn + c)] =
            std::isnan(columns[std::size_t(c)]) ? Cell{} : Cell::of(columns[std::size_t(c)]);
}

qsizetype readFoodTableCsv(const QString& path, const RowSink& sink) {
    InputFile in;
    in.open(path);
    return readFoodTableCsv(in, sink);
}

qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink) {
    const QString& path = in.name();
    CsvReader csv(in);
    if (!csv.next()) throw Fault{{path, 1, 1, QStringLiteral("empty file: no header row")}};
    csv.requireFields(kColumnCount, QStringLiteral("header"));
    for (int c = 0; c < kColumnCount; ++c) {
        const std::string_view expected = kColumns[std::size_t(c)].name;
        if (csv[c] != expected)
            throw Fault{csv.at(c, QStringLiteral("header cell %1 is %2, expected %3")
                                      .arg(c + 1)
                                      .arg(quotedCell(csv[c]), quotedCell(expected)))};
    }
    qsizetype rows = 0;
    FoodRow row;
    while (csv.next()) {
        csv.requireFields(kColumnCount, QStringLiteral("row"));
        if (csv[0].empty()) throw Fault{csv.at(0, QStringLiteral("the description is empty"))};
        for (int c = 0; c < kColumnCount; ++c) {
            const std::string_view text = csv[c];
            Cell& cell = row[std::size_t(c)];
            if (text.empty()) {
                cell = {};  // Null: not measured, which is not 0
            } else if (kColumns[std::size_t(c)].type == ColumnType::Text) {
                cell = Cell::of(text);
            } else if (const auto value = plainNumber(text)) {
                cell = Cell::of(*value);
            } else {
                throw Fault{csv.at(c, QStringLiteral("%1: %2 is not a number")
                                          .arg(QLatin1StringView(kColumns[std::size_t(c)].name),
                                               quotedCell(text)))};
            }
        }
        sink(row);
        ++rows;
    }
    if (rows == 0)
        throw Fault{{path, csv.line(), 1, QStringLiteral("no foods: the file has a header only")}};
    return rows;
}

}  // namespace velmora::mkdb
