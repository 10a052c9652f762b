// Val on any text: never fails, and gives exactly what strtod gives for the longest leading part
// of the text that has the form Val reads (blanks, sign, digits with ".", optional exponent).
#include "common/vbtext.h"
#include "fuzzcheck.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// The number at the start of `text` as ASCII, without the leading blanks; empty when none.
std::string leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() &&
           (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
        ++i;
    std::string out;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) out += char(text[i++].unicode());
    bool digits = false;
    while (i < text.size() && isDigit(text[i])) {
        out += char(text[i++].unicode());
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        out += '.';
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            out += char(text[i++].unicode());
            digits = true;
        }
    }
    if (!digits) return {};
    // An exponent counts only when it has a digit: "5e" and "5e+" read as 5.
    qsizetype j = i;
    if (j < text.size() && (text[j] == u'e' || text[j] == u'E')) {
        std::string exponent = "e";
        ++j;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            exponent += char(text[j++].unicode());
        bool expDigits = false;
        while (j < text.size() && isDigit(text[j])) {
            exponent += char(text[j++].unicode());
            expDigits = true;
        }
        if (expDigits) out += exponent;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const double value = velmora::Val(text);
    const std::string number = leadingNumber(text);
    const double expected = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
    FUZZ_REQUIRE(value == expected, "Val(\"%s\") = %.17g, expected %.17g (from \"%s\")",
                 qUtf8Printable(text.left(200)), value, expected, number.substr(0, 200).c_str());
    return 0;
}
