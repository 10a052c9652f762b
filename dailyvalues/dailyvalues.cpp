// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvalues/dailyvalues.h"

#include "common/numbertext.h"
#include "report/reportlines.h"

#include <QStringView>

namespace velmora {

// FDA Daily Values for a 2000-calorie diet, each in the unit of its report line (no conversion).
const std::array<DailyValueRow, 27> kDailyValues = {{
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

namespace {

constexpr int kCalories = slot::Calories;
constexpr int kMonoFat = slot::of("FA_MONO");
constexpr int kPolyFat = slot::of("FA_POLY");

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
constexpr QStringView kClosingFirst = u"Percent Daily Values are Food and Drug Administration";
constexpr QStringView kClosingSecond =
    u"guidelines and are based on a 2000 calorie diet.  If your calorie needs are higher or lower "
    u"than 2000 calories per day then the daily values for carbohydrates, protein, fat, and fiber "
    u"would be proportionally higher or lower also.  Daily Values for vitamins, minerals, and "
    u"cholesterol would remain the same.";

}  // namespace

void CalcDV(DailyValueState& state) {
    for (int i = slot::Calories; i <= slot::LastNutrient; ++i) state.svDVLine[i].clear();
    for (const DailyValueRow& row : kDailyValues) {
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

QString annotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale) {
    for (int i = slot::FirstNutrient; i <= slot::LastNutrient; ++i) state.vAmount[i] = Val(Z[i]);
    CalcDV(state);
    svPortionDescrip = portionHeader(Z, locale);

    QString text;
    text.reserve(svPortionDescrip.size() + 2048);
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

    // One block per nutrient line of the ordinary report, in its order: the label line, the
    // percent line or fat note, an empty line.
    for (const ReportLine& line : kReportLines) {
        if (!isNutrientLine(line)) continue;
        text += annotatedLabel(line);
        // Calories show the number read from the text, so an empty value still reads 0.
        if (line.slot == kCalories)
            text += numberText(state.vAmount[kCalories]);
        else
            text += Z[line.slot];
        text += CR;
        if (line.slot == kPolyFat || line.slot == kMonoFat) {
            // No Daily Value exists for these two; a fixed note replaces the percent line.
            if (state.vAmount[line.slot] != 0) {
                text += line.slot == kPolyFat ? kPolyNote : kMonoNote;
                text += CR;
            }
        } else {
            text += state.svDVLine[line.slot];
        }
        text += CR;
    }

    text += kClosingFirst;
    text += CR;
    text += kClosingSecond;
    return text;
}

}  // namespace velmora
