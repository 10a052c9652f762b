// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/srnutrients.h"

#include <algorithm>
#include <cmath>

namespace velmora::mkdb {

namespace {

consteval int slotOf(std::string_view column) {
    return columnIndex(column) - kFirstNutrientColumn;
}

// The SR number of each nutrient column's own nutrient, in column order.
constexpr std::array<std::string_view, kNutrientColumns> kColumnNumbers{
    "255", "208", "203", "204", "205", "291", "207", "301", "305", "303", "307",
    "306", "304", "309", "312", "315", "317", "318", "323", "404", "405", "406",
    "410", "415", "417", "418", "401", "606", "645", "646", "601",
};
static_assert(kColumnNumbers[slotOf("TOT_LIPID")] == "204" &&
              kColumnNumbers[slotOf("CHOLESTRL")] == "601");

constexpr std::array<NutrientMapping, kNutrientSlots> srMappings() {
    std::array<NutrientMapping, kNutrientSlots> mappings{};
    for (std::size_t slot = 0; slot < kColumnNumbers.size(); ++slot)
        mappings[slot] = {kColumnNumbers[slot], kFirstNutrientColumn + int(slot)};
    for (std::size_t i = 0; i < kStandIns.size(); ++i)
        mappings[kColumnNumbers.size() + i] = {kStandIns[i].number, kStandIns[i].column};
    return mappings;
}
constexpr std::array<NutrientMapping, kNutrientSlots> kSrMappings = srMappings();

}  // namespace

std::span<const NutrientMapping> srNutrientMappings() {
    return kSrMappings;
}

int nutrientSlot(std::string_view number) {
    for (int slot = 0; slot < kNutrientColumns; ++slot)
        if (kColumnNumbers[std::size_t(slot)] == number) return slot;
    for (std::size_t i = 0; i < kStandIns.size(); ++i)
        if (kStandIns[i].number == number) return kNutrientColumns + int(i);
    return -1;
}

void setNutrients(FoodRow& row, const std::array<double, kNutrientSlots>& amounts) {
    std::array<double, kNutrientColumns> columns;
    std::copy_n(amounts.begin(), kNutrientColumns, columns.begin());
    for (std::size_t i = 0; i < kStandIns.size(); ++i) {
        double& column = columns[std::size_t(kStandIns[i].column - kFirstNutrientColumn)];
        if (std::isnan(column)) column = amounts[std::size_t(kNutrientColumns) + i];
    }
    for (int c = 0; c < kNutrientColumns; ++c)
        row[std::size_t(kFirstNutrientColumn + c)] =
            std::isnan(columns[std::size_t(c)]) ? Cell{} : Cell::of(columns[std::size_t(c)]);
}

}  // namespace velmora::mkdb
