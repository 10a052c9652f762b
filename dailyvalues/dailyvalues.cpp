// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvalues/dailyvalues.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "report/reportlines.h"

#include <QStringView>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

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

using enum ReferenceUnit;
constexpr double kSaltPerSodium = 2.5;

// The FDA's values of 2016 for adults and children from 4 years, 21 CFR 101.9(c)(8)(iv) and
// (c)(9) as revised by the final rule of 27 May 2016 (81 FR 33742), with the 2000 calories they
// are for.
constexpr ReferenceValue kFda2016[] = {
    {u"Calories", 2000, Kcal, slot::of("ENERG_KCAL")},
    {u"Total fat", 78, G, slot::of("TOT_LIPID")},
    {u"Saturated fat", 20, G, slot::of("FA_SAT")},
    {u"Cholesterol", 300, Mg, slot::of("CHOLESTRL")},
    {u"Total carbohydrate", 275, G, slot::of("CARBOHYDRT")},
    {u"Sodium", 2300, Mg, slot::of("SODIUM")},
    {u"Dietary fiber", 28, G, slot::of("FIBER_TD")},
    {u"Protein", 50, G, slot::of("PROTEIN")},
    {u"Added sugars", 50, G},
    {u"Vitamin A", 900, UgRAE, slot::of("VIT_A")},
    {u"Vitamin C", 90, Mg, slot::of("VIT_C")},
    {u"Calcium", 1300, Mg, slot::of("CALCIUM")},
    {u"Iron", 18, Mg, slot::of("IRON")},
    {u"Vitamin D", 20, Ug},
    {u"Vitamin E", 15, MgAlphaTocopherol, slot::of("VIT_E")},
    {u"Vitamin K", 120, Ug},
    {u"Thiamin", 1.2, Mg, slot::of("THIAMIN")},
    {u"Riboflavin", 1.3, Mg, slot::of("RIBOFLAVIN")},
    {u"Niacin", 16, MgNE, slot::of("NIACIN")},
    {u"Vitamin B6", 1.7, Mg, slot::of("VIT_B6")},
    {u"Folate", 400, UgDFE, slot::of("FOLATE")},
    {u"Vitamin B12", 2.4, Ug, slot::of("VIT_B12")},
    {u"Biotin", 30, Ug},
    {u"Pantothenic acid", 5, Mg, slot::of("PANTO_ACID")},
    {u"Phosphorus", 1250, Mg, slot::of("PHOSPHORUS")},
    {u"Iodine", 150, Ug},
    {u"Magnesium", 420, Mg, slot::of("MAGNESIUM")},
    {u"Zinc", 11, Mg, slot::of("ZINC")},
    {u"Selenium", 55, Ug, slot::of("SELENIUM")},
    {u"Copper", 0.9, Mg, slot::of("COPPER")},
    {u"Manganese", 2.3, Mg, slot::of("MANGANESE")},
    {u"Chromium", 35, Ug},
    {u"Molybdenum", 45, Ug},
    {u"Chloride", 2300, Mg},
    {u"Potassium", 4700, Mg, slot::of("POTASSIUM")},
    {u"Choline", 550, Mg},
};

