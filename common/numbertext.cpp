// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/numbertext.h"

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

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The number at the start of a text, as Val reads it.
struct NumberPrefix {
    std::string digits;  // mantissa and exponent in C form, without the sign
    qsizetype end = 0;   // where the number ends in the text (0: there is none)
    bool negative = false;
    bool nonZero = false;           // a digit other than 0 was seen
    long long firstDigitPlace = 0;  // decimal magnitude of the first significant digit
    long long exponent = 0;
};

// Digits from i on into `p`; how many.
qsizetype takeDigits(QStringView text, qsizetype& i, NumberPrefix& p, long long* zerosBefore) {
    const qsizetype start = i;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i) {
        if (text[i] != u'0' && !p.nonZero) {
            p.nonZero = true;
            if (zerosBefore) p.firstDigitPlace = -*zerosBefore;
        }
        if (zerosBefore && !p.nonZero) ++*zerosBefore;
        if (!zerosBefore && p.nonZero) ++p.firstDigitPlace;
        p.digits.push_back(static_cast<char>(text[i].unicode()));
    }
    return i - start;
}

// An exponent at i ("e", an optional sign, digits), if there is one.
void takeExponent(QStringView text, qsizetype& i, NumberPrefix& p) {
    if (i >= text.size() || (text[i] != u'e' && text[i] != u'E')) return;
    qsizetype j = i + 1;
    const bool negative = j < text.size() && text[j] == u'-';
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
    if (j >= text.size() || !isAsciiDigit(text[j])) return;
    for (; j < text.size() && isAsciiDigit(text[j]); ++j)
        if (p.exponent < 1'000'000) p.exponent = p.exponent * 10 + (text[j].unicode() - u'0');
    if (negative) p.exponent = -p.exponent;
    p.digits += 'e' + std::to_string(p.exponent);
    i = j;
}

NumberPrefix numberPrefix(QStringView text) {
    NumberPrefix p;
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) p.negative = text[i++] == u'-';
    qsizetype digits = takeDigits(text, i, p, nullptr);
    if (i < text.size() && text[i] == u'.') {
        p.digits.push_back('.');
        ++i;
        long long zerosAfterPoint = 0;
        digits += takeDigits(text, i, p, &zerosAfterPoint);
    }
    if (digits == 0) return {};
    takeExponent(text, i, p);
    p.end = i;
    return p;
}

}  // namespace

double Val(QStringView text) {
    const NumberPrefix p = numberPrefix(text);
    if (!p.nonZero) return 0.0;
    double value = 0;
    const auto res = std::from_chars(p.digits.data(), p.digits.data() + p.digits.size(), value);
    if (res.ec == std::errc::result_out_of_range)
        value = p.firstDigitPlace + p.exponent > 0 ? HUGE_VAL : 0.0;
    return p.negative ? -value : value;
}

qsizetype valLength(QStringView text) {
    return numberPrefix(text).end;
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

namespace {

// Whether the plain number `text` is below 1 in size: then a result out of range is one too close
// to zero for a double, which rounds to 0 as Val and the nearest double have it, not a fault.
bool closerToZeroThanOne(std::string_view text) {
    const std::size_t exponentAt = std::min(text.find_first_of("eE"), text.size());
    const std::string_view mantissa = text.substr(0, exponentAt);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t firstDigit = mantissa.find_first_of("123456789");
    if (firstDigit == std::string_view::npos) return true;
    // The power of ten of the first significant digit, kept in range for any exponent text.
    long long power = firstDigit < point ? static_cast<long long>(point - firstDigit) - 1
                                         : -static_cast<long long>(firstDigit - point);
    std::string_view exponent = text.substr(std::min(exponentAt + 1, text.size()));
    const bool negative = exponent.starts_with('-');
    if (negative || exponent.starts_with('+')) exponent.remove_prefix(1);
    long long e = 0;
    for (const char c : exponent) e = std::min(e * 10 + (c - '0'), 1'000'000'000LL);
    power += negative ? -e : e;
    return power < 0;
}

}  // namespace

bool isPlainNumberText(std::string_view text) {
    const auto digits = [&](std::size_t& i) {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    std::size_t i = !text.empty() && text.front() == '-' ? 1 : 0;
    std::size_t mantissa = digits(i);
    if (i < text.size() && text[i] == '.') mantissa += digits(++i);
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits(i) == 0) return false;
    }
    return i == text.size();
}

std::optional<double> plainNumber(std::string_view text) {
    if (!isPlainNumberText(text)) return std::nullopt;
    // from_chars alone would also take "inf", "nan" and hexadecimal forms.
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range && closerToZeroThanOne(text)) return 0.0;
    if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
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
