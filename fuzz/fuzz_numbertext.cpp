// SPDX-License-Identifier: GPL-3.0-or-later
// numberText, roundedText, roundHalfAway and FormatNumber for any finite double, any int counts
// (out of range: the nearest in range) and a few locales: plain decimals without exponent, and the
// reference rounding. The input: x, n and the significant digits as in memory, a locale byte.
#include "common/numbertext.h"
#include "fuzzcheck.h"

#include <QLocale>
#include <array>
#include <cstring>
#include <regex>

// |x| to 15 digits by printf, rounded at n decimals, halves away from 0, in integer arithmetic.
static std::array<std::string, 3> reference(double x, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));  // d.dddddddddddddde+XX
    const int keep = std::atoi(buf + 17) + 1 + n;           // digits up to the n-th decimal
    std::int64_t m = keep < 0 ? 0 : std::stoll(buf[0] + std::string(buf + 2, 14)), unit = 1;
    for (int i = std::max(keep, 0); i < 15; ++i) unit *= 10;
    m = m / unit + (m % unit * 2 >= unit);
    std::string s = std::to_string(m) + std::string(std::size_t(std::max(0, keep - 15)), '0');
    s.insert(0, std::size_t(std::max(0, n + 1 - int(s.size()))), '0');
    return {x < 0 && m ? "-" : "", s.substr(0, s.size() - n), s.substr(s.size() - n)};
}

void fuzzOne(QByteArrayView input) {
    double x;
    std::int32_t n, digits;
    if (input.size() < 17) return;
    std::memcpy(&x, input.data(), 8);
    std::memcpy(&n, input.data() + 8, 4);
    std::memcpy(&digits, input.data() + 12, 4);
    const int pick = std::uint8_t(input[16]) % 7;  // commas, U+2212, groups of ' and of U+202F
    const QLocale locale(u"C en_US de_DE fr_FR de_CH sv_SE es_ES"_s.section(u' ', pick, pick));
    if (!std::isfinite(x))  // not a number the program meets, but the functions still answer
        return FUZZ_REQUIRE(!numberText(x).isEmpty() && !FormatNumber(x, n).isEmpty());
    const QString number = numberText(x, digits);
    static const std::regex plain("-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?");
    char sci[32];
    std::snprintf(sci, sizeof sci, "%.*e", std::clamp(digits, 1, kMaxSignificantDigits) - 1, x);
    FUZZ_REQUIRE(std::regex_match(number.toStdString(), plain) && Val(number) == std::atof(sci) &&
                 numberText(x, digits, u',') == QString(number).replace('.', ','));
    const auto [sign, integer, fraction] = reference(x, std::clamp(n, 0, kMaxDecimals));
    const std::string trimmed = fraction.substr(0, fraction.find_last_not_of('0') + 1);
    const std::string rounded = sign + integer + (trimmed.empty() ? "" : "." + trimmed);
    FUZZ_REQUIRE(roundedText(x, n).toStdString() == rounded &&
                 roundHalfAway(x, n) == std::strtod(rounded.c_str(), nullptr));
    // The locale's minus sign, digit groups of three (unless it omits them), its decimal point.
    QString expected = QString::fromStdString(integer);
    if (!(locale.numberOptions() & QLocale::OmitGroupSeparator))
        for (qsizetype at = expected.size() - 3; at > 0; at -= 3)
            expected.insert(at, locale.groupSeparator());
    if (!sign.empty()) expected.prepend(locale.negativeSign());
    if (!fraction.empty()) expected += locale.decimalPoint() + QString::fromStdString(fraction);
    FUZZ_REQUIRE(FormatNumber(x, n, locale) == expected);
}
