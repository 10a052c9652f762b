// SPDX-License-Identifier: GPL-3.0-or-later
// The SR nutrient numbers ("Nutr_No", FoodData Central's "nutrient_nbr") that the USDA sources
// and the Canadian Nutrient File map to the table's nutrient columns.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "tools/sources/foodrow.h"

namespace velmora::mkdb {

// Slots below kNutrientColumns are the table's nutrient columns in order; slot kNutrientColumns + i
// holds kStandIns[i], which fills its column when a food lacks the column's own nutrient.
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

// The SR numbers as a national table's mapping (the Canadian Nutrient File numbers its nutrients
// so): each column's own number, then the stand-ins in their order of preference.
std::span<const NutrientMapping> srNutrientMappings();

}  // namespace velmora::mkdb
