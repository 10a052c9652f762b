// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plainxml.h"

#include "common/utf8text.h"
#include "tools/recordscanner.h"
#include "tools/xmlinput.h"

#include <array>
#include <cstring>

namespace velmora::mkdb {

namespace {

// A unit (the text before a record and the record) longer than this is left to expat, which
// knows the limits on text and tags.
constexpr qsizetype kLongestUnit = qsizetype(1) << 16;
// Bytes enough for the declaration and the root's start tag.
constexpr qsizetype kHead = qsizetype(1) << 16;
// Attributes a tag may have here (each checked against the others).
constexpr std::size_t kAttributes = 8;

// What a byte is in text and in attribute values.
enum : unsigned char { kPlain, kLineFeed, kReturn, kLess, kAmpersand, kGreater, kHigh, kRefused };
constexpr auto kText = [] {
    std::array<unsigned char, 256> kinds{};
    for (int c = 0; c < 0x20; ++c) kinds[std::size_t(c)] = kRefused;
    kinds['\t'] = kPlain;
    kinds['\n'] = kLineFeed;
    kinds['\r'] = kReturn;
    kinds['<'] = kLess;
    kinds['&'] = kAmpersand;
    kinds['>'] = kGreater;
    kinds[0x7F] = kRefused;  // a control character: left to expat
    for (int c = 0x80; c < 0x100; ++c) kinds[std::size_t(c)] = kHigh;
    return kinds;
}();

// Names in ASCII only: 1 may start one, 2 may follow.
constexpr auto kName = [] {
    std::array<unsigned char, 256> kinds{};
    for (int c = 'A'; c <= 'Z'; ++c) kinds[std::size_t(c)] = kinds[std::size_t(c) + 32] = 3;
    kinds['_'] = kinds[':'] = 3;
    for (int c = '0'; c <= '9'; ++c) kinds[std::size_t(c)] = 2;
    kinds['-'] = kinds['.'] = 2;
    return kinds;
}();

bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool nameStarts(char c) {
    return kName[static_cast<unsigned char>(c)] & 1;
}

void appendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
        return;
    }
    if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
    } else {
        if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
        }
        out += char(0x80 | ((c >> 6) & 0x3F));
    }
    out += char(0x80 | (c & 0x3F));
}

}  // namespace

PlainXml::PlainXml(const QString& path, std::string_view record,
                   std::span<const char* const> fields)
    : record_(record), fields_(fields.begin(), fields.end()) {
    in_.open(path);
    in_.showProgress(false);
}

PlainXml::PlainXml(QByteArrayView bytes, const QString& name, std::string_view record,
                   std::span<const char* const> fields)
    : record_(record), fields_(fields.begin(), fields.end()) {
    in_.openMemory(bytes, name);
    in_.showProgress(false);
}

PlainXml::Status PlainXml::read(Sink& sink) {
    try {
        if (!started_) {
            while (in_.available() < kHead && !eof_) eof_ = !in_.fill();
            try {
                head();
            } catch (const NeedMore&) {
                return Status::NotPlain;
            }
            started_ = true;
        }
        for (;;) {
            const qsizetype line = line_;
            try {
                switch (unit(sink)) {
                    case Unit::Read:
                        break;
                    case Unit::Stop:
                        return Status::More;
                    case Unit::RootEnded:
                        return records_ > 0 ? Status::Done : Status::NotPlain;
                }
            } catch (const NeedMore&) {
                // The unit is read again, whole, once more bytes are at hand.
                line_ = line;
                if (eof_ || in_.available() > kLongestUnit) return Status::NotPlain;
                eof_ = !in_.fill();
                Progress::instance().update(in_.name(), in_.bytesRead(), in_.size());
            }
        }
    } catch (const NotPlain&) {
        return Status::NotPlain;
    }
}

// The byte order mark, the declaration (read as the filter reads it: in its place expat sees
// blanks and the declaration's line feeds, which alone count), blanks, and the root's start tag.
void PlainXml::head() {
    const char* p = in_.begin();
    end_ = in_.end();
    base_ = p;
    const bool bom = end_ - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
    if (bom) p += 3;
    if (end_ - p >= 6 && std::memcmp(p, "<?xml", 5) == 0 && isSpace(p[5])) {
        const char* close =
            static_cast<const char*>(memmem(p, std::size_t(end_ - p), "?>", std::size_t(2)));
        if (!close) throw NotPlain{};
        const DeclaredEncoding declared = declaredEncoding(QByteArrayView(p, close - p), bom);
        if (declared.encoding == DeclaredEncoding::Unknown) throw NotPlain{};
        cp1252_ = declared.encoding == DeclaredEncoding::Cp1252;
        // The filter looks for the end in its first 1,024 bytes at least.
        if (close + 2 - in_.begin() > 1024) throw NotPlain{};
        for (; p < close + 2; ++p) line_ += *p == '\n';
        base_ = p;  // the declaration's CRs are blanks
    }
    p = spaces(p);
    need(p + 1);
    if (*p != '<' || !nameStarts(p[1])) throw NotPlain{};
    Tag root;
    p = startTag(p, root);
    if (root.empty) throw NotPlain{};
    root_.assign(root.name);
    in_.consume(p - in_.begin());
}

