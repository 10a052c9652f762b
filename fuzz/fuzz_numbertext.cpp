// numberText, roundedText, roundHalfAway and FormatNumber for any finite double: plain decimal
// text without exponent, and the value a reference rounding of the 15-digit decimal form gives.
// FormatNumber is checked in locales with other separators and minus signs: with the locale's
// characters mapped back, its text is the reference with exactly n decimals. The digit and decimal
// counts take any int; out of range they act as the nearest count in range.
#include "common/vbtext.h"
#include "fuzzcheck.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Plain {
    bool negative = false;
    std::string integer;  // no leading zeros but a lone "0"
    std::string fraction;
};

// |x| written with 15 significant digits by printf, rounded at n decimals with halves away from
// zero by digit-string arithmetic: a different road from the one the library takes.
Plain referenceRounding(double x, int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, 14);
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    const int point = exponent + 1;  // digits before the decimal point
    Plain p;
    if (point <= 0) {
        p.integer = "0";
        p.fraction = std::string(std::size_t(-point), '0') + digits;
    } else if (point >= 15) {
        p.integer = digits + std::string(std::size_t(point - 15), '0');
    } else {
        p.integer = digits.substr(0, std::size_t(point));
        p.fraction = digits.substr(std::size_t(point));
    }
    if (int(p.fraction.size()) > n) {
        const bool up = p.fraction[std::size_t(n)] >= '5';
        p.fraction.resize(std::size_t(n));
        if (up) {
            std::string all = p.integer + p.fraction;
            int i = int(all.size()) - 1;
            while (i >= 0 && all[std::size_t(i)] == '9') all[std::size_t(i--)] = '0';
            if (i < 0)
                all.insert(all.begin(), '1');
            else
                ++all[std::size_t(i)];
            p.integer = all.substr(0, all.size() - std::size_t(n));
            p.fraction = all.substr(all.size() - std::size_t(n));
        }
    } else {
        p.fraction.append(std::size_t(n) - p.fraction.size(), '0');
    }
    const auto nz = p.integer.find_first_not_of('0');
    p.integer = nz == std::string::npos ? "0" : p.integer.substr(nz);
    const bool zero = p.integer == "0" && p.fraction.find_first_not_of('0') == std::string::npos;
    p.negative = x < 0 && !zero;
    return p;
}

std::string text(const Plain& p, bool trimZeros) {
    std::string fraction = p.fraction;
    if (trimZeros) {
        while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    }
    std::string out = p.negative ? "-" : "";
    out += p.integer;
    if (!fraction.empty()) out += "." + fraction;
    return out;
}

bool isPlainDecimal(const QString& s) {
    qsizetype i = s.startsWith(u'-') ? 1 : 0;
    const qsizetype firstDigit = i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') ++i;
    if (i == firstDigit) return false;
    if (i - firstDigit > 1 && s[firstDigit] == u'0') return false;  // no leading zeros
    if (i == s.size()) return true;
    if (s[i] != u'.') return false;
    const qsizetype fractionStart = ++i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') ++i;
    return i == s.size() && i > fractionStart && s.back() != u'0';
}

const std::array<QLocale, 7>& locales() {
    static const std::array<QLocale, 7> all = {
        QLocale::c(),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France),       // narrow no-break space groups
        QLocale(QLocale::German, QLocale::Switzerland),  // apostrophe groups
        QLocale(QLocale::Swedish, QLocale::Sweden),      // U+2212 minus sign
        QLocale(QLocale::Spanish, QLocale::Spain),
    };
    return all;
}

