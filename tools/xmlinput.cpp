// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/xmlinput.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/recordscanner.h"

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

// Filtered bytes handed over at a time, and how many blocks the filter runs ahead.
constexpr qsizetype kBlock = qsizetype(1) << 18;
constexpr std::size_t kSlots = 3;

}  // namespace

XmlFilter::XmlFilter(const QString& path, std::string_view record, std::size_t consumers)
    : record_(record) {
    in_.open(path);
    start(consumers);
}

XmlFilter::XmlFilter(QByteArrayView bytes, const QString& name, std::string_view record,
                     std::size_t consumers)
    : record_(record) {
    in_.openMemory(bytes, name);
    start(consumers);
}

void XmlFilter::start(std::size_t consumers) {
    // A record's start tag is looked at whole before the filter moves on.
    Q_ASSERT(qsizetype(record_.size()) + 2 <= kLookahead);
    readDeclaration();
    in_.showProgress(false);
    blocks_.emplace(
        slotsFor(consumers, xmlPieceBytes, std::uint64_t(kBlock), kSlots),
        [this](Block& block) { return filter(block); }, consumers);
}

XmlInput::XmlInput(const QString& path, XmlHandler& handler)
    : own_(std::make_unique<XmlFilter>(path)), filter_(*own_), parser_(handler, path) {}

XmlInput::XmlInput(QByteArrayView bytes, const QString& name, XmlHandler& handler)
    : own_(std::make_unique<XmlFilter>(bytes, name)), filter_(*own_), parser_(handler, name) {}

XmlInput::XmlInput(XmlFilter& filter, int parity, XmlHandler& handler)
    : filter_(filter),
      parser_(handler, filter.name()),
      parity_(parity),
      parsers_(filter.consumers()) {}

DeclaredEncoding declaredEncoding(QByteArrayView declaration, bool bom) {
    DeclaredEncoding declared;
    const QByteArray text = declaration.toByteArray();
    declared.at = text.indexOf("encoding");
    if (declared.at >= 0) {
        const qsizetype quote = text.indexOf('=', declared.at) + 1;
        const QByteArray rest = text.mid(quote).trimmed();
        if (!rest.isEmpty()) declared.name = rest.mid(1, rest.indexOf(rest[0], 1) - 1);
    }
    const QByteArray lower = declared.name.toLower();
    if (bom || lower.isEmpty() || lower == "utf-8" || lower == "utf8" || lower == "us-ascii")
        declared.encoding = DeclaredEncoding::Utf8;
    else if (lower == "windows-1252" || lower == "cp1252" || lower == "iso-8859-1" ||
             lower == "latin1")
        // Files that say ISO-8859-1 mean code page 1252, as web browsers take them.
        declared.encoding = DeclaredEncoding::Cp1252;
    else
        declared.encoding = DeclaredEncoding::Unknown;
    return declared;
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
    if (startsWith(p, end, "\xFF\xFE") || startsWith(p, end, "\xFE\xFF"))
        failAt(p, QStringLiteral("the file is UTF-16; only UTF-8 and code page 1252 are read"));
    if (bom) p += 3;
    lineStart_ = p;
    if (!startsWith(p, end, "<?xml") || end - p < 6 || !QChar::isSpace(uchar(p[5]))) {
        in_.consume(p - in_.begin());
        return;
    }
    const char* close = static_cast<const char*>(memmem(p, std::size_t(end - p), "?>", 2));
    if (!close) failAt(p, QStringLiteral("the XML declaration does not end"));
    const DeclaredEncoding declared = declaredEncoding(QByteArrayView(p, close - p), bom);
    if (declared.encoding == DeclaredEncoding::Unknown)
        failAt(p + declared.at, QStringLiteral("unknown encoding \"%1\": only UTF-8 and code page "
                                               "1252 (windows-1252, ISO-8859-1) are read")
                                    .arg(printable(QString::fromLatin1(declared.name))));
    encoding_ = declared.encoding == DeclaredEncoding::Cp1252 ? Encoding::Cp1252 : Encoding::Utf8;
    for (const char* q = p; q < close + 2; ++q) {
        out_ += *q == '\n' ? '\n' : ' ';
        if (*q != '\n') continue;
        ++line_;
        lineStart_ = q + 1;
    }
    column_ = 1 + qsizetype(close + 2 - lineStart_);
    in_.consume(close + 2 - in_.begin());
    lineStart_ = in_.begin();
}

bool XmlInput::advance() {
    return parser_.advance([this] { return feed(); });
}

// Hands the parser the next bytes the filter gave, showing how far the file is read.
ExpatParser::Status XmlInput::feed() {
    if (parity_ >= 0) return feedPiece();
    const XmlFilter::Block* block = filter_.next();
    if (!block) return parser_.feed({}, true);
    Progress::instance().update(filter_.name(), block->done, filter_.size());
    return parser_.feed(block->bytes, false);
}

// The next of this parser's bytes: its pieces, a mark after each it ends, the others' passed
// over; the end of the document only for the parser whose piece ends the file.
ExpatParser::Status XmlInput::feedPiece() {
    for (;;) {
        while (nextSegment_ == segments_.size()) {
            if (inputEnded_) {
                if (!owns(piece_) || finished_) return ExpatParser::Status::Done;
                finished_ = true;
                return parser_.feed({}, true);
            }
            block_ = filter_.next(std::size_t(parity_));
            segments_.clear();
            nextSegment_ = 0;
            if (!block_) {
                inputEnded_ = true;
                continue;
            }
            if (parity_ == 0)
                Progress::instance().update(filter_.name(), block_->done, filter_.size());
            std::size_t from = 0;
            for (const std::size_t cut : block_->cuts) {
                segment(from, cut);
                if (piece_ >= 0 && owns(piece_)) segments_.push_back({0, 0, Segment::Kind::Mark});
                ++piece_;
                from = cut;
            }
            segment(from, block_->bytes.size());
        }
        const Segment s = segments_[nextSegment_++];
        const std::string_view bytes = std::string_view(block_->bytes).substr(s.from, s.size);
        if (s.kind == Segment::Kind::Own) return parser_.feed(bytes, false);
        if (s.kind == Segment::Kind::Passed) {
            passOver(bytes);
            continue;
        }
        ++marks_;
        return parser_.feed(kCutMark, false);
    }
}

