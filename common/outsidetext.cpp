// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/outsidetext.h"

#include "common/utf8text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace velmora {

namespace {

constexpr char16_t kEscapeBase = 0xDC80;  // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

bool isEscapedByte(char16_t u) {
    return u >= kEscapeBase && u <= kEscapeBase + 0x7F;
}

void appendEscape(QString& out, char16_t u) {
    switch (u) {
        case u'\n':
            out += QLatin1StringView("\\n");
            return;
        case u'\r':
            out += QLatin1StringView("\\r");
            return;
        case u'\t':
            out += QLatin1StringView("\\t");
            return;
        default:
            break;
    }
    const unsigned value = isEscapedByte(u) ? u - kEscapeBase + 0x80 : u;
    out +=
        value <= 0xFF ? QString::asprintf("\\x%02X", value) : QString::asprintf("\\u%04X", value);
}

bool needsEscape(QStringView text, qsizetype i) {
    const char16_t u = text[i].unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)) return true;
    // Line and paragraph separators break lines too.
    if (u == 0x2028 || u == 0x2029) return true;
    if (QChar::isHighSurrogate(u))
        return i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode());
    if (QChar::isLowSurrogate(u)) return i == 0 || !QChar::isHighSurrogate(text[i - 1].unicode());
    return false;
}

QString escaped(QStringView text, qsizetype limit) {
    QString out;
    out.reserve(std::min(text.size(), limit) + 8);
    qsizetype shown = 0, kept = 0;  // characters from `kept` on are not in `out` yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (shown == limit) {
            out += text.sliced(kept, i - kept);
            out += u'…';
            return out;
        }
        if (needsEscape(text, i)) {
            out += text.sliced(kept, i - kept);
            appendEscape(out, text[i].unicode());
            kept = i + 1;
        }
        // A surrogate pair is one character.
        if (!(QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size() &&
              QChar::isLowSurrogate(text[i + 1].unicode())))
            ++shown;
    }
    out += text.sliced(kept);
    return out;
}

}  // namespace

QString decodeFileName(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype n = utf8SequenceLength(bytes.data() + i, bytes.data() + bytes.size());
        if (n == 0) {
            out += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i]) - 0x80));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.sliced(i, n));
            i += n;
        }
    }
    return out;
}

QByteArray encodeFileName(QStringView name) {
    QByteArray out;
    out.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscapedByte(name[i].unicode())) continue;
        out += name.sliced(start, i - start).toUtf8();
        if (i < name.size()) out += char(name[i].unicode() - kEscapeBase + 0x80);
        start = i + 1;
    }
    return out;
}

QString absoluteFileName(const QString& name) {
    if (name.startsWith(u'/')) return name;
    std::string folder(256, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE) return name;
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    QString absolute = decodeFileName(QByteArrayView(folder.data(), qsizetype(folder.size())));
    if (!absolute.endsWith(u'/')) absolute += u'/';
    return absolute + name;
}

QStringList commandLineArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << decodeFileName(QByteArrayView(argv[i]));
    return arguments;
}

QString shownText(const QString& text) {
    if (text.size() <= kShownLimit) return text;
    QString out;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        const qsizetype length = end - start;
        out += QStringView(text).sliced(start, std::min(length, kShownLimit));
        if (length > kShownLimit) out += u'…';
        if (end < text.size()) out += u'\n';
        start = end + 1;
    }
    return out;
}

QString printable(QStringView text, qsizetype limit) {
    return escaped(text, limit);
}

QString printableLine(QStringView text) {
    return escaped(text, text.size() + 1);
}

QString quoted(QStringView text, char16_t quote) {
    return QChar(quote) + printable(text) + QChar(quote);
}

QString quoted(std::string_view utf8, char16_t quote) {
    return quoted(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), quote);
}

}  // namespace velmora
