// The portion the user asked for, and the report values restated for it.
#pragma once

#include "valuearrays.h"

#include <QLocale>
#include <QString>

namespace velmora {

class DataControl;

// The last submitted portion: its weight in grams, the household measure's text (empty for a
// weight in grams) and the number of measures (0 for grams). Single precision, as the dialog
// stores them; they keep their values between openings of the dialog.
extern float vPortionGrams;
extern QString svPortionUnit;
extern float vPortionQuantity;

// A scaled nutrient value as the portion report shows it: one blank, then x rounded to
// `decimals` places, plain, without trailing zeros (" 12.346", " 4", " 0.25").
QString PortionText(double x, int decimals);

// Finds the food named by Z(0) again and restates its per-100-gram values for the portion in
// vPortionGrams: S and Z slots 2..31 (calories with 1 decimal, the rest with 3), Z(41) the
// weight with 2 decimals in `locale`'s form, Z(34) the quantity, Z(33) the unit. Values are
// re-read from the bound fields every time, so portions never compound. With Z(0) empty, or
// when the food is not found (the find step shows its message), S and Z stay as they were.
void RecomputePortion(DataControl& Data1, ValueArray& S, ValueArray& Z, double& vPortionFactor,
                      const QLocale& locale = QLocale());

}  // namespace velmora
