// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/vbtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace velmora {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// |x| as significant digits and a decimal exponent: |x| = d.ddd... * 10^exp, digits.size() == sig.
struct Decimal {
    std::string digits;
    int exp = 0;
};

// `sig` is 1..kMaxSignificantDigits, which the buffer holds with room to spare.
Decimal toDecimal(double ax, int sig) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, sig - 1);
    std::string s(buf, res.ptr);
    Decimal d;
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.') d.digits.push_back(s[i]);
    d.exp = std::stoi(s.substr(e + 1));
    return d;
}

// round(|x| * 10^n) as a decimal integer string, halves away from zero on 15 significant digits.
std::string scaledRounded(double ax, int n) {
    if (ax == 0) return "0";
    Decimal d = toDecimal(ax, 15);
    const int scale = d.exp - 14 + n;  // value * 10^n = D * 10^scale
    std::string r;
    if (scale >= 0) {
        r = d.digits + std::string(static_cast<std::size_t>(scale), '0');
    } else {
        const int keep = 15 + scale;
        if (keep < 0) return "0";
        r = d.digits.substr(0, static_cast<std::size_t>(keep));
        const char next = d.digits[static_cast<std::size_t>(keep)];
        if (next >= '5') {
            int i = static_cast<int>(r.size()) - 1;
            while (i >= 0 && r[static_cast<std::size_t>(i)] == '9')
                r[static_cast<std::size_t>(i--)] = '0';
            if (i < 0)
                r.insert(r.begin(), '1');
            else
                ++r[static_cast<std::size_t>(i)];
        }
        if (r.empty()) r.push_back('0');
    }
    const auto nz = r.find_first_not_of('0');
    return nz == std::string::npos ? "0" : r.substr(nz);
}

// Splits a rounded, scaled integer into integer digits and n fraction digits.
void splitScaled(const std::string& r, int n, std::string& intPart, std::string& frac) {
    std::string padded = r;
    if (static_cast<int>(padded.size()) < n + 1)
        padded.insert(0, static_cast<std::size_t>(n + 1) - padded.size(), '0');
    intPart = padded.substr(0, padded.size() - static_cast<std::size_t>(n));
    frac = padded.substr(padded.size() - static_cast<std::size_t>(n));
}

QString nonFiniteText(double x) {
    if (std::isnan(x)) return QStringLiteral("NaN");
    return x < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
}

}  // namespace

