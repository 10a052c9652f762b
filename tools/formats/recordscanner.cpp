// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/recordscanner.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace velmora::mkdb {

namespace {

constexpr int kNoQuote = 0x100;  // no byte is this

QString hexByte(unsigned char value) {
    return QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            break;
        case TextEncoding::Latin1:
            return QStringLiteral("Latin-1 (ISO 8859-1)");
        case TextEncoding::Cp1252:
            return QStringLiteral("code page 1252");
        case TextEncoding::Utf8ElseCp1252:
            return QStringLiteral("UTF-8 or in code page 1252");
    }
    return QStringLiteral("UTF-8");
}

QString carriageReturnAlone() {
    return QStringLiteral("carriage return without line feed (lines end in LF or CR LF)");
}

}  // namespace

RecordScanner::RecordScanner(InputFile& in, const ScanFormat& format)
    : in_(in),
      format_(format),
      quote_(format.quote ? static_cast<unsigned char>(format.quote) : kNoQuote),
      encoding_(format.encoding) {
    readByteOrderMark();
}

void RecordScanner::readByteOrderMark() {
    while (in_.available() < 3 && in_.fill()) {
    }
    const std::string_view head(in_.begin(), std::size_t(std::min<qsizetype>(in_.available(), 3)));
    if (head.starts_with("\xEF\xBB\xBF")) {
        in_.consume(3);
        if (encoding_ != TextEncoding::Utf8)
            utf8Why_ = QStringLiteral("; the file starts with a UTF-8 byte order mark");
        encoding_ = TextEncoding::Utf8;
    } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        throw Fault{{in_.name(), 1, 1,
                     QStringLiteral("the file is UTF-16 text; save it in %1")
                         .arg(encodingName(format_.encoding))}};
    }
}

Diagnostic RecordScanner::position(const char* at, const QString& what) const {
    const bool singleByte = encoding_ == TextEncoding::Latin1 || encoding_ == TextEncoding::Cp1252;
    return positionIn(in_.name(), line_, start_, at, what, !singleByte);
}

void RecordScanner::fail(const char* at, const QString& what) const {
    throw Fault{position(at, what)};
}

Diagnostic RecordScanner::at(qsizetype i, const QString& what) const {
    return position(starts_[std::size_t(i)], what);
}

Diagnostic RecordScanner::atEnd(const QString& what) const {
    return position(end_, what);
}

// requireFields() when the record has too few or too many fields.
void RecordScanner::fitFields(qsizetype fewest, const char* what, qsizetype most) {
    if (most < 0) most = fewest;
    if (format_.trailingEmptyFields)
        while (size() > most && fields_.back().empty()) {
            fields_.pop_back();
            starts_.pop_back();
        }
    if (size() < fewest) {
        const QString expected = most == fewest ? QString::number(fewest)
                                 : most == kOrMore
                                     ? QStringLiteral("at least %1").arg(fewest)
                                     : QStringLiteral("%1 to %2").arg(fewest).arg(most);
        throw Fault{atEnd(QStringLiteral("%1 has %2 field%3, expected %4")
                              .arg(QLatin1StringView(what))
                              .arg(size())
                              .arg(size() == 1 ? "" : "s", expected))};
    }
    if (size() > most)
        throw fault(
            most,
            QStringLiteral("%1 has more than %2 fields").arg(QLatin1StringView(what)).arg(most));
}

// The line feed that ends the record starting at the input's front (quotes paired), or the end of
// the input; reads more as needed. Null when the record would pass the bound: then parse()
// reports whatever is wrong in the part at hand, or else the length.
const char* RecordScanner::findRecordEnd(const char* from) {
    const bool spanning = quote_ != kNoQuote && format_.quotedLineBreaks;
    const char quote = char(quote_);
    bool quoted = false;
    for (;;) {
        const auto* lf =
            static_cast<const char*>(std::memchr(from, '\n', std::size_t(in_.end() - from)));
        const char* stop = lf ? lf : in_.end();
        if (spanning && (std::count(from, stop, quote) & 1) != 0) quoted = !quoted;
        // The bound holds however much of the input the buffer happens to hold.
        if (lf && !quoted) return lf - in_.begin() > kMaxRecordBytes ? nullptr : lf;
        if (lf) {
            from = lf + 1;
            continue;
        }
        if (in_.available() > kMaxRecordBytes) return nullptr;
        const qsizetype fromOffset = in_.end() - in_.begin();
        if (!in_.fill()) return in_.end();
        from = in_.begin() + fromOffset;
    }
}

