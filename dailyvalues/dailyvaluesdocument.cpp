// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvalues/dailyvaluesdocument.h"

#include "common/numbertext.h"

#include <QStringList>

namespace velmora {

namespace {

// The stored document's header: Arial 10 pt, Times New Roman only for the closing paragraphs.
constexpr char kHeader[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 "
    "Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}}\r\n"
    "{\\colortbl \\red0\\green0\\blue0;}\r\n"
    "{\\stylesheet{\\nowidctlpar\\f0\\fs20 Normal;}}\r\n"
    "\\pard\\nowidctlpar\\cf0\\f0\\fs20";
constexpr char kRule[] = "-------------------------------------------------------";

// The unit as the list writes it: in words, with its abbreviation in brackets.
const char* unitWords(ReferenceUnit unit) {
    switch (unit) {
        case ReferenceUnit::Kcal:
            return "kilocalories (kcal)";
        case ReferenceUnit::KJ:
            return "kilojoules (kJ)";
        case ReferenceUnit::G:
            return "grams (g)";
        case ReferenceUnit::Mg:
            return "milligrams (mg)";
        case ReferenceUnit::Ug:
            return "micrograms (mcg)";
        case ReferenceUnit::MgAlphaTocopherol:
            return "milligrams alpha-tocopherol (mg)";
        case ReferenceUnit::MgAlphaTE:
            return "milligrams alpha-tocopherol equivalents (mg alpha-TE)";
        case ReferenceUnit::MgNE:
            return "milligrams niacin equivalents (mg NE)";
        case ReferenceUnit::UgDFE:
            return "micrograms dietary folate equivalents (mcg DFE)";
        case ReferenceUnit::UgRAE:
            return "micrograms retinol activity equivalents (mcg RAE)";
        case ReferenceUnit::UgRE:
            return "micrograms retinol equivalents (mcg RE)";
    }
    return "";
}

// What the document says of a rule besides its list.
struct DocumentTexts {
    const char* title;
    const char* introduction;
    const char* heading;
    const char* basis;  // on the energy the values are for; none where the rule has no such basis
    const char* source;
};

DocumentTexts textsOf(DailyValueRule rule) {
    switch (rule) {
        case DailyValueRule::Fda1993:
            break;
        case DailyValueRule::Fda2016:
            return {
                "Daily Values",
                "In 2016 the U.S. Food and Drug Administration (FDA) revised the Daily Values to "
                "what is now known of the amounts people need. The nutrition labels of the foods "
                "sold in stores carry the new values since 2020, and Velmora uses them to "
                "calculate the Percent Daily Values in its reports.",
                "U.S. Food and Drug Administration List of Daily Values (2016)",
                "These Daily Values assume a daily intake of 2000 Calories. If you need more or "
                "fewer Calories than that, the values for carbohydrate, protein, fat and fiber go "
                "up or down in proportion, while those for vitamins, minerals and cholesterol stay "
                "the same. The FDA has set no Daily Value for monounsaturated or polyunsaturated "
                "fat.",
                "These Daily Values were published by the FDA on 27 May 2016 in its final rule on "
                "the Nutrition and Supplement Facts labels (81 FR 33742), for adults and children "
                "from 4 years of age.",
            };
        case DailyValueRule::Eu:
            return {
                "Reference Intakes",
                "In the European Union the reference intakes on food labels are law: Regulation "
                "(EU) No 1169/2011 sets the amounts of energy, nutrients, vitamins and minerals "
                "that every label's percents are of, and the United Kingdom kept them. Velmora "
                "uses them to calculate the percents in its reports.",
                "Regulation (EU) No 1169/2011, Annex XIII: Reference Intakes",
                "These reference intakes are those of an average adult, 8400 kJ (2000 kcal) a "
                "day. If you need more or less energy than that, the values for fat, saturates, "
                "carbohydrate, sugars and protein go up or down in proportion, while those for "
                "vitamins and minerals stay the same. The regulation sets no reference intake "
                "for fibre, cholesterol, or monounsaturated or polyunsaturated fat.",
                "These are the reference intakes of Annex XIII (Part B for energy and the "
                "nutrients, Part A for vitamins and minerals) of Regulation (EU) No 1169/2011 of "
                "the European Parliament and of the Council of 25 October 2011.",
            };
        case DailyValueRule::Canada:
            return {
                "Daily Values",
                "In Canada the % Daily Values of the Nutrition Facts table on food labels are "
                "those of Health Canada's Table of Daily Values, which the Food and Drug "
                "Regulations make law. Velmora uses them to calculate the Percent Daily Values in "
                "its reports.",
                "Health Canada Table of Daily Values (persons 4 years of age and older)",
                nullptr,
                "These are the Daily Values of the Table of Daily Values as revised by Health "
                "Canada on 20 October 2022; the Food and Drug Regulations incorporate the table "
                "by reference since 14 December 2016 (SOR/2016-305). Canada sets no Daily Value "
                "for energy, protein, carbohydrate or cholesterol.",
            };
        case DailyValueRule::Anz:
            return {
                "Percentage Daily Intake",
                "In Australia and New Zealand the percentage daily intakes on nutrition "
                "information panels are of the reference values of the Australia New Zealand "
                "Food Standards Code, and the percentages of vitamins and minerals of its "
                "recommended dietary intakes (RDIs). Velmora uses them to calculate the percents "
                "in its reports.",
                "Australia New Zealand Food Standards Code: Reference Values and RDIs",
                "These reference values are based on an average adult diet of 8700 kJ. If you "
                "need more or less energy than that, the values for protein, fat, carbohydrate, "
                "sugars and dietary fibre go up or down in proportion, while the RDIs for "
                "vitamins and minerals stay the same.",
                "These are the reference values of section 1.2.8-8 of Standard 1.2.8 and the RDIs "
                "for adults of Schedule 1 of the Australia New Zealand Food Standards Code, in "
                "force since 1 March 2016.",
            };
    }
    return {};
}

QByteArray paragraph(const QByteArray& text) {
    return text + "\\par\r\n";
}

}  // namespace

QByteArray dailyValuesDocument(DailyValueRule rule) {
    const auto values = referenceValues(rule);
    if (values.empty()) return {};
    const DocumentTexts t = textsOf(rule);
    QByteArray rtf = kHeader;
    rtf += paragraph(QByteArray("\\b ") + t.title + "\\b0");
    rtf += paragraph({});
    rtf += paragraph(t.introduction);
    rtf += paragraph({}) + paragraph({});
    rtf += paragraph(t.heading);
    rtf += paragraph({});
    rtf += paragraph(kRule);
    QStringList unusable, derived;
    for (const ReferenceValue& v : values) {
        const QString name = v.nutrient.toString();
        rtf += paragraph(name.toLatin1() + "    " + numberText(v.amount).toLatin1() + ' ' +
                         unitWords(v.unit));
        rtf += paragraph(kRule);
        const std::optional<double> inReport = inReportUnit(v);
        if (v.slot >= 0 && !inReport) unusable << name;
        if (inReport && v.per != 1)
            derived << QStringLiteral(
                           "The value for sodium is that for %1 divided by %2 (%1 is "
                           "sodium x %2): %3 milligrams.")
                           .arg(name.toLower(), numberText(v.per), numberText(*inReport));
    }
    rtf += paragraph({});
    if (t.basis) rtf += paragraph(t.basis) + paragraph({}) + paragraph({});
    for (const QString& text : derived) rtf += paragraph(text.toLatin1()) + paragraph({});
    if (!unusable.isEmpty())
        rtf += paragraph(QStringLiteral("Velmora's food tables give %1 in International Units, "
                                        "which no single factor turns into the unit above: the "
                                        "reports show no percent for it.")
                             .arg(unusable.join(QStringLiteral(" and ")))
                             .toLatin1()) +
               paragraph({});
    rtf += paragraph(t.source);
    rtf += "\\f1\\par\r\n\\par\r\n}";
    return rtf;
}

}  // namespace velmora