double Val(QStringView text) {
    qsizetype i = 0;
    const qsizetype len = text.size();
    while (i < len && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
        ++i;
    std::string num;
    bool negative = false;
    if (i < len && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Decimal magnitude of the first significant digit, to tell overflow from underflow.
    long long firstDigitPlace = 0;
    bool seenNonZero = false;
    bool anyDigit = false;
    long long intDigits = 0;
    while (i < len && isAsciiDigit(text[i])) {
        if (text[i] != u'0' && !seenNonZero) seenNonZero = true;
        if (seenNonZero) ++intDigits;
        num.push_back(static_cast<char>(text[i].unicode()));
        anyDigit = true;
        ++i;
    }
    firstDigitPlace = intDigits;
    if (i < len && text[i] == u'.') {
        num.push_back('.');
        ++i;
        long long zerosAfterPoint = 0;
        while (i < len && isAsciiDigit(text[i])) {
            if (!seenNonZero) {
                if (text[i] == u'0')
                    ++zerosAfterPoint;
                else {
                    seenNonZero = true;
                    firstDigitPlace = -zerosAfterPoint;
                }
            }
            num.push_back(static_cast<char>(text[i].unicode()));
            anyDigit = true;
            ++i;
        }
    }
    if (!anyDigit) return 0.0;
    long long exponent = 0;
    if (i < len && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        bool expNegative = false;
        if (j < len && (text[j] == u'+' || text[j] == u'-')) {
            expNegative = text[j] == u'-';
            ++j;
        }
        if (j < len && isAsciiDigit(text[j])) {
            while (j < len && isAsciiDigit(text[j])) {
                if (exponent < 1'000'000) exponent = exponent * 10 + (text[j].unicode() - u'0');
                ++j;
            }
            if (expNegative) exponent = -exponent;
            num += 'e';
            num += std::to_string(exponent);
        }
    }
    if (!seenNonZero) return 0.0;
    double value = 0;
    auto res = std::from_chars(num.data(), num.data() + num.size(), value);
    if (res.ec == std::errc::result_out_of_range)
        value = firstDigitPlace + exponent > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

QString numberText(double x, int significantDigits, QChar decimalPoint) {
    if (!std::isfinite(x)) return nonFiniteText(x);
    if (x == 0) return QStringLiteral("0");
    Decimal d = toDecimal(std::fabs(x), std::clamp(significantDigits, 1, kMaxSignificantDigits));
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    std::string intPart, frac;
    if (d.exp >= 0) {
        const auto intLen = static_cast<std::size_t>(d.exp) + 1;
        if (d.digits.size() <= intLen) {
            intPart = d.digits + std::string(intLen - d.digits.size(), '0');
        } else {
            intPart = d.digits.substr(0, intLen);
            frac = d.digits.substr(intLen);
        }
    } else {
        intPart = "0";
        frac = std::string(static_cast<std::size_t>(-d.exp - 1), '0') + d.digits;
    }
    QString out;
    if (x < 0) out += u'-';
    out += QString::fromLatin1(intPart.data(), static_cast<qsizetype>(intPart.size()));
    if (!frac.empty()) {
        out += decimalPoint;
        out += QString::fromLatin1(frac.data(), static_cast<qsizetype>(frac.size()));
    }
    return out;
}

QString roundedText(double x, int n) {
    if (!std::isfinite(x)) return nonFiniteText(x);
    n = std::clamp(n, 0, kMaxDecimals);
    std::string intPart, frac;
    splitScaled(scaledRounded(std::fabs(x), n), n, intPart, frac);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    QString out;
    if (x < 0 && (intPart != "0" || !frac.empty())) out += u'-';
    out += QString::fromLatin1(intPart.data(), static_cast<qsizetype>(intPart.size()));
    if (!frac.empty())
        out += u'.' + QString::fromLatin1(frac.data(), static_cast<qsizetype>(frac.size()));
    return out;
}

double roundHalfAway(double x, int n) {
    if (!std::isfinite(x)) return x;
    // Val, not from_chars: a value that rounds past the double range reads as infinity, not 0.
    return Val(roundedText(x, n));
}

QString FormatNumber(double x, int n, const QLocale& locale) {
    if (!std::isfinite(x)) return nonFiniteText(x);
    n = std::clamp(n, 0, kMaxDecimals);
    std::string intPart, frac;
    splitScaled(scaledRounded(std::fabs(x), n), n, intPart, frac);
    const bool grouping = !(locale.numberOptions() & QLocale::OmitGroupSeparator);
    const QString group = locale.groupSeparator();
    QString out;
    const bool isZero = intPart.find_first_not_of('0') == std::string::npos &&
                        frac.find_first_not_of('0') == std::string::npos;
    if (x < 0 && !isZero) out += locale.negativeSign();
    for (std::size_t i = 0; i < intPart.size(); ++i) {
        if (grouping && i > 0 && (intPart.size() - i) % 3 == 0) out += group;
        out += QChar(intPart[i]);
    }
    if (n > 0) {
        out += locale.decimalPoint();
        out += QString::fromLatin1(frac.data(), static_cast<qsizetype>(frac.size()));
    }
    return out;
}

std::string roundTripDecimal(double x) {
    if (x == 0) return "0";  // no "-0"
    char buffer[400];        // the fixed form of the largest double has 309 digits
    auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed);
    if (result.ec != std::errc()) result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, result.ptr);
}

bool quantityIsZero(QStringView text, const QLocale& locale) {
    if (Val(text) != 0) return false;
    const QString point = locale.decimalPoint();
    if (point == QStringLiteral(".")) return true;
    QString plain = text.toString();
    plain.replace(point, QStringLiteral("."));
    return Val(plain) == 0;
}

}  // namespace velmora