// Regulation (EU) No 1169/2011, Annex XIII (OJ L 304, 22.11.2011, p. 61): Part B, the reference
// intakes of an average adult for energy and the macronutrients, then Part A, point 1, the
// nutrient reference values for vitamins and minerals. The regulation gives salt, not sodium; its
// salt is sodium x 2.5 (Annex I, point 11).
constexpr ReferenceValue kEu[] = {
    {u"Energy", 2000, Kcal, slot::of("ENERG_KCAL")},
    {u"Total fat", 70, G, slot::of("TOT_LIPID")},
    {u"Saturates", 20, G, slot::of("FA_SAT")},
    {u"Carbohydrate", 260, G, slot::of("CARBOHYDRT")},
    {u"Sugars", 90, G},
    {u"Protein", 50, G, slot::of("PROTEIN")},
    {u"Salt", 6, G, slot::of("SODIUM"), kSaltPerSodium},
    {u"Vitamin A", 800, Ug, slot::of("VIT_A")},
    {u"Vitamin D", 5, Ug},
    {u"Vitamin E", 12, Mg, slot::of("VIT_E")},
    {u"Vitamin K", 75, Ug},
    {u"Vitamin C", 80, Mg, slot::of("VIT_C")},
    {u"Thiamin", 1.1, Mg, slot::of("THIAMIN")},
    {u"Riboflavin", 1.4, Mg, slot::of("RIBOFLAVIN")},
    {u"Niacin", 16, Mg, slot::of("NIACIN")},
    {u"Vitamin B6", 1.4, Mg, slot::of("VIT_B6")},
    {u"Folic acid", 200, Ug, slot::of("FOLATE")},
    {u"Vitamin B12", 2.5, Ug, slot::of("VIT_B12")},
    {u"Biotin", 50, Ug},
    {u"Pantothenic acid", 6, Mg, slot::of("PANTO_ACID")},
    {u"Potassium", 2000, Mg, slot::of("POTASSIUM")},
    {u"Chloride", 800, Mg},
    {u"Calcium", 800, Mg, slot::of("CALCIUM")},
    {u"Phosphorus", 700, Mg, slot::of("PHOSPHORUS")},
    {u"Magnesium", 375, Mg, slot::of("MAGNESIUM")},
    {u"Iron", 14, Mg, slot::of("IRON")},
    {u"Zinc", 10, Mg, slot::of("ZINC")},
    {u"Copper", 1, Mg, slot::of("COPPER")},
    {u"Manganese", 2, Mg, slot::of("MANGANESE")},
    {u"Fluoride", 3.5, Mg},
    {u"Selenium", 55, Ug, slot::of("SELENIUM")},
    {u"Chromium", 40, Ug},
    {u"Molybdenum", 50, Ug},
    {u"Iodine", 150, Ug},
};

// Health Canada's Table of Daily Values, which the Food and Drug Regulations incorporate by
// reference since their amendment of 2016 (SOR/2016-305), as revised on 20 October 2022 (the
// revision lowered potassium from 4700 mg): Part 1, macronutrients and sodium, and Part 2,
// vitamins and minerals, each for persons 4 years of age and older. There is no Daily Value for
// energy, protein, carbohydrate or cholesterol; that for saturated fat is for saturated and trans
// fat together.
constexpr ReferenceValue kCanada[] = {
    {u"Fat", 75, G, slot::of("TOT_LIPID")},
    {u"Saturated fatty acids and trans fatty acids", 20, G, slot::of("FA_SAT")},
    {u"Fibre", 28, G, slot::of("FIBER_TD")},
    {u"Sugars", 100, G},
    {u"Sodium", 2300, Mg, slot::of("SODIUM")},
    {u"Vitamin A", 900, UgRAE, slot::of("VIT_A")},
    {u"Vitamin D", 20, Ug},
    {u"Vitamin E", 15, Mg, slot::of("VIT_E")},
    {u"Vitamin K", 120, Ug},
    {u"Vitamin C", 90, Mg, slot::of("VIT_C")},
    {u"Thiamine", 1.2, Mg, slot::of("THIAMIN")},
    {u"Riboflavin", 1.3, Mg, slot::of("RIBOFLAVIN")},
    {u"Niacin", 16, MgNE, slot::of("NIACIN")},
    {u"Vitamin B6", 1.7, Mg, slot::of("VIT_B6")},
    {u"Folate", 400, UgDFE, slot::of("FOLATE")},
    {u"Vitamin B12", 2.4, Ug, slot::of("VIT_B12")},
    {u"Biotin", 30, Ug},
    {u"Pantothenic acid", 5, Mg, slot::of("PANTO_ACID")},
    {u"Calcium", 1300, Mg, slot::of("CALCIUM")},
    {u"Phosphorus", 1250, Mg, slot::of("PHOSPHORUS")},
    {u"Magnesium", 420, Mg, slot::of("MAGNESIUM")},
    {u"Iron", 18, Mg, slot::of("IRON")},
    {u"Zinc", 11, Mg, slot::of("ZINC")},
    {u"Iodide", 150, Ug},
    {u"Selenium", 55, Ug, slot::of("SELENIUM")},
    {u"Copper", 0.9, Mg, slot::of("COPPER")},
    {u"Manganese", 2.3, Mg, slot::of("MANGANESE")},
    {u"Chromium", 35, Ug},
    {u"Molybdenum", 45, Ug},
    {u"Chloride", 2300, Mg},
    {u"Potassium", 3400, Mg, slot::of("POTASSIUM")},
};

