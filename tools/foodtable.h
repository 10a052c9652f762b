// SPDX-License-Identifier: GPL-3.0-or-later
// The food table as the builder holds it before writing: the 39 columns of CSR14 in order,
// one row per food, each cell Null, a number or a text.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "fooddb/foodcolumns.h"
#include "tools/diagnostic.h"

namespace velmora::mkdb {

// The table's columns are the program's own list.
using velmora::columnIndex;
using velmora::ColumnType;
inline constexpr int kColumnCount = kBoundFieldCount;
inline constexpr const auto& kColumns = kFoodColumns;

using Cell = std::variant<std::monostate, double, QString>;  // monostate = Null
using FoodRow = std::array<Cell, kColumnCount>;
using FoodTable = std::vector<FoodRow>;

// A finite decimal number and nothing else: optional "-", digits with an optional "." part,
// optional exponent. No blanks, no "+", no thousands separators, no inf or nan.
std::optional<double> parseNumber(QStringView text);

// The CSV food table: a header row with exactly the 39 column names in order, then one row of
// 39 cells per food. An empty cell is Null.
std::optional<Diagnostic> foodTableFromCsv(QByteArrayView bytes, const QString& fileName,
                                           FoodTable& table);

// The same, reading the file first; an unreadable file is reported at 1:1.
std::optional<Diagnostic> readFoodTableCsv(const QString& path, FoodTable& table);

}  // namespace velmora::mkdb
