#include "valuearrays.h"

#include "vbtext.h"

#include <QStringView>

namespace velmora {

ValueArray Z;

namespace {

// One report line: label, then the slot's text (none when slot < 0), then the suffix and CR.
struct ReportLine {
    QStringView label;
    int slot;
    QStringView suffix = {};
};

// The blanks inside the labels are part of the layout users compare against; keep them exact.
constexpr ReportLine kReportLines[] = {
    {u" Total weight: ", slot::TotalWeight, u" grams"},
    {u" Item:  ", slot::Description},
    {u"    ", -1},
    {u" Calories:  ", 2},
    {u"    ", -1},
    {u" Total Fat in grams: ", 4},
    {u"    Saturated Fat in grams:  ", 28},
    {u"    Polyunsaturated Fat in grams:  ", 30},
    {u"    Monounsaturated Fat in grams:  ", 29},
    {u" Cholesterol in mg:  ", 31},
    {u" Carbohydrate in grams:  ", 5},
    {u" Fiber in grams:  ", 6},
    {u" Protein in grams: ", 3},
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
    {u" Pantothenic acid in mg:  ", 23},
    {u" Vitamin B6 in mg:  ", 24},
    {u" Folic Acid in micrograms:  ", 25},
    {u" Vitamin B12 in micrograms:  ", 26},
    {u" Vitamin C in mg:  ", 27},
    {u" Vitamin E in mg:  ", 19},
};

}  // namespace

void FillArray_S(ValueArray& S, const FieldReader& field) {
    for (int i = 0; i <= 31; ++i) S[i] = field(i);
    S[slot::TotalWeight] = QStringLiteral("100");
}

QString PortionHeader(const ValueArray& Z, const QLocale& locale) {
    // The quantity was written in the user's locale, so "0,25" must not count as zero there.
    if (QuantityIsZero(Z[slot::Quantity], locale)) return {};
    return QStringLiteral(" Quantity: ") + Z[slot::Quantity] + CR + QStringLiteral(" Unit: ") +
           Z[slot::Unit] + CR;
}

QString ReportText(const ValueArray& Z, QString& svPortionDescrip, const QLocale& locale) {
    svPortionDescrip = PortionHeader(Z, locale);

    // Runs on every list click: size the text once instead of growing it line by line.
    qsizetype size = svPortionDescrip.size();
    for (const ReportLine& line : kReportLines) {
        size += line.label.size() + line.suffix.size() + CR.size();
        if (line.slot >= 0) size += Z[line.slot].size();
    }

    QString text;
    text.reserve(size);
    text += svPortionDescrip;
    for (const ReportLine& line : kReportLines) {
        text += line.label;
        if (line.slot >= 0) text += Z[line.slot];
        text += line.suffix;
        text += CR;
    }
    return text;
}

}  // namespace velmora
