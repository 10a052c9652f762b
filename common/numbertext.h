// SPDX-License-Identifier: GPL-3.0-or-later
// Number <-> text conversions with the exact rules the reports depend on.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The numeric value at the start of a text: leading blanks skipped, optional sign, digits with
// "." as the decimal point whatever the locale, optional exponent. Anything else ends the number;
// a text without a number gives 0. Never fails: a value beyond double range gives +-infinity.
double Val(QStringView text);

// How many characters of `text` Val reads as its number (blanks before it included); 0 when the
// text does not start with a number.
qsizetype valLength(QStringView text);

// A double has no more significant digits than this that tell it from its neighbours.
constexpr int kMaxSignificantDigits = 17;
// The last decimal place of the 15-significant-digit form of the smallest double,
// 4.94065645841247e-324: more decimals add nothing but zeros.
constexpr int kMaxDecimals = 338;

// Shortest plain decimal form with up to `significantDigits` significant digits (15 by default):
// no exponent, no grouping, no trailing zeros, no decimal point for whole numbers (5, 18.8, 2000).
// `decimalPoint` replaces "." when given. `significantDigits` is clamped to
// 1..kMaxSignificantDigits.
QString numberText(double x, int significantDigits = 15, QChar decimalPoint = u'.');

// x rounded to n decimals, halves away from zero on its 15-significant-digit decimal form,
// written plainly ("." and no grouping) with trailing zeros of the fraction removed. n is clamped
// to 0..kMaxDecimals, here and in roundHalfAway and FormatNumber.
QString roundedText(double x, int n);

// x rounded as roundedText, read back as a double.
double roundHalfAway(double x, int n);

// x with exactly n decimals, a leading zero, and the locale's grouping, decimal point and minus
// sign; halves away from zero on x's 15-significant-digit decimal form.
QString FormatNumber(double x, int n, const QLocale& locale = QLocale());

// The shortest plain decimal text that reads back as the same double: 23, 0.078, 1234.5, never
// 23.0 or 7.8e-2; 0 for either zero. How a stored number shows as text.
std::string roundTripDecimal(double x);

// A finite decimal number and nothing else: optional "-", digits with an optional "." part,
// optional exponent ("-0.43", "1.5e3"). Nothing for any other text: no blanks, no "+", no
// thousands separators, no inf or nan ("1,5", "n/a", ""), nor a number beyond double range
// ("1e309"). One too close to zero for a double ("1e-400", in any notation) is 0, as Val reads it.
std::optional<double> plainNumber(std::string_view text);
// Whether `text` has the form plainNumber takes, whatever its size.
bool isPlainNumberText(std::string_view text);

// Whether a quantity text written by numberText in `locale` (or in plain "." form) is zero.
// Val alone would read "0,25" as 0 in a decimal-comma locale.
bool quantityIsZero(QStringView text, const QLocale& locale = QLocale());

// A count and its noun, as counts lines give them: "1 food", "2 foods".
inline QString counted(qsizetype count, QStringView noun) {
    return QStringLiteral("%1 %2%3").arg(count).arg(noun).arg(count == 1 ? QLatin1StringView()
                                                                         : QLatin1StringView("s"));
}

}  // namespace velmora
