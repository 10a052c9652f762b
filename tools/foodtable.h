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

// Nutrient amounts by SR nutrient number ("Nutr_No", FDC's "nutrient_nbr"). Slots below
// kNutrientColumns are the table's nutrient columns in order; the others stand in for one of
// them when a food lacks it.
inline constexpr int kNutrientColumns = 31;
inline constexpr int kFirstNutrientColumn = columnIndex("WATER");
inline constexpr int kNutrientSlots = kNutrientColumns + 5;
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
// 39 cells per food. An empty cell is Null; an empty description, and a file without foods, are
// refused. Returns the number of rows given to `sink`; throws Fault.
qsizetype readFoodTableCsv(const QString& path, const RowSink& sink);
qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink);

}  // namespace velmora::mkdb
