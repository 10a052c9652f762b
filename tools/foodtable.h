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

#include "diagnostic.h"

namespace velmora::mkdb {

enum class ColumnType { Text, Real };

struct Column {
    std::string_view name;
    ColumnType type;
};

inline constexpr int kColumnCount = 39;

inline constexpr std::array<Column, kColumnCount> kColumns{{
    {"Description", ColumnType::Text}, {"WATER", ColumnType::Real},
    {"ENERG_KCAL", ColumnType::Real},  {"PROTEIN", ColumnType::Real},
    {"TOT_LIPID", ColumnType::Real},   {"CARBOHYDRT", ColumnType::Real},
    {"FIBER_TD", ColumnType::Real},    {"ASH", ColumnType::Real},
    {"CALCIUM", ColumnType::Real},     {"PHOSPHORUS", ColumnType::Real},
    {"IRON", ColumnType::Real},        {"SODIUM", ColumnType::Real},
    {"POTASSIUM", ColumnType::Real},   {"MAGNESIUM", ColumnType::Real},
    {"ZINC", ColumnType::Real},        {"COPPER", ColumnType::Real},
    {"MANGANESE", ColumnType::Real},   {"SELENIUM", ColumnType::Real},
    {"VIT_A", ColumnType::Real},       {"VIT_E", ColumnType::Real},
    {"THIAMIN", ColumnType::Real},     {"RIBOFLAVIN", ColumnType::Real},
    {"NIACIN", ColumnType::Real},      {"PANTO_ACID", ColumnType::Real},
    {"VIT_B6", ColumnType::Real},      {"FOLATE", ColumnType::Real},
    {"VIT_B12", ColumnType::Real},     {"VIT_C", ColumnType::Real},
    {"FA_SAT", ColumnType::Real},      {"FA_MONO", ColumnType::Real},
    {"FA_POLY", ColumnType::Real},     {"CHOLESTRL", ColumnType::Real},
    {"GMWT_1", ColumnType::Real},      {"GMWT_DESC1", ColumnType::Text},
    {"GMWT_2", ColumnType::Real},      {"GMWT_DESC2", ColumnType::Text},
    {"REFUSE_PCT", ColumnType::Real},  {"NDB_NO", ColumnType::Text},
    {"CODE", ColumnType::Text},
}};

// Index of a column by name; an unknown name does not compile.
consteval int columnIndex(std::string_view name) {
    for (int i = 0; i < kColumnCount; ++i)
        if (kColumns[i].name == name) return i;
    throw "unknown column";
}

using Cell = std::variant<std::monostate, double, QString>;  // monostate = Null
using FoodRow = std::array<Cell, kColumnCount>;
using FoodTable = std::vector<FoodRow>;

// A finite decimal number and nothing else: optional "-", digits with an optional "." part,
// optional exponent. No blanks, no "+", no thousands separators, no inf or nan.
std::optional<double> parseNumber(QStringView text);

// Shortest text that reads back as the same double, in plain decimal form (23, 0.078, never
// 23.0 or 7.8e-2).
QString numberText(double value);

// The CSV food table: a header row with exactly the 39 column names in order, then one row of
// 39 cells per food. An empty cell is Null.
std::optional<Diagnostic> foodTableFromCsv(QByteArrayView bytes, const QString& fileName,
                                           FoodTable& table);

// The same, reading the file first; an unreadable file is reported at 1:1.
std::optional<Diagnostic> readFoodTableCsv(const QString& path, FoodTable& table);

}  // namespace velmora::mkdb
