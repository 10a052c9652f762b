// SPDX-License-Identifier: GPL-3.0-or-later
// The food table CSR14: its 39 columns in the order of the bound fields (field i reads column i),
// for the program, the table builder and the tests alike.
#pragma once

#include <array>
#include <string_view>

namespace velmora {

enum class ColumnType { Text, Real };

struct FoodColumn {
    std::string_view name;
    ColumnType type;
    std::string_view nutrient;  // what a nutrient column holds, per 100 g; empty for the rest
    std::string_view unit;      // the unit of that amount
};

inline constexpr int kBoundFieldCount = 39;

inline constexpr std::array<FoodColumn, kBoundFieldCount> kFoodColumns{{
    {"Description", ColumnType::Text, "", ""},
    {"WATER", ColumnType::Real, "Water", "g"},
    {"ENERG_KCAL", ColumnType::Real, "Calories", "kcal"},
    {"PROTEIN", ColumnType::Real, "Protein", "g"},
    {"TOT_LIPID", ColumnType::Real, "Total Fat", "g"},
    {"CARBOHYDRT", ColumnType::Real, "Carbohydrate", "g"},
    {"FIBER_TD", ColumnType::Real, "Fiber", "g"},
    {"ASH", ColumnType::Real, "Ash", "g"},
    {"CALCIUM", ColumnType::Real, "Calcium", "mg"},
    {"PHOSPHORUS", ColumnType::Real, "Phosphorus", "mg"},
    {"IRON", ColumnType::Real, "Iron", "mg"},
    {"SODIUM", ColumnType::Real, "Sodium", "mg"},
    {"POTASSIUM", ColumnType::Real, "Potassium", "mg"},
    {"MAGNESIUM", ColumnType::Real, "Magnesium", "mg"},
    {"ZINC", ColumnType::Real, "Zinc", "mg"},
    {"COPPER", ColumnType::Real, "Copper", "mg"},
    {"MANGANESE", ColumnType::Real, "Manganese", "mg"},
    {"SELENIUM", ColumnType::Real, "Selenium", "micrograms"},
    {"VIT_A", ColumnType::Real, "Vitamin A", "iu"},
    {"VIT_E", ColumnType::Real, "Vitamin E", "mg"},
    {"THIAMIN", ColumnType::Real, "Thiamin", "mg"},
    {"RIBOFLAVIN", ColumnType::Real, "Riboflavin", "mg"},
    {"NIACIN", ColumnType::Real, "Niacin", "mg"},
    {"PANTO_ACID", ColumnType::Real, "Pantothenic acid", "mg"},
    {"VIT_B6", ColumnType::Real, "Vitamin B6", "mg"},
    {"FOLATE", ColumnType::Real, "Folic Acid", "micrograms"},
    {"VIT_B12", ColumnType::Real, "Vitamin B12", "micrograms"},
    {"VIT_C", ColumnType::Real, "Vitamin C", "mg"},
    {"FA_SAT", ColumnType::Real, "Saturated Fat", "g"},
    {"FA_MONO", ColumnType::Real, "Monounsaturated Fat", "g"},
    {"FA_POLY", ColumnType::Real, "Polyunsaturated Fat", "g"},
    {"CHOLESTRL", ColumnType::Real, "Cholesterol", "mg"},
    {"GMWT_1", ColumnType::Real, "", ""},
    {"GMWT_DESC1", ColumnType::Text, "", ""},
    {"GMWT_2", ColumnType::Real, "", ""},
    {"GMWT_DESC2", ColumnType::Text, "", ""},
    {"REFUSE_PCT", ColumnType::Real, "", ""},
    {"NDB_NO", ColumnType::Text, "", ""},
    {"CODE", ColumnType::Text, "", ""},
}};

// No food has this much of anything per 100 g, nor a measure this heavy: the builders refuse a
// larger value, and the program reads a larger stored one as not measured (scaled to a portion
// it could become infinite).
inline constexpr int kLargestAmountPower = 15;  // of ten
inline constexpr double kLargestAmount = [] {
    double x = 1;
    for (int i = 0; i < kLargestAmountPower; ++i) x *= 10;
    return x;
}();

// Index of a column by name; an unknown name does not compile.
consteval int columnIndex(std::string_view name) {
    for (int i = 0; i < kBoundFieldCount; ++i)
        if (kFoodColumns[static_cast<std::size_t>(i)].name == name) return i;
    throw "unknown column";
}

// Bound fields the program reads by name.
namespace field {
inline constexpr int Description = columnIndex("Description");
inline constexpr int Measure1Grams = columnIndex("GMWT_1");
inline constexpr int Measure1Text = columnIndex("GMWT_DESC1");
inline constexpr int Measure2Grams = columnIndex("GMWT_2");
inline constexpr int Measure2Text = columnIndex("GMWT_DESC2");
inline constexpr int NdbNumber = columnIndex("NDB_NO");
}  // namespace field

}  // namespace velmora
