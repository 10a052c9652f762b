// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 text as the food table and its source files hold it.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <string_view>

namespace velmora {

inline bool isAscii(std::string_view utf8) {
    for (char c : utf8)
        if (static_cast<unsigned char>(c) & 0x80) return false;
    return true;
}

// QString::fromUtf8 drops a U+FEFF that starts the text; in a stored text it is data (a find by
// the listed text must meet the stored one), so it stays.
inline QString textFromUtf8(QByteArrayView utf8) {
    if (!utf8.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(utf8);
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decode(utf8);
}

}  // namespace velmora
