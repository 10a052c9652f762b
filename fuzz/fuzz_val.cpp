// SPDX-License-Identifier: GPL-3.0-or-later
// Val on any text: never fails, and reads what strtod reads after the blanks Val skips, as long
// as that is a number in the form Val reads: a sign, digits with ".", an optional exponent.
#include "common/numbertext.h"
#include "fuzzcheck.h"

void fuzzOne(QByteArrayView input) {
    const QString text = QString::fromUtf8(input);
    std::string s = text.toStdString();
    s.erase(0, s.find_first_not_of(" \t\n\r"));
    // strtod also reads hexadecimal, infinity and NaN, which Val reads as 0.
    const std::size_t at = s[0] == '+' || s[0] == '-' ? 1 : 0;
    const bool hex = s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X');
    const bool number = !hex && ((s[at] >= '0' && s[at] <= '9') || s[at] == '.');
    FUZZ_REQUIRE(Val(text) == (number ? std::strtod(s.c_str(), nullptr) : 0.0));
}