// The text before the next element under the root and that element; the root's end and what
// follows it instead.
PlainXml::Unit PlainXml::unit(Sink& sink) {
    const char* p = base_ = in_.begin();
    end_ = in_.end();
    bool asWritten = true;
    p = text(p, asWritten);
    need(p + 1);
    if (p[1] == '/') {
        p = endTag(p, root_);
        in_.consume(p - in_.begin());
        epilogue();
        return Unit::RootEnded;
    }
    if (!nameStarts(p[1])) throw NotPlain{};
    const qsizetype line = line_;
    Tag element;
    p = startTag(p, element);
    const bool record = element.name.size() == record_.size() && sameName(element.name, record_);
    if (record) sink.startRecord(line);
    while (!element.empty) {
        p = text(p, asWritten);
        need(p + 1);
        if (p[1] == '/') {
            p = endTag(p, element.name);
            break;
        }
        if (!nameStarts(p[1])) throw NotPlain{};
        const qsizetype fieldLine = line_;
        Tag child;
        p = startTag(p, child);
        const int f = record ? fieldOf(child.name) : -1;
        const char* from = p;
        asWritten = true;
        if (!child.empty) {
            p = text(p, asWritten);
            need(p + 1);
            if (p[1] != '/') throw NotPlain{};  // an element deeper still, or markup
        }
        const char* to = p;
        if (!child.empty) p = endTag(p, child.name);
        if (f >= 0) sink.field(std::size_t(f), fieldText(from, to, asWritten), fieldLine);
    }
    in_.consume(p - in_.begin());
    if (!record) return Unit::Read;
    ++records_;
    return sink.endRecord() ? Unit::Read : Unit::Stop;
}

// After the root: blanks to the end of the file.
void PlainXml::epilogue() {
    for (;;) {
        const char* p = in_.begin();
        end_ = in_.end();
        for (; p < end_; ++p)
            if (!isSpace(*p)) throw NotPlain{};
        in_.consume(p - in_.begin());
        if (eof_ || !in_.fill()) return;
    }
}

// Text up to the next "<": characters and references expat takes. `asWritten` is cleared when
// expat hands on other bytes than the file's: for a CR, a reference, code page 1252.
const char* PlainXml::text(const char* p, bool& asWritten) {
    const char* const from = p;
    for (;;) {
        need(p);
        switch (kText[static_cast<unsigned char>(*p)]) {
            case kPlain:
                ++p;
                break;
            case kLineFeed:
                lineEnd(p++);
                break;
            case kReturn:
                asWritten = false;
                lineEnd(p++);
                break;
            case kAmpersand:
                asWritten = false;
                p = reference(p, nullptr);
                break;
            case kLess:
                return p;
            case kGreater:
                // "]]>" may not stand in text.
                if (p - from >= 2 && p[-1] == ']' && p[-2] == ']') throw NotPlain{};
                ++p;
                break;
            case kHigh:
                asWritten = asWritten && !cp1252_;
                p = character(p);
                break;
            default:  // a control character
                throw NotPlain{};
        }
    }
}

// A reference expat resolves by itself: to one of XML's five entities or a character's number,
// whose character it appends to `out`, if given. `p` at "&".
const char* PlainXml::reference(const char* p, std::string* out) const {
    const char* q = p + 1;
    need(q);
    if (*q == '#') {
        need(++q);
        const bool hex = *q == 'x';
        q += hex;
        char32_t c = 0;
        int digits = 0;
        for (;; ++q) {
            need(q);
            const auto d = static_cast<unsigned char>(*q);
            int value = -1;
            if (d >= '0' && d <= '9')
                value = d - '0';
            else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f')
                value = (d | 0x20) - 'a' + 10;
            if (value < 0) break;
            if (++digits > 7) throw NotPlain{};
            c = c * (hex ? 16 : 10) + char32_t(value);
        }
        // XML's characters (DEL left to expat).
        const bool character = c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F) ||
                               (c > 0x7F && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
                               (c >= 0x10000 && c <= 0x10FFFF);
        if (digits == 0 || *q != ';' || !character) throw NotPlain{};
        if (out) appendCodePoint(*out, c);
        return q + 1;
    }
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities{
        {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}}};
    for (const auto& [name, c] : kEntities) {
        std::size_t i = 0;
        for (; i < name.size(); ++i) {
            need(q + i);
            if (q[i] != name[i]) break;
        }
        if (i < name.size()) continue;
        if (out) *out += c;
        return q + name.size();
    }
    throw NotPlain{};  // an entity of the document's own, or not a reference
}

