#include "dailyvalues.h"

#include "vbtext.h"

#include <QStringView>

namespace velmora {

// FDA Daily Values for a 2000-calorie diet, each in the unit of its report line (no conversion).
const std::array<DailyValueRow, 27> DailyValueTable = {{
    {2, 2000}, {3, 50},    {4, 65},    {5, 300},  {6, 25},   {8, 1000}, {9, 1000},
    {10, 18},  {11, 2400}, {12, 3500}, {13, 400}, {14, 15},  {15, 2},   {16, 2},
    {17, 70},  {18, 5000}, {19, 30},   {20, 1.5}, {21, 1.7}, {22, 20},  {23, 10},
    {24, 2},   {25, 400},  {26, 6},    {27, 60},  {28, 20},  {31, 300},
}};

namespace {

constexpr int kCalories = 2;
constexpr int kMonoFat = 29;
constexpr int kPolyFat = 30;

// One nutrient block of the annotated report: label line, percent line or fat note, empty line.
struct Block {
    QStringView label;
    int slot;
};

// Three labels differ from the ordinary report (two blanks after fat and protein, no "in" for
// pantothenic acid); the annotated report has always looked like this.
constexpr Block kBlocks[] = {
    {u" Calories:  ", kCalories},
    {u" Total Fat in grams:  ", 4},
    {u"    Saturated Fat in grams:  ", 28},
    {u"    Polyunsaturated Fat in grams:  ", kPolyFat},
    {u"    Monounsaturated Fat in grams:  ", kMonoFat},
    {u" Cholesterol in mg:  ", 31},
    {u" Carbohydrate in grams:  ", 5},
    {u" Fiber in grams:  ", 6},
    {u" Protein in grams:  ", 3},
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
    {u" Pantothenic acid mg:  ", 23},
    {u" Vitamin B6 in mg:  ", 24},
    {u" Folic Acid in micrograms:  ", 25},
    {u" Vitamin B12 in micrograms:  ", 26},
    {u" Vitamin C in mg:  ", 27},
    {u" Vitamin E in mg:  ", 19},
};

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
    for (const DailyValueRow& row : DailyValueTable) {
        const double amount = state.vAmount[row.index];
        // Multiplying first keeps the raw percent identical to what users have always been shown.
        const double raw = amount * 100 / row.dv;
        const double rounded = RoundHalfAway(raw, 1);
        state.vPercentDV[row.index] = rounded;
        // The amount decides, not the percent: a trace amount still shows its 0% line.
        if (row.index == kCalories || amount != 0) {
            QString& line = state.svDVLine[row.index];
            line += kPercentLabel;
            line += NumberText(rounded);
            line += u'%';
            line += CR;
        }
    }
}

QString AnnotatedReport(const ValueArray& Z, DailyValueState& state, QString& svPortionDescrip,
                        const QLocale& locale) {
    for (int i = 1; i <= 31; ++i) state.vAmount[i] = Val(Z[i]);
    CalcDV(state);
    svPortionDescrip = PortionHeader(Z, locale);

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

    for (const Block& block : kBlocks) {
        text += block.label;
        // Calories show the number read from the text, so an empty value still reads 0.
        if (block.slot == kCalories)
            text += NumberText(state.vAmount[kCalories]);
        else
            text += Z[block.slot];
        text += CR;
        if (block.slot == kPolyFat || block.slot == kMonoFat) {
            // No Daily Value exists for these two; a fixed note replaces the percent line.
            if (state.vAmount[block.slot] != 0) {
                text += block.slot == kPolyFat ? kPolyNote : kMonoNote;
                text += CR;
            }
        } else {
            text += state.svDVLine[block.slot];
        }
        text += CR;
    }

    text += kClosingFirst;
    text += CR;
    text += kClosingSecond;
    return text;
}

}  // namespace velmora
