// SPDX-License-Identifier: GPL-3.0-or-later
// Percent Daily Values (FDA, 2000-calorie diet) for the amounts of the report on show.
#pragma once

#include "report/valuearrays.h"

#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <span>

namespace velmora {

struct DailyValueRow {
    int index;  // nutrient slot of the value arrays
    double dv;  // Daily Value, in the unit the report states the nutrient in
};

// Which Daily Values the percents are of: those of the FDA's labels of the 1990s, the program's
// own and the default, or those of the FDA's 2016 rule that labels carry since 2020.
enum class DailyValueRule { Fda1993, Fda2016 };

// The rows of a rule, in the order the percent lines are computed: 27 for 1993, 26 for 2016,
// whose vitamin A value is in micrograms RAE, which no factor gets from the table's IU.
std::span<const DailyValueRow> dailyValues(DailyValueRule rule);
bool hasDailyValue(DailyValueRule rule, int slot);

// Reads the value of --daily-values ("1993", "2016") into `rule`; the empty text when it is one,
// else what is wrong with it.
QString readDailyValueRule(const QString& value, DailyValueRule& rule);
// "1993" or "2016".
QString dailyValueRuleName(DailyValueRule rule);

// The three arrays the percent calculation works on; indexes are nutrient slots.
struct DailyValueState {
    std::array<double, kValueSlots> vAmount{};     // read: the rule's rows
    std::array<double, kValueSlots> vPercentDV{};  // written: the rule's rows
    std::array<QString, kValueSlots> svDVLine{};   // 2..31: a percent line ending in CR, or empty
    DailyValueRule rule = DailyValueRule::Fda1993;
};

// Clears svDVLine(2..31), then for every row of the state's rule: percent = amount * 100 / DV
// rounded to one decimal (halves away from zero on 15 significant digits); a line for calories
// always, for the others when the amount is not exactly 0.
void CalcDV(DailyValueState& state);

// The annotated report of Z: fills vAmount from Val of Z(1..31), runs CalcDV and returns the
// whole text. Reads Z only. `svPortionDescrip` receives the header that was used. Calories that
// were not measured (an empty text) have neither an amount nor a percent line.
QString annotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale = QLocale());

}  // namespace velmora