// The Australia New Zealand Food Standards Code: the reference values for percentage daily
// intake of Standard 1.2.8 (section 1.2.8-8, an average adult diet of 8700 kJ), then the RDIs
// for adults of Schedule 1 (sections S1-2 and S1-3). The ESADDIs of Schedule 1 are no RDIs and
// are left out.
constexpr ReferenceValue kAnz[] = {
    {u"Energy", 8700, KJ, slot::of("ENERG_KCAL")},
    {u"Protein", 50, G, slot::of("PROTEIN")},
    {u"Fat", 70, G, slot::of("TOT_LIPID")},
    {u"Saturated fatty acids", 24, G, slot::of("FA_SAT")},
    {u"Carbohydrate", 310, G, slot::of("CARBOHYDRT")},
    {u"Sodium", 2300, Mg, slot::of("SODIUM")},
    {u"Sugars", 90, G},
    {u"Dietary fibre", 30, G, slot::of("FIBER_TD")},
    {u"Vitamin A", 750, UgRE, slot::of("VIT_A")},
    {u"Thiamin", 1.1, Mg, slot::of("THIAMIN")},
    {u"Riboflavin", 1.7, Mg, slot::of("RIBOFLAVIN")},
    {u"Niacin", 10, Mg, slot::of("NIACIN")},
    {u"Folate", 200, Ug, slot::of("FOLATE")},
    {u"Vitamin B6", 1.6, Mg, slot::of("VIT_B6")},
    {u"Vitamin B12", 2.0, Ug, slot::of("VIT_B12")},
    {u"Vitamin C", 40, Mg, slot::of("VIT_C")},
    {u"Vitamin D", 10, Ug},
    {u"Vitamin E", 10, MgAlphaTE, slot::of("VIT_E")},
    {u"Calcium", 800, Mg, slot::of("CALCIUM")},
    {u"Iodine", 150, Ug},
    {u"Iron", 12, Mg, slot::of("IRON")},
    {u"Magnesium", 320, Mg, slot::of("MAGNESIUM")},
    {u"Phosphorus", 1000, Mg, slot::of("PHOSPHORUS")},
    {u"Selenium", 70, Ug, slot::of("SELENIUM")},
    {u"Zinc", 12, Mg, slot::of("ZINC")},
};

// What a unit measures, and how many of the quantity's base (kcal; micrograms) one is.
enum class Quantity { Energy, Mass, RetinolEquivalents, InternationalUnits };
struct Measure {
    Quantity quantity;
    double base;
};

constexpr Measure measureOf(ReferenceUnit unit) {
    switch (unit) {
        case Kcal:
            return {Quantity::Energy, 1};
        case KJ:
            return {Quantity::Energy, 1 / 4.184};
        case G:
            return {Quantity::Mass, 1e6};
        case Mg:
        case MgAlphaTocopherol:
        case MgAlphaTE:
        case MgNE:
            return {Quantity::Mass, 1e3};
        case Ug:
        case UgDFE:
            return {Quantity::Mass, 1};
        case UgRAE:
        case UgRE:
            break;
    }
    return {Quantity::RetinolEquivalents, 1};
}

// The unit of a report line, as the table's columns name it.
Measure reportMeasure(int slot) {
    const std::string_view unit = kFoodColumns[static_cast<std::size_t>(slot)].unit;
    if (unit == "kcal") return {Quantity::Energy, 1};
    if (unit == "g") return {Quantity::Mass, 1e6};
    if (unit == "mg") return {Quantity::Mass, 1e3};
    if (unit == "micrograms") return {Quantity::Mass, 1};
    return {Quantity::InternationalUnits, 1};
}

