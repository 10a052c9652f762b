// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of the nutrient report: label, value slot and suffix, in the order they are shown.
#pragma once

#include "report/valuearrays.h"

#include <QStringView>

namespace velmora {

struct ReportLine {
    QStringView label;
    int slot;  // value slot of the arrays; -1 for a line with no value
    QStringView suffix = {};
};

// The blanks inside the labels are part of the layout users compare against; keep them exact.
inline constexpr ReportLine kReportLines[] = {
    {u" Total weight: ", slot::TotalWeight, u" grams"},
    {u" Item:  ", slot::Description},
    {u"    ", -1},
    {u" Calories:  ", slot::of("ENERG_KCAL")},
    {u"    ", -1},
    {u" Total Fat in grams: ", slot::of("TOT_LIPID")},
    {u"    Saturated Fat in grams:  ", slot::of("FA_SAT")},
    {u"    Polyunsaturated Fat in grams:  ", slot::of("FA_POLY")},
    {u"    Monounsaturated Fat in grams:  ", slot::of("FA_MONO")},
    {u" Cholesterol in mg:  ", slot::of("CHOLESTRL")},
    {u" Carbohydrate in grams:  ", slot::of("CARBOHYDRT")},
    {u" Fiber in grams:  ", slot::of("FIBER_TD")},
    {u" Protein in grams: ", slot::of("PROTEIN")},
    {u" Sodium in mg:  ", slot::of("SODIUM")},
    {u" Potassium in mg:  ", slot::of("POTASSIUM")},
    {u" Calcium in mg:  ", slot::of("CALCIUM")},
    {u" Phosphorus in mg:  ", slot::of("PHOSPHORUS")},
    {u" Iron in mg:  ", slot::of("IRON")},
    {u" Magnesium in mg:  ", slot::of("MAGNESIUM")},
    {u" Zinc in mg:  ", slot::of("ZINC")},
    {u" Copper in mg:  ", slot::of("COPPER")},
    {u" Manganese in mg:  ", slot::of("MANGANESE")},
    {u" Selenium in in micrograms:  ", slot::of("SELENIUM")},
    {u" Vitamin A in iu:  ", slot::of("VIT_A")},
    {u" Thiamin in mg:  ", slot::of("THIAMIN")},
    {u" Riboflavin in mg:  ", slot::of("RIBOFLAVIN")},
    {u" Niacin in mg:  ", slot::of("NIACIN")},
    {u" Pantothenic acid in mg:  ", slot::of("PANTO_ACID")},
    {u" Vitamin B6 in mg:  ", slot::of("VIT_B6")},
    {u" Folic Acid in micrograms:  ", slot::of("FOLATE")},
    {u" Vitamin B12 in micrograms:  ", slot::of("VIT_B12")},
    {u" Vitamin C in mg:  ", slot::of("VIT_C")},
    {u" Vitamin E in mg:  ", slot::of("VIT_E")},
};

// Whether a report line shows a nutrient (slots 2 to 31), as opposed to the header lines.
constexpr bool isNutrientLine(const ReportLine& line) {
    return line.slot >= slot::Calories && line.slot <= slot::LastNutrient;
}

}  // namespace velmora
