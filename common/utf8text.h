// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 text as the food table and its source files hold it.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora {

inline bool isAscii(std::string_view utf8) {
    // Eight bytes at a time: it runs on every description of a search.
    std::size_t i = 0;
    for (; i + 8 <= utf8.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, utf8.data() + i, 8);
        if (word & 0x8080808080808080u) return false;
    }
    for (; i < utf8.size(); ++i)
        if (static_cast<unsigned char>(utf8[i]) & 0x80) return false;
    return true;
}

// Length of the well-formed UTF-8 sequence at p (before end), or 0 if it is not one (overlong
// forms, surrogates and code points above U+10FFFF included).
qsizetype utf8SequenceLength(const char* p, const char* end);

// The character of a byte in Windows code page 1252 (the upper half is Latin-1 but for 0x80 to
// 0x9F); 0 for the five bytes the code page leaves undefined.
char16_t cp1252Char(unsigned char byte);

// Appends a character of the Basic Multilingual Plane (as the single-byte code pages and UTF-16
// escapes give them) in UTF-8.
void appendUtf8(std::string& out, char16_t c);

// An ASCII text of the program's own (a column name, a food type) as a QString.
inline QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// A UTF-8 view (a parser's, a cell's) as a QString.
inline QString fromUtf8(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// QString::fromUtf8 drops a U+FEFF that starts the text; in a stored text it is data (a find by
// the listed text must meet the stored one), so it stays.
inline QString textFromUtf8(QByteArrayView utf8) {
    if (!utf8.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(utf8);
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decode(utf8);
}

}  // namespace velmora
