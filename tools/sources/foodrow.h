// SPDX-License-Identifier: GPL-3.0-or-later
// The food table as a source hands it to the writer: the 39 columns of CSR14 in order, one row at
// a time, each cell Null, a number or a UTF-8 text.
#pragma once

#include <array>
#include <functional>
#include <string_view>

#include "fooddb/foodcolumns.h"

namespace velmora::mkdb {

// The table's columns are the program's own list.
using velmora::columnIndex;
using velmora::ColumnType;
inline constexpr int kColumnCount = kBoundFieldCount;
inline constexpr const auto& kColumns = kFoodColumns;
inline constexpr int kFirstNutrientColumn = columnIndex("WATER");
inline constexpr int kNutrientColumns = columnIndex("CHOLESTRL") + 1 - kFirstNutrientColumn;

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

// A source's nutrient identifier and the column it goes to.
struct NutrientMapping {
    std::string_view nutrient;
    int column;
};

}  // namespace velmora::mkdb