bool RecordScanner::next() {
    if (next_) in_.consume(next_ - in_.begin());
    next_ = nullptr;
    line_ = nextLine_;
    fields_.clear();
    starts_.clear();
    if (in_.available() == 0 && !in_.fill()) return false;
    const char* end = findRecordEnd(in_.begin());
    start_ = in_.begin();
    if (end == in_.end() && end - start_ == 1 && *start_ == '\x1A') {  // DOS end-of-file mark
        in_.consume(1);
        return false;
    }
    parse(end);
    return true;
}

// A record cut by the bound ends inside a field; a misplaced quote before that is reported first.
void RecordScanner::failTooLarge() const {
    fail(start_,
         QStringLiteral("input too large: a record of more than %1 MB").arg(kMaxRecordBytes >> 20));
}

// What a control character that may end a line means here. Past the bound only the quoting is
// checked: a misplaced quote is the likely cause of an overlong record, and anything else there
// (a device's NUL bytes) is just too much input.
void RecordScanner::control(const char* q, const char* limit, bool bounded, bool quoted) const {
    const bool data = quoted && format_.quotedLineBreaks;  // a line break inside a quoted field
    if (*q == '\0' && !bounded) fail(q, QStringLiteral("NUL character"));
    if (*q == '\n' && bounded && !data) failTooLarge();
    if (*q == '\r' && !data) {
        if (bounded && q + 1 < limit && q[1] == '\n') failTooLarge();
        fail(q, carriageReturnAlone());
    }
}

// A character the encoding must decide on; its length in bytes.
qsizetype RecordScanner::nonAscii(const char* q, const char* limit) {
    nonAscii_ = true;
    const auto c = static_cast<unsigned char>(*q);
    switch (encoding_) {
        case TextEncoding::Utf8ElseCp1252:
            if (const qsizetype length = utf8SequenceLength(q, limit)) {
                encoding_ = TextEncoding::Utf8;
                utf8Why_ = QStringLiteral(
                               "; the file is read as UTF-8 from its first non-ASCII "
                               "character, on line %1")
                               .arg(positionIn(in_.name(), line_, start_, q, {}).line);
                return length;
            }
            encoding_ = TextEncoding::Cp1252;
            return nonAscii(q, limit);
        case TextEncoding::Utf8:
            if (const qsizetype length = utf8SequenceLength(q, limit)) return length;
            fail(q, QStringLiteral("invalid UTF-8 (byte 0x%1)%2").arg(hexByte(c), utf8Why_));
        case TextEncoding::Cp1252:
            if (cp1252Char(c) == 0)
                fail(q,
                     QStringLiteral("byte 0x%1 is not a code page 1252 character").arg(hexByte(c)));
            break;
        case TextEncoding::Latin1:
            break;
    }
    convert_ = true;
    return 1;
}

// The steps of parse() below are inlined into its loop: it is the import's hot path, and a call
// per field made the import about a tenth slower.

// Checks one character that is neither a separator nor a quote; its length in bytes.
[[gnu::always_inline]] inline qsizetype RecordScanner::checkedLength(const char* q,
                                                                     const char* limit,
                                                                     bool bounded, bool quoted) {
    const auto c = static_cast<unsigned char>(*q);
    if (c > '\r' && c < 0x80) return 1;
    if (c >= 0x80) return bounded ? 1 : nonAscii(q, limit);
    if (c == '\0' || c == '\n' || c == '\r') control(q, limit, bounded, quoted);
    return 1;
}