// The computed rows of a rule: its values that come to the report's unit, in its order.
std::vector<DailyValueRow> rowsOf(std::span<const ReferenceValue> values) {
    std::vector<DailyValueRow> rows;
    for (const ReferenceValue& v : values)
        if (const std::optional<double> dv = inReportUnit(v)) rows.push_back({v.slot, *dv});
    return rows;
}

}  // namespace

std::span<const ReferenceValue> referenceValues(DailyValueRule rule) {
    switch (rule) {
        case DailyValueRule::Fda1993:
            break;
        case DailyValueRule::Fda2016:
            return kFda2016;
        case DailyValueRule::Eu:
            return kEu;
        case DailyValueRule::Canada:
            return kCanada;
        case DailyValueRule::Anz:
            return kAnz;
    }
    return {};
}

std::optional<double> inReportUnit(const ReferenceValue& value) {
    if (value.slot < slot::Calories || value.slot > slot::LastNutrient) return std::nullopt;
    const Measure from = measureOf(value.unit), to = reportMeasure(value.slot);
    if (from.quantity != to.quantity) return std::nullopt;
    // The same unit divides unchanged: 0.9 mg stays 0.9, not 0.9 * 1000 / 1000.
    const double amount = from.base == to.base ? value.amount : value.amount * from.base / to.base;
    return amount / value.per;
}

std::span<const DailyValueRow> dailyValues(DailyValueRule rule) {
    static const std::vector<DailyValueRow> fda2016 = rowsOf(kFda2016), eu = rowsOf(kEu),
                                            canada = rowsOf(kCanada), anz = rowsOf(kAnz);
    switch (rule) {
        case DailyValueRule::Fda1993:
            break;
        case DailyValueRule::Fda2016:
            return fda2016;
        case DailyValueRule::Eu:
            return eu;
        case DailyValueRule::Canada:
            return canada;
        case DailyValueRule::Anz:
            return anz;
    }
    return kFda1993;
}

bool hasDailyValue(DailyValueRule rule, int slot) {
    return std::ranges::any_of(dailyValues(rule),
                               [slot](const DailyValueRow& r) { return r.index == slot; });
}

QString readDailyValueRule(const QString& value, DailyValueRule& rule) {
    for (const DailyValueRule r : kDailyValueRules) {
        if (value != dailyValueRuleName(r)) continue;
        rule = r;
        return {};
    }
    return QStringLiteral("--daily-values is 1993, 2016, eu, ca or anz, not '%1'")
        .arg(printable(value));
}

QString dailyValueRuleName(DailyValueRule rule) {
    switch (rule) {
        case DailyValueRule::Fda1993:
            break;
        case DailyValueRule::Fda2016:
            return QStringLiteral("2016");
        case DailyValueRule::Eu:
            return QStringLiteral("eu");
        case DailyValueRule::Canada:
            return QStringLiteral("ca");
        case DailyValueRule::Anz:
            return QStringLiteral("anz");
    }
    return QStringLiteral("1993");
}

DailyValueRule tableDailyValueRule(QStringView sourceName) {
    // The names velmora-mkdb gives the national tables it builds. Known ones only: a table of
    // the USDA's, or one the user wrote, may carry a source record too and keeps the default.
    static const struct {
        QStringView name;
        DailyValueRule rule;
    } national[] = {
        {u"Ciqual French food composition table", DailyValueRule::Eu},
        {u"NEVO, Dutch food composition database (RIVM)", DailyValueRule::Eu},
        {u"Bundeslebensmittelschl\u00fcssel (BLS)", DailyValueRule::Eu},
        // The UK kept the EU's reference intakes.
        {u"McCance and Widdowson's The Composition of Foods Integrated Dataset (CoFID)",
         DailyValueRule::Eu},
        {u"Canadian Nutrient File (CNF)", DailyValueRule::Canada},
        {u"Australian Food Composition Database (AFCD)", DailyValueRule::Anz},
    };
    for (const auto& n : national)
        if (sourceName == n.name) return n.rule;
    return DailyValueRule::Fda1993;
}

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
constexpr QStringView kFdaClosingFirst = u"Percent Daily Values are Food and Drug Administration";
constexpr QStringView kFdaClosingSecond =
    u"guidelines and are based on a 2000 calorie diet.  If your calorie needs are higher or lower "
    u"than 2000 calories per day then the daily values for carbohydrates, protein, fat, and fiber "
    u"would be proportionally higher or lower also.  Daily Values for vitamins, minerals, and "
    u"cholesterol would remain the same.";

