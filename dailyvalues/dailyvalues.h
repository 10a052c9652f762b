// SPDX-License-Identifier: GPL-3.0-or-later
// Percent Daily Values for the amounts of the report on show: of the FDA's Daily Values for a
// 2000-calorie diet, or of another country's reference values.
#pragma once

#include "report/valuearrays.h"

#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace velmora {

struct DailyValueRow {
    int index;  // nutrient slot of the value arrays
    double dv;  // Daily Value, in the unit the report states the nutrient in
};

// Which values the percents are of: those of the FDA's labels of the 1990s, the program's own
// and the default for the shipped and the USDA tables; those of the FDA's 2016 rule that labels
// carry since 2020; the EU's reference intakes (which the UK kept); Canada's Daily Values; and
// the reference values and RDIs of Australia and New Zealand.
enum class DailyValueRule { Fda1993, Fda2016, Eu, Canada, Anz };
inline constexpr DailyValueRule kDailyValueRules[] = {DailyValueRule::Fda1993,
                                                      DailyValueRule::Fda2016, DailyValueRule::Eu,
                                                      DailyValueRule::Canada, DailyValueRule::Anz};

// The units the rules state their values in.
enum class ReferenceUnit {
    Kcal,
    KJ,
    G,
    Mg,
    Ug,
    MgAlphaTocopherol,
    MgAlphaTE,  // alpha-tocopherol equivalents
    MgNE,       // niacin equivalents
    UgDFE,      // dietary folate equivalents
    UgRAE,      // retinol activity equivalents
    UgRE,       // retinol equivalents
};

// One value as its rule states it.
struct ReferenceValue {
    QStringView nutrient;  // as the rule names it
    double amount;
    ReferenceUnit unit;
    int slot = -1;  // the report's nutrient it is the value of; -1 for one the tables lack
    // How much of what the rule names there is per amount of the nutrient: the EU gives salt,
    // which is sodium x 2.5.
    double per = 1;
};

// The values of a rule as it states them, in the order of its own table: the one table that
// both the percents and the information document are made of. Empty for 1993, whose values the
// stored document lists.
std::span<const ReferenceValue> referenceValues(DailyValueRule rule);

// `value` in the unit of its report line (kcal, g, mg, micrograms or IU). Within one quantity
// only: energy (kcal from kJ by 4.184) and mass, where the equivalents of vitamin E, niacin and
// folate count as milligrams and micrograms of the vitamin, as the table's own amounts of them
// do. Nothing for retinol equivalents or any mass against IU: no factor leads from one to the
// other.
std::optional<double> inReportUnit(const ReferenceValue& value);

// The rows of a rule, in the order the percent lines are computed: 27 for 1993, 26 for 2016,
// whose vitamin A value is in micrograms RAE, which no factor gets from the table's IU; one for
// each value of the other rules that has a slot and comes to the report's unit.
std::span<const DailyValueRow> dailyValues(DailyValueRule rule);
bool hasDailyValue(DailyValueRule rule, int slot);

// Reads the value of --daily-values into `rule`; the empty text when it is one, else what is
// wrong with it.
QString readDailyValueRule(const QString& value, DailyValueRule& rule);
// "1993", "2016", "eu", "ca" or "anz": the option's value and the JSON and CSV field.
QString dailyValueRuleName(DailyValueRule rule);

// The rule a table's percents are of unless the user chose one: the country's own for a table
// built from a national food table (`sourceName` is its source record's name), 1993 for any
// other, the shipped table and the USDA's included (an empty name: no source record).
DailyValueRule tableDailyValueRule(QStringView sourceName);

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
// were not measured (an empty text) have neither an amount nor a percent line. Under a rule
// other than 1993 the first line names it, and a nutrient the rule has no value for in the
// report's unit has a note where its percent would be.
QString annotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale = QLocale());

}  // namespace velmora