// A character above ASCII: one that expat takes, in the file's encoding.
const char* PlainXml::character(const char* p) const {
    if (cp1252_) {
        if (cp1252Char(static_cast<unsigned char>(*p)) == 0) throw NotPlain{};
        return p + 1;
    }
    const qsizetype length = utf8SequenceLength(p, end_);
    if (length == 0) {
        if (end_ - p < 4 && !eof_) throw NeedMore{};
        throw NotPlain{};
    }
    // U+FFFE and U+FFFF are not XML characters.
    if (length == 3 && static_cast<unsigned char>(p[0]) == 0xEF &&
        static_cast<unsigned char>(p[1]) == 0xBF && static_cast<unsigned char>(p[2]) >= 0xBE)
        throw NotPlain{};
    return p + length;
}

// Counts the line end at `p` as expat does: CR LF, CR and LF each end one. A unit starts after a
// ">" (or at the file's start), so a LF at its start follows no CR.
void PlainXml::lineEnd(const char* p) {
    if (*p == '\r' || p == base_ || p[-1] != '\r') ++line_;
}

const char* PlainXml::name(const char* p) const {
    need(p);
    if (!nameStarts(*p)) throw NotPlain{};
    do {
        ++p;
        need(p);
    } while (kName[static_cast<unsigned char>(*p)]);
    return p;
}

const char* PlainXml::spaces(const char* p) {
    for (;; ++p) {
        need(p);
        if (!isSpace(*p)) return p;
        if (*p == '\n' || *p == '\r') lineEnd(p);
    }
}

// "<name", attributes each after blanks, blanks, then ">" or "/>"; `p` at "<".
const char* PlainXml::startTag(const char* p, Tag& tag) {
    const char* const from = p + 1;
    p = name(from);
    tag.name = {from, std::size_t(p - from)};
    std::array<std::string_view, kAttributes> seen;
    std::size_t attributes = 0;
    for (;;) {
        need(p);
        if (*p == '>') return p + 1;
        if (*p == '/') {
            need(p + 1);
            if (p[1] != '>') throw NotPlain{};
            tag.empty = true;
            return p + 2;
        }
        if (!isSpace(*p)) throw NotPlain{};
        p = spaces(p);
        if (*p == '>' || *p == '/') continue;
        const char* const attribute = p;
        p = name(p);
        const std::string_view named(attribute, std::size_t(p - attribute));
        if (attributes == kAttributes) throw NotPlain{};
        for (std::size_t a = 0; a < attributes; ++a)
            if (seen[a] == named) throw NotPlain{};  // given twice: not well-formed
        seen[attributes++] = named;
        p = spaces(p);
        if (*p != '=') throw NotPlain{};
        p = spaces(p + 1);
        const char quote = *p;
        if (quote != '"' && quote != '\'') throw NotPlain{};
        for (++p;; ++p) {
            need(p);
            if (*p == quote) break;
            switch (kText[static_cast<unsigned char>(*p)]) {
                case kPlain:
                case kGreater:
                    break;
                case kLineFeed:
                case kReturn:
                    lineEnd(p);
                    break;
                case kHigh:
                    p = character(p) - 1;
                    break;
                case kAmpersand:
                    p = reference(p, nullptr) - 1;
                    break;
                default:  // "<", a control character
                    throw NotPlain{};
            }
        }
        ++p;
    }
}

// "</name", blanks, ">"; `p` at "<".
const char* PlainXml::endTag(const char* p, std::string_view named) {
    const char* const from = p + 2;
    p = name(from);
    if (std::string_view(from, std::size_t(p - from)) != named) throw NotPlain{};
    p = spaces(p);
    if (*p != '>') throw NotPlain{};
    return p + 1;
}

// The last field of that name, as a handler that looks at every field takes it.
int PlainXml::fieldOf(std::string_view name) const {
    int found = -1;
    for (std::size_t f = 0; f < fields_.size(); ++f)
        if (name.size() == fields_[f].size() && sameName(name, fields_[f])) found = int(f);
    return found;
}

// A field's text as expat hands it on: in UTF-8, each line end a LF, references resolved.
std::string_view PlainXml::fieldText(const char* from, const char* to, bool asWritten) {
    if (asWritten) return {from, std::size_t(to - from)};
    decoded_.clear();
    for (const char* p = from; p < to; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\r') {
            decoded_ += '\n';
            if (p + 1 < to && p[1] == '\n') ++p;
        } else if (c == '&') {
            p = reference(p, &decoded_) - 1;
        } else if (c >= 0x80 && cp1252_) {
            appendUtf8(decoded_, cp1252Char(c));
        } else {
            decoded_ += char(c);
        }
    }
    return decoded_;
}

}  // namespace velmora::mkdb