void XmlInput::segment(std::size_t from, std::size_t to) {
    if (to > from)
        segments_.push_back(
            {from, to - from, owns(piece_) ? Segment::Kind::Own : Segment::Kind::Passed});
}

namespace {

// How often `c` stands in `bytes`; in runs of 255 with a byte-sized count, which compilers turn
// into vector instructions.
qsizetype countOf(std::string_view bytes, char c) {
    qsizetype total = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 255) {
        const std::string_view run = bytes.substr(at, 255);
        unsigned char count = 0;
        for (const char b : run) count += b == c;
        total += count;
    }
    return total;
}

// How often CR LF stands in `bytes`.
qsizetype crLfPairs(std::string_view bytes) {
    qsizetype total = 0;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, bytes.size() - 1 - at);
        unsigned char count = 0;
        for (std::size_t i = at; i < at + size; ++i)
            count += int(bytes[i] == '\r') & int(bytes[i + 1] == '\n');
        total += count;
    }
    return total;
}

}  // namespace

// Counts the line ends of bytes passed over as expat counts them: CR LF, CR and LF.
void XmlInput::passOver(std::string_view bytes) {
    if (bytes.empty()) return;
    qsizetype ends = countOf(bytes, '\n');
    if (const qsizetype returns = countOf(bytes, '\r'); returns > 0)
        ends += returns - crLfPairs(bytes);
    if (lastPassed_ == '\r' && bytes.front() == '\n') --ends;
    passedLines_ += ends;
    lastPassed_ = bytes.back();
}

// Whether the tag at `p` starts a record: its name, then a blank, ">" or "/".
bool XmlFilter::cutsAt(const char* p, const char* end) const {
    const std::size_t size = record_.size();
    if (end - p < qsizetype(size) + 2 || !sameName({p + 1, size}, record_)) return false;
    const char after = p[1 + size];
    return after == ' ' || after == '\t' || after == '\r' || after == '\n' || after == '>' ||
           after == '/';
}

// What the declaration left first, then as much as is at hand, in blocks of about kBlock: what
// the filter passed before a fault in the input is handed over too, so that a fault in the XML
// before it comes first.
bool XmlFilter::filter(Block& block) {
    block.bytes += out_;
    out_.clear();
    filling_ = &block;
    for (;;) {
        while (in_.available() < kLookahead && !ended_)
            if (!in_.fill()) ended_ = true;
        filterAvailable(block.bytes);
        block.done = in_.bytesRead();
        // A unit the filter must see whole can stay unread only while more bytes may come.
        if (ended_ && in_.available() == 0) return false;
        if (qsizetype(block.bytes.size()) >= kBlock) {
            filteredBefore_ += block.bytes.size();
            return true;
        }
    }
}

void XmlFilter::filterAvailable(std::string& out) {
    const char* p = in_.begin();
    const char* end = in_.end();
    lineStart_ = p;
    out.reserve(out.size() + std::size_t(in_.available() + in_.available() / 8 + 16));
    while (p < end) {
        p = copyPlainRun(p, end, out);
        if (p == end) break;
        if (awaitCut_) {
            awaitCut_ = false;
            break;
        }
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
                if (!record_.empty() && next != '/' &&
                    filteredBefore_ + out.size() + std::size_t(p - run) >= nextCut_) {
                    // Cut where a record starts, once its whole start tag is at hand.
                    if (end - p < qsizetype(record_.size()) + 2 && !ended_) {
                        awaitCut_ = true;
                        break;
                    }
                    if (cutsAt(p, end)) {
                        const std::size_t at = out.size() + std::size_t(p - run);
                        filling_->cuts.push_back(at);
                        nextCut_ = filteredBefore_ + at + xmlPieceBytes;
                    }
                }
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
    if (end - p < 4 && !ended_) return 0;
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
        if (length < 0 && !ended_) return 0;
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
    if (end - p < 9 && !ended_) return 0;
    const auto next = p + 1 < end ? static_cast<unsigned char>(p[1]) : 0;
    qsizetype length = 1;
    if (startsWith(p, end, "<!--")) {
        state_ = State::Comment, length = 4;
        recent_[0] = recent_[1] = 0;  // "<!-->" does not end the comment it opens
    } else if (startsWith(p, end, "<![CDATA[")) {
        state_ = State::CData, length = 9;
        recent_[0] = recent_[1] = 0;
    } else if (next == '!') {
        state_ = State::Declaration, depth_ = 0, length = 2;
    } else if (next == '?') {
        state_ = State::Instruction, length = 2;
        recent_[0] = recent_[1] = 0;
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
        return recent_[0] == first && recent_[1] == second;
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
            done = c == '>' && recent_[1] == '?';
            break;
        case State::Declaration:
            depth_ += c == '[' ? 1 : c == ']' ? -1 : 0;
            done = c == '>' && depth_ <= 0;
            break;
        case State::Text:
            break;
    }
    copyCharacter(p, length, out);
    recent_[0] = recent_[1];
    recent_[1] = c;
    if (done) {
        state_ = State::Text;
        sinceMarkup_ = 0;
    }
    return length;
}

}  // namespace velmora::mkdb
