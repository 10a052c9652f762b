// Number <-> text conversions with the exact rules the reports depend on.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

namespace velmora {

// The numeric value at the start of a text: leading blanks skipped, optional sign, digits with
// "." as the decimal point whatever the locale, optional exponent. Anything else ends the number;
// a text without a number gives 0. Never fails: a value beyond double range gives +-infinity.
double Val(QStringView text);

// Shortest plain decimal form with up to `significantDigits` significant digits (15 by default):
// no exponent, no grouping, no trailing zeros, no decimal point for whole numbers (5, 18.8, 2000).
// `decimalPoint` replaces "." when given.
QString NumberText(double x, int significantDigits = 15, QChar decimalPoint = u'.');

// x rounded to n decimals, halves away from zero on its 15-significant-digit decimal form,
// written plainly ("." and no grouping) with trailing zeros of the fraction removed.
QString RoundedText(double x, int n);

// x rounded as RoundedText, read back as a double.
double RoundHalfAway(double x, int n);

// x with exactly n decimals, a leading zero, and the locale's grouping, decimal point and minus
// sign; halves away from zero on x's 15-significant-digit decimal form.
QString FormatNumber(double x, int n, const QLocale& locale = QLocale());

// Whether a quantity text written by NumberText in `locale` (or in plain "." form) is zero.
// Val alone would read "0,25" as 0 in a decimal-comma locale.
bool QuantityIsZero(QStringView text, const QLocale& locale = QLocale());

}  // namespace velmora
