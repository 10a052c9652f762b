// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of the nutrient report: label, value slot and suffix, in the order they are shown.
#pragma once

#include <QStringView>

namespace velmora {

struct ReportLine {
    QStringView label;
    int slot;  // value slot of the arrays; -1 for a line with no value
    QStringView suffix = {};
};

// The blanks inside the labels are part of the layout users compare against; keep them exact.
inline constexpr ReportLine kReportLines[] = {
    {u" Total weight: ", 41, u" grams"},
    {u" Item:  ", 0},
    {u"    ", -1},
    {u" Calories:  ", 2},
    {u"    ", -1},
    {u" Total Fat in grams: ", 4},
    {u"    Saturated Fat in grams:  ", 28},
    {u"    Polyunsaturated Fat in grams:  ", 30},
    {u"    Monounsaturated Fat in grams:  ", 29},
    {u" Cholesterol in mg:  ", 31},
    {u" Carbohydrate in grams:  ", 5},
    {u" Fiber in grams:  ", 6},
    {u" Protein in grams: ", 3},
    {u" Sodium in mg:  ", 11},
    {u" Potassium in mg:  ", 12},
    {u" Calcium in mg:  ", 8},
    {u" Phosphorus in mg:  ", 9},
    {u" Iron in mg:  ", 10},
    {u" Magnesium in mg:  ", 13},
    {u" Zinc in mg:  ", 14},
    {u" Copper in mg:  ", 15},
    {u" Manganese in mg:  ", 16},
    {u" Selenium in in micrograms:  ", 17},
    {u" Vitamin A in iu:  ", 18},
    {u" Thiamin in mg:  ", 20},
    {u" Riboflavin in mg:  ", 21},
    {u" Niacin in mg:  ", 22},
    {u" Pantothenic acid in mg:  ", 23},
    {u" Vitamin B6 in mg:  ", 24},
    {u" Folic Acid in micrograms:  ", 25},
    {u" Vitamin B12 in micrograms:  ", 26},
    {u" Vitamin C in mg:  ", 27},
    {u" Vitamin E in mg:  ", 19},
};

// Whether a report line shows a nutrient (slots 2 to 31), as opposed to the header lines.
constexpr bool isNutrientLine(const ReportLine& line) {
    return line.slot >= 2 && line.slot <= 31;
}

}  // namespace velmora