// The quoted field at `p` (its opening quote); returns where it ends, after the closing quote.
[[gnu::always_inline]] inline const char* RecordScanner::parseQuoted(const char* p,
                                                                     const char* limit,
                                                                     bool bounded, Delimiters d) {
    const char quote = char(d.quote);
    const char* open = p++;
    const std::size_t from = unquoted_.size();
    bool doubled = false;
    const char* segment = p;
    for (;;) {
        if (p >= limit) {
            if (bounded) failTooLarge();
            fail(open, QStringLiteral("unterminated quoted field"));
        }
        if (*p == quote) {
            if (p + 1 < limit && p[1] == quote) {
                unquoted_.append(segment, std::size_t(p + 1 - segment));
                p += 2;
                segment = p;
                doubled = true;
                continue;
            }
            break;
        }
        p += checkedLength(p, limit, bounded, true);
    }
    if (doubled) {
        unquoted_.append(segment, std::size_t(p - segment));
        fields_.emplace_back(unquoted_.data() + from, unquoted_.size() - from);
    } else {
        fields_.emplace_back(open + 1, std::size_t(p - open - 1));
    }
    ++p;  // the closing quote
    if (p < limit && *p != d.separator)
        fail(p, *p == '\r' ? carriageReturnAlone()
                           : QStringLiteral("unexpected character after closing quote (%1)")
                                 .arg(QLatin1Char(quote)));
    return p;
}

// The unquoted field at `p`; returns where it ends.
[[gnu::always_inline]] inline const char* RecordScanner::parseUnquoted(const char* p,
                                                                       const char* limit,
                                                                       bool bounded, Delimiters d) {
    const char* field = p;
    while (p < limit && *p != d.separator) {
        if (static_cast<unsigned char>(*p) == d.quote)
            fail(p, QStringLiteral("quote (%1) inside an unquoted field").arg(QLatin1Char(*p)));
        p += checkedLength(p, limit, bounded, false);
    }
    fields_.emplace_back(field, std::size_t(p - field));
    return p;
}

void RecordScanner::parse(const char* end) {
    const bool bounded = end == nullptr;
    const char* limit = bounded ? in_.end() : end;
    if (!bounded && limit == in_.end() && limit > start_ && limit[-1] == '\x1A')
        --limit;  // a DOS end-of-file mark
    if (!bounded && limit > start_ && limit[-1] == '\r')
        --limit;  // the CR of a CR LF, or of the input's last line
    const Delimiters d{format_.separator, quote_};
    unquoted_.clear();
    unquoted_.reserve(std::size_t(limit - start_));
    const char* p = start_;
    for (;;) {
        starts_.push_back(p);
        p = p < limit && static_cast<unsigned char>(*p) == d.quote
                ? parseQuoted(p, limit, bounded, d)
                : parseUnquoted(p, limit, bounded, d);
        if (p < limit) {
            ++p;  // the separator
            continue;
        }
        if (bounded) failTooLarge();
        break;
    }
    end_ = limit;
    next_ = end < in_.end() ? end + 1 : end;
    nextLine_ = line_ + std::count(start_, end, '\n') + 1;
    if (convert_) convertFields();
}

// Fields in a single-byte encoding, made UTF-8.
void RecordScanner::convertFields() {
    convert_ = false;
    std::size_t bytes = 0;
    for (const std::string_view field : fields_) bytes += field.size();
    converted_.clear();
    converted_.reserve(bytes * 3);  // no character of these encodings takes more
    for (std::string_view& field : fields_) {
        if (isAscii(field)) continue;
        const std::size_t from = converted_.size();
        for (const char byte : field) {
            const auto c = static_cast<unsigned char>(byte);
            appendUtf8(converted_, encoding_ == TextEncoding::Latin1 ? char16_t(c) : cp1252Char(c));
        }
        field = std::string_view(converted_.data() + from, converted_.size() - from);
    }
}

