// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvalues/dailyvalues.h"

#include "common/vbtext.h"
#include "report/reportlines.h"

#include <QStringView>

namespace velmora {

// FDA Daily Values for a 2000-calorie diet, each in the unit of its report line (no conversion).
const std::array<DailyValueRow, 27> kDailyValues = {{
    {2, 2000}, {3, 50},    {4, 65},    {5, 300},  {6, 25},   {8, 1000}, {9, 1000},
    {10, 18},  {11, 2400}, {12, 3500}, {13, 400}, {14, 15},  {15, 2},   {16, 2},
    {17, 70},  {18, 5000}, {19, 30},   {20, 1.5}, {21, 1.7}, {22, 20},  {23, 10},
    {24, 2},   {25, 400},  {26, 6},    {27, 60},  {28, 20},  {31, 300},
}};

namespace {

constexpr int kCalories = 2;
constexpr int kMonoFat = 29;
constexpr int kPolyFat = 30;

// Three labels of the annotated report differ from the ordinary report's (two blanks after fat
// and protein, no "in" for pantothenic acid); the annotated report has always looked like this.
QStringView annotatedLabel(const ReportLine& line) {
    switch (line.slot) {
        case 4:
            return u" Total Fat in grams:  ";
        case 3:
            return u" Protein in grams:  ";
        case 23:
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
    for (int i = 2; i <= 31; ++i) state.svDVLine[i].clear();
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
    for (int i = 1; i <= 31; ++i) state.vAmount[i] = Val(Z[i]);
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
