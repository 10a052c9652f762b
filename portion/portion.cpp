// SPDX-License-Identifier: GPL-3.0-or-later
#include "portion/portion.h"

#include "common/numbertext.h"
#include "fooddb/foodcolumns.h"

namespace velmora {

HouseholdMeasures measuresOf(const FieldReader& field) {
    return {HouseholdMeasure{field(field::Measure1Grams), field(field::Measure1Text)},
            HouseholdMeasure{field(field::Measure2Grams), field(field::Measure2Text)}};
}

PortionEntry measurePortion(const HouseholdMeasure& m, double count) {
    return {Val(m.grams) * count, m.text, count};
}

std::optional<double> measureCount(QStringView text, const QLocale& locale) {
    const QString point = locale.decimalPoint();
    if (point != u".") {
        QLocale strict = locale;
        strict.setNumberOptions(QLocale::RejectGroupSeparator);
        bool ok = false;
        const double x = strict.toDouble(text.trimmed(), &ok);
        if (ok) return x;
    }
    // A separator and more digits after the number: Val would read less than was typed.
    const qsizetype end = valLength(text);
    const QStringView rest = text.sliced(end);
    for (const QString& separator : {QStringLiteral("."), QStringLiteral(","), point}) {
        const qsizetype n = separator.size();
        if (end > 0 && rest.startsWith(separator) && rest.size() > n && rest[n] >= u'0' &&
            rest[n] <= u'9')
            return std::nullopt;
    }
    return Val(text);
}

QString portionText(double x, int decimals) {
    return QStringLiteral(" ") + roundedText(x, decimals);
}

namespace {

// An empty field is a nutrient that was not measured: it must stay empty, never become " 0".
QString scaledField(const FieldReader& field, int i, double factor) {
    const QString text = field(i);
    return text.isEmpty() ? QString() : portionText(Val(text) * factor, portionDecimals(i));
}

}  // namespace

void restatePortion(const FieldReader& field, const PortionState& portion, ValueArray& S,
                    ValueArray& Z, double& vPortionFactor, const QLocale& locale) {
    vPortionFactor = static_cast<double>(portion.vPortionGrams) / 100;
    // Water, which no report shows, keeps the 100-gram text of the list click.
    for (int i = slot::Calories; i <= slot::LastNutrient; ++i)
        S[i] = scaledField(field, i, vPortionFactor);
    for (int i = slot::Calories; i <= slot::LastNutrient; ++i) Z[i] = S[i];

    Z[slot::TotalWeight] = FormatNumber(vPortionFactor * 100, 2, locale);
    const QString point = locale.decimalPoint();
    Z[slot::Quantity] =
        numberText(portion.vPortionQuantity, 7, point.isEmpty() ? QChar(u'.') : point.front());
    Z[slot::Unit] = portion.svPortionUnit;
}

}  // namespace velmora
