// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvalues/dailyvalues.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "report/reportlines.h"

#include <QStringView>

#include <algorithm>

namespace velmora {

namespace {

// FDA Daily Values for a 2000-calorie diet, each in the unit of its report line (no conversion).
constexpr std::array<DailyValueRow, 27> kFda1993 = {{
    {slot::of("ENERG_KCAL"), 2000}, {slot::of("PROTEIN"), 50},    {slot::of("TOT_LIPID"), 65},
    {slot::of("CARBOHYDRT"), 300},  {slot::of("FIBER_TD"), 25},   {slot::of("CALCIUM"), 1000},
    {slot::of("PHOSPHORUS"), 1000}, {slot::of("IRON"), 18},       {slot::of("SODIUM"), 2400},
    {slot::of("POTASSIUM"), 3500},  {slot::of("MAGNESIUM"), 400}, {slot::of("ZINC"), 15},
    {slot::of("COPPER"), 2},        {slot::of("MANGANESE"), 2},   {slot::of("SELENIUM"), 70},
    {slot::of("VIT_A"), 5000},      {slot::of("VIT_E"), 30},      {slot::of("THIAMIN"), 1.5},
    {slot::of("RIBOFLAVIN"), 1.7},  {slot::of("NIACIN"), 20},     {slot::of("PANTO_ACID"), 10},
    {slot::of("VIT_B6"), 2},        {slot::of("FOLATE"), 400},    {slot::of("VIT_B12"), 6},
    {slot::of("VIT_C"), 60},        {slot::of("FA_SAT"), 20},     {slot::of("CHOLESTRL"), 300},
}};

// The 2016 rule's values for adults and children from 4 years (81 FR 33742), in the same units
// and order; vitamin E as alpha-tocopherol, folate as the table's total folate.
constexpr std::array<DailyValueRow, 26> kFda2016 = {{
    {slot::of("ENERG_KCAL"), 2000}, {slot::of("PROTEIN"), 50},    {slot::of("TOT_LIPID"), 78},
    {slot::of("CARBOHYDRT"), 275},  {slot::of("FIBER_TD"), 28},   {slot::of("CALCIUM"), 1300},
    {slot::of("PHOSPHORUS"), 1250}, {slot::of("IRON"), 18},       {slot::of("SODIUM"), 2300},
    {slot::of("POTASSIUM"), 4700},  {slot::of("MAGNESIUM"), 420}, {slot::of("ZINC"), 11},
    {slot::of("COPPER"), 0.9},      {slot::of("MANGANESE"), 2.3}, {slot::of("SELENIUM"), 55},
    {slot::of("VIT_E"), 15},        {slot::of("THIAMIN"), 1.2},   {slot::of("RIBOFLAVIN"), 1.3},
    {slot::of("NIACIN"), 16},       {slot::of("PANTO_ACID"), 5},  {slot::of("VIT_B6"), 1.7},
    {slot::of("FOLATE"), 400},      {slot::of("VIT_B12"), 2.4},   {slot::of("VIT_C"), 90},
    {slot::of("FA_SAT"), 20},       {slot::of("CHOLESTRL"), 300},
}};

}  // namespace

std::span<const DailyValueRow> dailyValues(DailyValueRule rule) {
    return rule == DailyValueRule::Fda2016 ? std::span<const DailyValueRow>(kFda2016)
                                           : std::span<const DailyValueRow>(kFda1993);
}

bool hasDailyValue(DailyValueRule rule, int slot) {
    return std::ranges::any_of(dailyValues(rule),
                               [slot](const DailyValueRow& r) { return r.index == slot; });
}

QString readDailyValueRule(const QString& value, DailyValueRule& rule) {
    for (const DailyValueRule r : {DailyValueRule::Fda1993, DailyValueRule::Fda2016}) {
        if (value != dailyValueRuleName(r)) continue;
        rule = r;
        return {};
    }
    return QStringLiteral("--daily-values is 1993 or 2016, not '%1'").arg(printable(value));
}

QString dailyValueRuleName(DailyValueRule rule) {
    return rule == DailyValueRule::Fda2016 ? QStringLiteral("2016") : QStringLiteral("1993");
}

namespace {

constexpr int kCalories = slot::Calories;
constexpr int kMonoFat = slot::of("FA_MONO");
constexpr int kPolyFat = slot::of("FA_POLY");
constexpr int kVitaminA = slot::of("VIT_A");

// Three labels of the annotated report differ from the ordinary report's (two blanks after fat
// and protein, no "in" for pantothenic acid); the annotated report has always looked like this.
QStringView annotatedLabel(const ReportLine& line) {
    switch (line.slot) {
        case slot::of("TOT_LIPID"):
            return u" Total Fat in grams:  ";
        case slot::of("PROTEIN"):
            return u" Protein in grams:  ";
        case slot::of("PANTO_ACID"):
            return u" Pantothenic acid mg:  ";
        default:
            return line.label;
    }
}

constexpr QStringView kPercentLabel = u"          Percent Daily Value: ";
constexpr QStringView kPolyNote = u"    FDA does not specify a DV for Polyunsaturated Fats";
constexpr QStringView kMonoNote = u"    FDA does not specify a DV for Monounsaturated Fats";
// Under 2016 vitamin A has no value in the table's unit: a note like the fats' stands in.
constexpr QStringView kVitaminANote2016 = u"    no 2016 Daily Value in IU";
constexpr QStringView kRule2016 = u"Percent Daily Values of the 2016 FDA rule";
constexpr QStringView kClosingFirst = u"Percent Daily Values are Food and Drug Administration";
constexpr QStringView kClosingSecond =
    u"guidelines and are based on a 2000 calorie diet.  If your calorie needs are higher or lower "
    u"than 2000 calories per day then the daily values for carbohydrates, protein, fat, and fiber "
    u"would be proportionally higher or lower also.  Daily Values for vitamins, minerals, and "
    u"cholesterol would remain the same.";

}  // namespace

void CalcDV(DailyValueState& state) {
    for (int i = slot::Calories; i <= slot::LastNutrient; ++i) state.svDVLine[i].clear();
    for (const DailyValueRow& row : dailyValues(state.rule)) {
        const double amount = state.vAmount[row.index];
        // Multiplying first keeps the raw percent identical to what users have always been shown.
        const double raw = amount * 100 / row.dv;
        const double rounded = roundHalfAway(raw, 1);
        state.vPercentDV[row.index] = rounded;
        // The amount decides, not the percent: a trace amount still shows its 0% line.
        if (row.index == kCalories || amount != 0) {
            QString& line = state.svDVLine[row.index];
            line += kPercentLabel;
            line += numberText(rounded);
            line += u'%';
            line += CR;
        }
    }
}

namespace {

// The fixed note that stands where a nutrient without a Daily Value would have its percent line,
// or nothing.
QStringView noteOf(int slot, DailyValueRule rule) {
    if (slot == kPolyFat) return kPolyNote;
    if (slot == kMonoFat) return kMonoNote;
    if (slot == kVitaminA && rule == DailyValueRule::Fda2016) return kVitaminANote2016;
    return {};
}

// A nutrient's block: the label line, the percent line or note, an empty line.
void appendBlock(QString& text, const ReportLine& line, const ValueArray& Z,
                 const DailyValueState& state) {
    text += annotatedLabel(line);
    // Calories show the number read from the text; not measured is no 0.
    if (line.slot != kCalories)
        text += Z[line.slot];
    else if (!Z[kCalories].isEmpty())
        text += numberText(state.vAmount[kCalories]);
    text += CR;
    if (const QStringView note = noteOf(line.slot, state.rule); !note.isNull()) {
        if (state.vAmount[line.slot] != 0) {
            text += note;
            text += CR;
        }
    } else {
        text += state.svDVLine[line.slot];
    }
    text += CR;
}

}  // namespace

QString annotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale) {
    for (int i = slot::FirstNutrient; i <= slot::LastNutrient; ++i) state.vAmount[i] = Val(Z[i]);
    CalcDV(state);
    // Calories that were not measured have no percent either.
    if (Z[kCalories].isEmpty()) state.svDVLine[kCalories].clear();
    svPortionDescrip = portionHeader(Z, locale);

    QString text;
    text.reserve(svPortionDescrip.size() + 2048);
    if (state.rule == DailyValueRule::Fda2016) {
        text += kRule2016;
        text += CR;
    }
    text += svPortionDescrip;
    text += u" Total weight: ";
    text += Z[slot::TotalWeight];
    text += u" grams";
    text += CR;
    text += u" Item:  ";
    text += Z[slot::Description];
    text += CR;
    text += u"    ";
    text += CR;
    // One block per nutrient line of the ordinary report, in its order.
    for (const ReportLine& line : kReportLines)
        if (isNutrientLine(line)) appendBlock(text, line, Z, state);
    text += kClosingFirst;
    text += CR;
    text += kClosingSecond;
    return text;
}

}  // namespace velmora
