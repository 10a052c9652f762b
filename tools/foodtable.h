// SPDX-License-Identifier: GPL-3.0-or-later
// The food table as the builder hands it to the writer: the 39 columns of CSR14 in order, one row
// at a time, each cell Null, a number or a UTF-8 text; and the SR nutrient numbers that both
// USDA importers map to those columns.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "fooddb/foodcolumns.h"
#include "tools/diagnostic.h"

namespace velmora::mkdb {

class InputFile;

// The table's columns are the program's own list.
using velmora::columnIndex;
using velmora::ColumnType;
inline constexpr int kColumnCount = kBoundFieldCount;
inline constexpr const auto& kColumns = kFoodColumns;

struct Cell {
    enum class Kind : unsigned char { Null, Number, Text };
    Kind kind = Kind::Null;
    double number = 0;
    std::string_view text;  // UTF-8; valid while the sink runs

    static Cell of(double value) { return {Kind::Number, value, {}}; }
    static Cell of(std::string_view utf8) { return {Kind::Text, 0, utf8}; }
};
using FoodRow = std::array<Cell, kColumnCount>;
// Takes the rows one by one, in the table's order.
using RowSink = std::function<void(const FoodRow&)>;

// A cell quoted in a message: shortened, control characters escaped.
QString quotedCell(std::string_view utf8);

// A value the table is to store, read from a plain number (plainNumber) written with
// `decimalPoint` ('.' or ','; with ',' a "." is refused, as it may group thousands there), no
// larger than kLargestAmount either way: the table holds nothing the program would show as not
// measured. `problem` says what is wrong otherwise, after the quoted text in a message: "is not a
// number", "is out of range (beyond ±10^15)". Every reader takes its amounts through it.
struct Amount {
    double value = 0;
    QString problem;  // empty when `value` is the number
};
Amount readAmount(std::string_view text, char decimalPoint = '.');
Amount readAmount(std::string_view, bool) = delete;  // a flag would read as the character 0

// Nutrient amounts by SR nutrient number ("Nutr_No", FDC's "nutrient_nbr"). Slots below
// kNutrientColumns are the table's nutrient columns in order; slot kNutrientColumns + i holds
// kStandIns[i], which fills its column when a food lacks the column's own nutrient.
inline constexpr int kFirstNutrientColumn = columnIndex("WATER");
inline constexpr int kNutrientColumns = columnIndex("CHOLESTRL") + 1 - kFirstNutrientColumn;
struct StandIn {
    std::string_view number;  // the SR number of the nutrient that stands in
    int column;               // the column it fills
};
// In order of preference for each column. Vitamin E (alpha-tocopherol, 323) falls back to 394,
// which some releases give instead; FoodData Central's analysed foods often give energy only as
// Atwater specific (958) or general (957) factors, fat only as NLEA (298) and carbohydrate only by
// summation (205.2).
inline constexpr std::array<StandIn, 5> kStandIns{{
    {"394", columnIndex("VIT_E")},
    {"958", columnIndex("ENERG_KCAL")},
    {"957", columnIndex("ENERG_KCAL")},
    {"298", columnIndex("TOT_LIPID")},
    {"205.2", columnIndex("CARBOHYDRT")},
}};
inline constexpr int kNutrientSlots = kNutrientColumns + int(kStandIns.size());
// The slot of an SR nutrient number, or -1 for a nutrient the table has no column for.
int nutrientSlot(std::string_view number);
// Fills each nutrient column of `row` from `amounts` (NaN: no amount), the first of a column's
// stand-ins taking the place of a missing amount.
void setNutrients(FoodRow& row, const std::array<double, kNutrientSlots>& amounts);

// A source's nutrient identifier and the column it goes to (tools/nationaltable.h).
struct NutrientMapping {
    std::string_view nutrient;
    int column;
};
// The SR numbers as a national table's mapping (the Canadian Nutrient File numbers its nutrients
// so): each column's own number, then the stand-ins in their order of preference.
std::span<const NutrientMapping> srNutrientMappings();

// The CSV food table: a header row with exactly the 39 column names in order, then one row of
// 39 cells per food. An empty cell is Null; an empty description, a number beyond
// kLargestAmount, and a file without foods are refused. Returns the number of rows given to
// `sink`; throws Fault. `line`, when given, holds the line of the row the sink is given.
qsizetype readFoodTableCsv(const QString& path, const RowSink& sink, qsizetype* line = nullptr);
qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink, qsizetype* line = nullptr);

}  // namespace velmora::mkdb
