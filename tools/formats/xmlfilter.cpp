// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/xmlfilter.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"

#include <array>
#include <cstring>

namespace velmora::mkdb {

namespace {

// More than any unit the filter must see whole: "<![CDATA[", a UTF-8 sequence, an entity
// reference of a sensible length.
constexpr qsizetype kLookahead = 64;
constexpr qsizetype kLongestReference = 40;

bool isNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameByte(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool startsWith(const char* p, const char* end, std::string_view text) {
    return end - p >= qsizetype(text.size()) && std::memcmp(p, text.data(), text.size()) == 0;
}

// The length of the entity or character reference at `p` ("&amp;", "&#38;", "&#x26;"); 0 when
// "&" begins none; -1 when the bytes at hand end before that is known.
qsizetype referenceLength(const char* p, const char* end) {
    const char* q = p + 1;
    const char* limit = std::min(end, p + kLongestReference);
    const auto at = [&](const char* x) { return static_cast<unsigned char>(*x); };
    if (q < limit && *q == '#') {
        ++q;
        const bool hex = q < limit && *q == 'x';
        if (hex) ++q;
        const char* digits = q;
        while (q < limit && (hex ? isHexDigit(at(q)) : (at(q) >= '0' && at(q) <= '9'))) ++q;
        if (q == limit) return limit == end ? -1 : 0;
        return q > digits && *q == ';' ? q + 1 - p : 0;
    }
    if (q == limit) return limit == end ? -1 : 0;
    if (!isNameStart(at(q))) return 0;
    while (q < limit && isNameByte(at(q))) ++q;
    if (q == limit) return limit == end ? -1 : 0;
    return *q == ';' ? q + 1 - p : 0;
}

// The bytes copyPlainRun must look at in text ([0]) and in a tag outside quotes ([1]).
constexpr auto kStops = [] {
    std::array<std::array<bool, 256>, 2> stops{};
    for (int c = 0x80; c < 256; ++c) stops[0][c] = stops[1][c] = true;
    for (const char c : std::string_view("\n&<")) stops[0][static_cast<unsigned char>(c)] = true;
    for (const char c : std::string_view("\n\"'>")) stops[1][static_cast<unsigned char>(c)] = true;
    return stops;
}();

QString tooLarge() {
    return QStringLiteral("input too large: text or a tag of more than %1 MB")
        .arg(kMaxRecordBytes >> 20);
}

// Filtered bytes handed to the parser at a time.
constexpr qsizetype kBlock = qsizetype(1) << 18;

}  // namespace

XmlFilter::XmlFilter(const QString& path) {
    in_.open(path);
    readDeclaration();
}

XmlFilter::XmlFilter(QByteArrayView bytes, const QString& name) {
    in_.openMemory(bytes, name);
    readDeclaration();
}

XmlInput::XmlInput(const QString& path, XmlHandler& handler)
    : filter_(path), parser_(handler, path) {}

XmlInput::XmlInput(QByteArrayView bytes, const QString& name, XmlHandler& handler)
    : filter_(bytes, name), parser_(handler, name) {}

// Hands the parser the next bytes the filter gives.
bool XmlInput::advance() {
    return parser_.advance([this] {
        if (ended_) return parser_.feed({}, true);
        ended_ = !filter_.next(bytes_);
        return parser_.feed(bytes_, false);
    });
}

void XmlFilter::failAt(const char* p, const QString& what) const {
    qsizetype column = column_;
    for (const char* q = lineStart_; q < p; ++q)
        column += encoding_ == Encoding::Cp1252 || (static_cast<unsigned char>(*q) & 0xC0) != 0x80;
    throw Fault{{in_.name(), line_, column, what}};
}

// The byte order mark and the declaration: they decide the encoding and are not handed on (the
// parser gets UTF-8, which a declaration of another encoding would contradict); blanks stand in
// the declaration's place, with its line ends, so lines and columns are counted as in the file.
void XmlFilter::readDeclaration() {
    while (in_.available() < 1024 && !ended_)
        if (!in_.fill()) ended_ = true;
    const char* p = in_.begin();
    const char* end = in_.end();
    lineStart_ = p;
    const bool bom = startsWith(p, end, "\xEF\xBB\xBF");
    // With its byte order mark, or without it "<" in either byte order.
    if (startsWith(p, end, "\xFF\xFE") || startsWith(p, end, "\xFE\xFF") ||
        startsWith(p, end, std::string_view("<\0", 2)) ||
        startsWith(p, end, std::string_view("\0<", 2)))
        failAt(p, QStringLiteral("the file is UTF-16; only UTF-8 and code page 1252 are read"));
    if (bom) p += 3;
    lineStart_ = p;
    const XmlDeclaration declared = readXmlDeclaration(std::string_view(p, std::size_t(end - p)));
    if (declared.end == 0) {
        if (startsWith(p, end, "<?xml") && end - p >= 6 && QChar::isSpace(uchar(p[5])))
            failAt(p, QStringLiteral("the XML declaration does not end"));
        in_.consume(p - in_.begin());
        return;
    }
    if (!declared.wellFormed)
        failAt(p, QStringLiteral("not well-formed XML: XML declaration not well-formed"));
    const XmlEncoding encoding =
        declared.encoding.empty() || bom ? XmlEncoding::Utf8 : xmlEncodingNamed(declared.encoding);
    if (encoding != XmlEncoding::Utf8 && encoding != XmlEncoding::Cp1252)
        failAt(p + declared.encodingAt,
               QStringLiteral("unknown encoding %1: only UTF-8 and code page 1252 (windows-1252, "
                              "ISO-8859-1) are read")
                   .arg(quoted(declared.encoding)));
    encoding_ = encoding == XmlEncoding::Cp1252 ? Encoding::Cp1252 : Encoding::Utf8;
    const char* close = p + declared.end;
    for (const char* q = p; q < close; ++q) {
        head_ += *q == '\n' ? '\n' : ' ';
        if (*q != '\n') continue;
        ++line_;
        lineStart_ = q + 1;
    }
    column_ = 1 + qsizetype(close - lineStart_);
    in_.consume(close - in_.begin());
    lineStart_ = in_.begin();
}

// What the declaration left first, then as much as is at hand, in blocks of about kBlock: what
// the filter passed before a fault in the input is handed over too, so that a fault in the XML
// before it comes first.
bool XmlFilter::next(std::string& out) {
    out.assign(head_);  // keeps its room, which swapping would not
    head_.clear();
    if (pending_) throw *std::exchange(pending_, std::nullopt);
    try {
        for (;;) {
            while (in_.available() < kLookahead && !ended_)
                if (!in_.fill()) ended_ = true;
            filterAvailable(out);
            // A unit the filter must see whole can stay unread only while more bytes may come.
            if (ended_ && in_.available() == 0) return false;
            if (qsizetype(out.size()) >= kBlock) return true;
        }
    } catch (const Fault& fault) {
        if (out.empty()) throw;
        pending_ = fault;
        return true;
    }
}

// A block's worth of what is at hand at a time: the block keeps its room, about kBlock.
void XmlFilter::filterAvailable(std::string& out) {
    const char* p = in_.begin();
    const bool whole = in_.available() <= kBlock;
    const char* end = whole ? in_.end() : p + kBlock;
    inputEnds_ = ended_ && whole;
    lineStart_ = p;
    out.reserve(out.size() + std::size_t((end - p) + (end - p) / 8 + 16));
    while (p < end) {
        p = copyPlainRun(p, end, out);
        if (p == end) break;
        const qsizetype n = state_ == State::Text ? copyText(p, end, out) : copyMarkup(p, end, out);
        if (n == 0) break;  // the unit at `p` needs bytes not yet read
        p += n;
    }
    for (const char* q = lineStart_; q < p; ++q)
        column_ += encoding_ == Encoding::Cp1252 || (static_cast<unsigned char>(*q) & 0xC0) != 0x80;
    in_.consume(p - in_.begin());
}

// The bytes from `p` that change no state but the count, in text and in tags: most of a file.
const char* XmlFilter::skipPlain(const char* p, const char* end) const {
    const auto at = [](const char* q) { return static_cast<unsigned char>(*q); };
    if (state_ == State::Text || (state_ == State::Tag && quote_ == 0)) {
        const std::array<bool, 256>& stops = kStops[state_ == State::Tag];
        while (p < end && !stops[at(p)]) ++p;
    } else if (state_ == State::Tag) {
        while (p < end && *p != quote_ && *p != '\n' && at(p) < 0x80) ++p;
    }
    return p;
}

// ASCII text, line ends, plain tags and their attributes, copied in one piece: most of a file.
// Stops where copyText or copyMarkup must look.
const char* XmlFilter::copyPlainRun(const char* p, const char* end, std::string& out) {
    const char* run = p;
    for (; p < end; ++p) {
        const char* plain = skipPlain(p, end);
        if (sinceMarkup_ + (plain - p) > kMaxRecordBytes)
            failAt(p + (kMaxRecordBytes - sinceMarkup_), tooLarge());
        sinceMarkup_ += plain - p;
        p = plain;
        if (p == end) break;
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x80) break;
        if (c == '\n') {
            ++line_;
            column_ = 1;
            lineStart_ = p + 1;
        } else if (state_ == State::Text) {
            if (c == '&') break;
            if (c == '<') {
                const auto next = p + 1 < end ? static_cast<unsigned char>(p[1]) : 0;
                if (next != '/' && (!isNameStart(next) || next >= 0x80)) break;
                state_ = State::Tag;
                quote_ = 0;
                sinceMarkup_ = 0;
            }
        } else if (state_ == State::Tag) {
            if (quote_ != 0) {
                if (c == quote_) quote_ = 0;
            } else if (c == '"' || c == '\'') {
                quote_ = char(c);
            } else if (c == '>') {
                state_ = State::Text;
                sinceMarkup_ = 0;
            }
        } else {
            break;
        }
        if (++sinceMarkup_ > kMaxRecordBytes) failAt(p, tooLarge());
    }
    out.append(run, p - run);
    return p;
}

qsizetype XmlFilter::characterLength(const char* p, const char* end) const {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x80 || encoding_ == Encoding::Cp1252) {
        if (c >= 0x80 && cp1252Char(c) == 0)
            failAt(p, QStringLiteral("byte 0x%1 is not a code page 1252 character")
                          .arg(QString::number(c, 16).toUpper()));
        return 1;
    }
    if (const qsizetype length = utf8SequenceLength(p, end)) return length;
    if (end - p < 4 && !inputEnds_) return 0;
    failAt(p, QStringLiteral("invalid UTF-8 (byte 0x%1)").arg(QString::number(c, 16).toUpper()));
}