// FormatNumber's text in plain form: locale minus to "-", decimal point to ".", groups checked
// (three digits each, the first one to three) and removed.
QString unlocalized(const QString& s, const QLocale& locale, int n) {
    QString rest = s;
    QString out;
    if (rest.startsWith(locale.negativeSign())) {
        out += u'-';
        rest.remove(0, locale.negativeSign().size());
    }
    const QString point = locale.decimalPoint();
    const qsizetype at = n > 0 ? rest.lastIndexOf(point) : -1;
    QString integer = at >= 0 ? rest.left(at) : rest;
    const QString fraction = at >= 0 ? rest.mid(at + point.size()) : QString();
    const bool grouping = !(locale.numberOptions() & QLocale::OmitGroupSeparator);
    if (grouping && !locale.groupSeparator().isEmpty()) {
        const QStringList groups = integer.split(locale.groupSeparator());
        for (qsizetype g = 0; g < groups.size(); ++g) {
            const qsizetype len = groups[g].size();
            FUZZ_REQUIRE(g == 0 ? (len >= 1 && len <= 3) : len == 3, "bad digit group in \"%s\"",
                         qUtf8Printable(s));
        }
        integer = groups.join(QString());
    }
    out += integer;
    if (at >= 0) out += u'.' + fraction;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // x, the decimals and the significant digits as they lie in memory, then a locale byte.
    double x;
    std::int32_t n, significant;
    if (size < sizeof x + sizeof n + sizeof significant + 1) return 0;
    std::memcpy(&x, data, sizeof x);
    std::memcpy(&n, data + 8, sizeof n);
    std::memcpy(&significant, data + 12, sizeof significant);
    const QLocale& locale = locales()[data[16] % locales().size()];
    const int decimals = std::clamp(n, 0, velmora::kMaxDecimals);
    const int digits = std::clamp(significant, 1, velmora::kMaxSignificantDigits);

    if (!std::isfinite(x)) {
        // Not a number the program can meet, but the text functions still answer.
        FUZZ_REQUIRE(!velmora::numberText(x).isEmpty() && !velmora::FormatNumber(x, n).isEmpty(),
                     "empty text for a non-finite value");
        return 0;
    }

    const QString number = velmora::numberText(x, significant);
    char sci[64];
    std::snprintf(sci, sizeof sci, "%.*e", digits - 1, x);
    FUZZ_REQUIRE(isPlainDecimal(number), "numberText(%.17g, %d) = \"%s\" is not plain decimal", x,
                 significant, qUtf8Printable(number));
    FUZZ_REQUIRE(velmora::Val(number) == std::strtod(sci, nullptr),
                 "numberText(%.17g, %d) = \"%s\" does not read back as %s", x, significant,
                 qUtf8Printable(number), sci);
    QString withComma = number;
    withComma.replace(u'.', u',');
    FUZZ_REQUIRE(velmora::numberText(x, significant, u',') == withComma,
                 "numberText(%.17g) with a decimal comma differs", x);

    const Plain expected = referenceRounding(x, decimals);
    const std::string rounded = text(expected, true);
    const QString roundedText = velmora::roundedText(x, n);
    FUZZ_REQUIRE(roundedText == QLatin1String(rounded.c_str()),
                 "roundedText(%.17g, %d) = \"%s\", expected \"%s\"", x, n,
                 qUtf8Printable(roundedText), rounded.c_str());
    FUZZ_REQUIRE(velmora::roundHalfAway(x, n) == std::strtod(rounded.c_str(), nullptr),
                 "roundHalfAway(%.17g, %d) = %.17g, expected %s", x, n,
                 velmora::roundHalfAway(x, n), rounded.c_str());

    const QString formatted = velmora::FormatNumber(x, n, locale);
    const std::string fixed = text(expected, false);
    FUZZ_REQUIRE(unlocalized(formatted, locale, decimals) == QLatin1String(fixed.c_str()),
                 "FormatNumber(%.17g, %d, %s) = \"%s\", expected \"%s\"", x, n,
                 qUtf8Printable(locale.name()), qUtf8Printable(formatted), fixed.c_str());
    FUZZ_REQUIRE(!formatted.contains(u'e') && !formatted.contains(u'E'),
                 "FormatNumber(%.17g, %d) = \"%s\" has an exponent", x, n,
                 qUtf8Printable(formatted));
    return 0;
}
