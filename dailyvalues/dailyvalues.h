// SPDX-License-Identifier: GPL-3.0-or-later
// Percent Daily Values (FDA, 2000-calorie diet) for the amounts of the report on show.
#pragma once

#include "report/valuearrays.h"

#include <QLocale>
#include <QString>

#include <array>

namespace velmora {

struct DailyValueRow {
    int index;  // nutrient slot of the value arrays
    double dv;  // Daily Value, in the unit the report states the nutrient in
};

// The 27 rows, in the order the percent lines are computed.
extern const std::array<DailyValueRow, 27> kDailyValues;

// The three arrays the percent calculation works on; indexes are nutrient slots.
struct DailyValueState {
    std::array<double, kValueSlots> vAmount{};     // read: 2..6, 8..28, 31
    std::array<double, kValueSlots> vPercentDV{};  // written: the table's rows
    std::array<QString, kValueSlots> svDVLine{};   // 2..31: a percent line ending in CR, or empty
};

// Clears svDVLine(2..31), then for every table row: percent = amount * 100 / DV rounded to one
// decimal (halves away from zero on 15 significant digits); a line for calories always, for the
// others when the amount is not exactly 0.
void CalcDV(DailyValueState& state);

// The annotated report of Z: fills vAmount from Val of Z(1..31), runs CalcDV and returns the
// whole text. Reads Z only. `svPortionDescrip` receives the header that was used.
QString annotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale = QLocale());

}  // namespace velmora