void XmlFilter::copyCharacter(const char* p, qsizetype length, std::string& out) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '\n') {
        ++line_;
        column_ = 1;
        lineStart_ = p + 1;
    }
    if (++sinceMarkup_ > kMaxRecordBytes) failAt(p, tooLarge());
    if (encoding_ == Encoding::Cp1252 && c >= 0x80)
        appendUtf8(out, cp1252Char(c));
    else
        out.append(p, length);
}

// Text between tags: "<" and "&" decide what follows; every other character is copied.
qsizetype XmlFilter::copyText(const char* p, const char* end, std::string& out) {
    if (*p == '&') {
        const qsizetype length = referenceLength(p, end);
        if (length < 0 && !inputEnds_) return 0;
        if (length > 0) {
            out.append(p, length);
            sinceMarkup_ += length;
            return length;
        }
        ++repaired_;
        out += "&amp;";
        return 1;
    }
    if (*p != '<') {
        const qsizetype length = characterLength(p, end);
        if (length > 0) copyCharacter(p, length, out);
        return length;
    }
    if (end - p < 9 && !inputEnds_) return 0;
    const auto next = p + 1 < end ? static_cast<unsigned char>(p[1]) : 0;
    qsizetype length = 1;
    if (startsWith(p, end, "<!--")) {
        state_ = State::Comment, length = 4;
        forget();  // "<!-->" does not end the comment it opens
    } else if (startsWith(p, end, "<![CDATA[")) {
        state_ = State::CData, length = 9;
        forget();
    } else if (next == '!') {
        state_ = State::Declaration, length = 2;
        quote_ = 0, subset_ = false, inSubset_ = State::Declaration;
        forget();
    } else if (next == '?') {
        state_ = State::Instruction, length = 2;
        forget();
    } else if (next == '/' || isNameStart(next)) {
        state_ = State::Tag, quote_ = 0;
    } else {
        ++repaired_;
        out += "&lt;";
        return 1;
    }
    out.append(p, length);
    sinceMarkup_ = 0;
    return length;
}