double RecordScanner::amount(qsizetype i, QStringView label, std::string_view text) const {
    if (text.empty()) throw fault(i, QStringLiteral("%1: empty, expected a number").arg(label));
    const Amount amount = readAmount(text, format_.decimalPoint);
    if (!amount.problem.isEmpty())
        throw fault(i, QStringLiteral("%1: %2 %3").arg(label, quoted(text), amount.problem));
    return amount.value;
}

std::optional<double> RecordScanner::optionalAmount(qsizetype i, QStringView label) const {
    if ((*this)[i].empty()) return std::nullopt;
    return amount(i, label);
}

std::uint32_t RecordScanner::id(qsizetype i, QStringView label) const {
    const std::string_view text = (*this)[i];
    std::uint64_t value = 0;
    bool ok = !text.empty() && text.size() <= 10;
    for (const char c : text) {
        if (c < '0' || c > '9') ok = false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (!ok || value > kLargestId)
        throw fault(i, QStringLiteral("%1: %2 is not a whole number from 0 to %3")
                           .arg(label, quoted(text))
                           .arg(kLargestId));
    return std::uint32_t(value);
}

std::optional<QString> RecordScanner::encodingNote() const {
    if (format_.encoding != TextEncoding::Utf8ElseCp1252 || encoding_ != TextEncoding::Utf8 ||
        !nonAscii_)
        return std::nullopt;
    return QStringLiteral("%1: read as UTF-8").arg(printableLine(in_.name()));
}

namespace {

InputFile& opened(InputFile& in, const QString& path) {
    in.open(path);
    return in;
}

InputFile& opened(InputFile& in, QByteArrayView bytes, const QString& name) {
    in.openMemory(bytes, name);
    return in;
}

}  // namespace

std::string_view withoutBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view header, std::string_view wanted) {
    header = withoutBlanks(header);
    return header.size() == wanted.size() &&
           std::equal(header.begin(), header.end(), wanted.begin(), [](char a, char b) {
               const auto c = static_cast<unsigned char>(a);
               return a == b ||
                      (std::isalpha(c) && (c | 0x20) == (static_cast<unsigned char>(b) | 0x20));
           });
}

TableFile::TableFile(const QString& path, std::initializer_list<std::string_view> columns,
                     const ScanFormat& format)
    : scanner_(opened(in_, path), format) {
    readHeader(columns);
}

TableFile::TableFile(QByteArrayView bytes, const QString& name,
                     std::initializer_list<std::string_view> columns, const ScanFormat& format)
    : scanner_(opened(in_, bytes, name), format) {
    readHeader(columns);
}

qsizetype TableFile::columnOf(std::string_view names) const {
    for (;;) {
        const std::size_t bar = std::min(names.find('|'), names.size());
        for (std::size_t i = 0; i < header_.size(); ++i)
            if (sameName(header_[i], names.substr(0, bar))) return qsizetype(i);
        if (bar == names.size()) return -1;
        names.remove_prefix(bar + 1);
    }
}

void TableFile::readHeader(std::initializer_list<std::string_view> columns) {
    if (!scanner_.next())
        throw Fault{{in_.name(), 1, 1, QStringLiteral("empty file: no header row")}};
    for (qsizetype i = 0; i < scanner_.size(); ++i) header_.emplace_back(scanner_[i]);
    if (scanner_.format().trailingEmptyFields)
        while (header_.size() > 1 && header_.back().empty()) header_.pop_back();
    for (const std::string_view wanted : columns) {
        const qsizetype found = columnOf(wanted);
        if (found < 0) {
            QString names = latin1(wanted);
            names.replace(u'|', QStringLiteral("\" or \""));
            throw Fault{
                scanner_.atEnd(QStringLiteral("the header has no column \"%1\"").arg(names))};
        }
        columns_.push_back(found);
        names_.push_back(QString::fromUtf8(withoutBlanks(header_[std::size_t(found)])));
    }
}

bool TableFile::next() {
    if (!scanner_.next()) return false;
    scanner_.requireFields(qsizetype(header_.size()), "row");
    return true;
}

}  // namespace velmora::mkdb
