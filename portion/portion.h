// SPDX-License-Identifier: GPL-3.0-or-later
// The portion the user asked for, and the report values restated for it.
#pragma once

#include "report/valuearrays.h"

#include <QLocale>
#include <QString>

#include <array>
#include <optional>

namespace velmora {

// The last submitted portion: its weight in grams, the household measure's text (empty for a
// weight in grams) and the number of measures (0 for grams). Single precision, as the dialog
// stores them; they keep their values between openings of the dialog.
struct PortionState {
    float vPortionGrams = 0;
    QString svPortionUnit;
    float vPortionQuantity = 0;
};

// One of a food's household measures as the table gives it: its weight in grams and its text
// ("1 cup"). A measure with an empty text does not exist for the food.
struct HouseholdMeasure {
    QString grams;
    QString text;
};
using HouseholdMeasures = std::array<HouseholdMeasure, 2>;

// The two measures of the current record (bound fields 32 to 35).
HouseholdMeasures measuresOf(const FieldReader& field);

// `count` of measure `m`: weight Val(grams) * count, the measure's text, `count` itself.
// Double precision; the caller checks the range before storing it in a PortionState.
struct PortionEntry {
    double grams = 0;
    QString unit;
    double quantity = 0;
};
PortionEntry measurePortion(const HouseholdMeasure& m, double count);

// The number of measures typed into a measure box, read as Val reads it ("0.25"; "1/4" is 1 and
// "abc" 0, which the dialog then calls no number), except that where the locale writes decimals
// with a comma, "1,5" is 1.5 as in the grams box. A number that Val would cut at a decimal
// separator followed by digits ("1,5" where the point is "."; "1.5.2") is refused: nothing.
std::optional<double> measureCount(QStringView text, const QLocale& locale = QLocale());

// A scaled nutrient value as the portion report shows it: one blank, then x rounded to
// `decimals` places, plain, without trailing zeros (" 12.346", " 4", " 0.25").
QString portionText(double x, int decimals);

// The decimals the portion report writes nutrient slot `slot` with: 1 for calories, 3 for the
// others.
constexpr int portionDecimals(int slot) {
    return slot == slot::Calories ? 1 : 3;
}

// Restates the current record's per-100-gram values (read through `field`, so portions never
// compound) for `portion`: S and Z slots 2..31 (calories with 1 decimal, the rest with 3), Z(41)
// the weight with 2 decimals in `locale`'s form, Z(34) the quantity, Z(33) the unit. The caller
// has made the food of Z(0) the current record.
void restatePortion(const FieldReader& field, const PortionState& portion, ValueArray& S,
                    ValueArray& Z, double& vPortionFactor, const QLocale& locale = QLocale());

}  // namespace velmora