// Inside a tag, comment, CDATA section, instruction or declaration: copied as it is, watched
// only for where it ends.
qsizetype XmlFilter::copyMarkup(const char* p, const char* end, std::string& out) {
    const qsizetype length = characterLength(p, end);
    if (length == 0) return 0;
    const char c = *p;
    // The two bytes before this one, which may have come in an earlier chunk.
    const auto endsWith = [&](char first, char second) {
        return recent_[1] == first && recent_[2] == second;
    };
    bool done = false;
    switch (state_) {
        case State::Tag:
            if (quote_ != 0) {
                if (c == quote_) quote_ = 0;
            } else if (c == '"' || c == '\'') {
                quote_ = c;
            } else {
                done = c == '>';
            }
            break;
        case State::Comment:
            done = c == '>' && endsWith('-', '-');
            break;
        case State::CData:
            done = c == '>' && endsWith(']', ']');
            break;
        case State::Instruction:
            done = c == '>' && recent_[2] == '?';
            break;
        case State::Declaration:
            done = declarationEnds(c);
            break;
        case State::Text:
            break;
    }
    copyCharacter(p, length, out);
    if (done) return endMarkup(length);
    recent_[0] = recent_[1];
    recent_[1] = recent_[2];
    recent_[2] = c;
    return length;
}

qsizetype XmlFilter::endMarkup(qsizetype length) {
    state_ = State::Text;
    sinceMarkup_ = 0;
    return length;
}

// In a <!DOCTYPE ...>: a literal, and in the internal subset a comment or a processing
// instruction, may hold brackets and ">" that are no markup, as XML reads them.
bool XmlFilter::declarationEnds(char c) {
    if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
    } else if (inSubset_ == State::Comment) {
        if (c == '>' && recent_[1] == '-' && recent_[2] == '-') inSubset_ = State::Declaration;
    } else if (inSubset_ == State::Instruction) {
        if (c == '>' && recent_[2] == '?') inSubset_ = State::Declaration;
    } else if (subset_ && c == '-' && recent_[0] == '<' && recent_[1] == '!' && recent_[2] == '-') {
        inSubset_ = State::Comment;
        forget();
    } else if (subset_ && c == '?' && recent_[2] == '<') {
        inSubset_ = State::Instruction;
        forget();
        return false;
    } else if (c == '"' || c == '\'') {
        quote_ = c;
    } else if (c == '[' || c == ']') {
        subset_ = c == '[';
    } else {
        return c == '>' && !subset_;
    }
    return false;
}

}  // namespace velmora::mkdb