// What the annotated report says of a rule: its first line (none for 1993), what the notes call
// its values, and its closing note in two lines.
struct RuleTexts {
    QStringView header, values, closingFirst, closingSecond;
};

RuleTexts textsOf(DailyValueRule rule) {
    switch (rule) {
        case DailyValueRule::Fda1993:
            break;
        case DailyValueRule::Fda2016:
            return {u"Percent Daily Values of the 2016 FDA rule", u"2016 Daily Value",
                    kFdaClosingFirst, kFdaClosingSecond};
        case DailyValueRule::Eu:
            return {u"Percent of the reference intakes of Regulation (EU) No 1169/2011",
                    u"EU reference value",
                    u"Percents are of the reference intakes of Regulation (EU) No 1169/2011,",
                    u"Annex XIII, for an average adult (8400 kJ / 2000 kcal).  Sodium's is that "
                    u"of salt, 6 g, divided by 2.5.  Those for vitamins and minerals are the "
                    u"same whatever the energy needs."};
        case DailyValueRule::Canada:
            return {u"Percent Daily Values of Canada's Table of Daily Values",
                    u"Canadian Daily Value",
                    u"Percent Daily Values are those of Health Canada's Table of Daily Values",
                    u"for persons 4 years of age and older.  Canada sets no Daily Value for "
                    u"energy, protein, carbohydrate or cholesterol; that for saturated fat is "
                    u"for saturated and trans fat together."};
        case DailyValueRule::Anz:
            return {u"Percent daily intake of the Australia New Zealand Food Standards Code",
                    u"FSANZ reference value",
                    u"Percent daily intakes are of the Australia New Zealand Food Standards Code",
                    u"and are based on an average adult diet of 8700 kJ.  Vitamins and minerals "
                    u"are percents of the Code's recommended dietary intakes (RDIs)."};
    }
    return {{}, {}, kFdaClosingFirst, kFdaClosingSecond};
}

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

// The unit of a report line as a note names it.
QString reportUnitName(int slot) {
    const QString unit = latin1(kFoodColumns[static_cast<std::size_t>(slot)].unit);
    return unit == u"iu" ? QStringLiteral("IU") : unit;
}

// The note that stands where a nutrient without a percent would have its percent line, or
// nothing: the FDA's for the two unsaturated fats, and for a nutrient that the rule has no value
// for in the report's unit, or none at all, that it has none.
QString noteOf(int slot, DailyValueRule rule) {
    const bool fda = rule == DailyValueRule::Fda1993 || rule == DailyValueRule::Fda2016;
    if (fda && slot == kPolyFat) return kPolyNote.toString();
    if (fda && slot == kMonoFat) return kMonoNote.toString();
    if (rule == DailyValueRule::Fda1993 || hasDailyValue(rule, slot)) return {};
    QString note = u"    no "_s;
    note += textsOf(rule).values;
    const auto values = referenceValues(rule);
    if (std::ranges::any_of(values, [slot](const ReferenceValue& v) { return v.slot == slot; }))
        note += u" in "_s + reportUnitName(slot);
    return note;
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
    if (const QString note = noteOf(line.slot, state.rule); !note.isEmpty()) {
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

    const RuleTexts texts = textsOf(state.rule);
    QString text;
    text.reserve(svPortionDescrip.size() + 2048);
    if (!texts.header.isEmpty()) {
        text += texts.header;
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
    text += texts.closingFirst;
    text += CR;
    text += texts.closingSecond;
    return text;
}

}  // namespace velmora
