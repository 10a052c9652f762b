// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/csvreader.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"

#include <algorithm>
#include <cstring>

namespace velmora::mkdb {

namespace {

QString hexByte(unsigned char value) {
    return QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

}  // namespace

CsvReader::CsvReader(InputFile& in) : in_(in) {
    while (in_.available() < 3 && in_.fill()) {
    }
    if (std::string_view(in_.begin(), std::size_t(in_.available())).starts_with("\xEF\xBB\xBF"))
        in_.consume(3);
}

void CsvReader::fail(const char* at, const QString& what) const {
    throw Fault{positionIn(in_.name(), line_, start_, at, what)};
}

Diagnostic CsvReader::at(qsizetype i, const QString& what) const {
    return positionIn(in_.name(), line_, start_, starts_[std::size_t(i)], what);
}

Diagnostic CsvReader::atEnd(const QString& what) const {
    return positionIn(in_.name(), line_, start_, end_, what);
}

void CsvReader::requireFields(qsizetype count, const QString& what) const {
    if (size() < count)
        throw Fault{atEnd(QStringLiteral("%1 has too few cells (%2, expected %3)")
                              .arg(what)
                              .arg(size())
                              .arg(count))};
    if (size() > count)
        throw Fault{
            at(count, QStringLiteral("%1 has too many cells (more than %2)").arg(what).arg(count))};
}

// The line feed that ends the record starting at start_ (quotes paired), or the end of the
// input; reads more as needed. Null when the record would pass the bound: then parse() reports
// whatever is wrong in the part at hand, or else the length.
const char* CsvReader::findRecordEnd(const char* from) {
    bool quoted = false;
    for (;;) {
        const auto* lf =
            static_cast<const char*>(std::memchr(from, '\n', std::size_t(in_.end() - from)));
        const char* stop = lf ? lf : in_.end();
        if ((std::count(from, stop, '"') & 1) != 0) quoted = !quoted;
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

bool CsvReader::next() {
    if (next_) in_.consume(next_ - in_.begin());
    line_ = nextLine_;
    fields_.clear();
    starts_.clear();
    if (in_.available() == 0 && !in_.fill()) return false;
    start_ = in_.begin();
    const char* end = findRecordEnd(start_);
    start_ = in_.begin();
    parse(end);
    return true;
}

// A record cut by the bound ends inside a field; a misplaced quote before that is reported first.
void CsvReader::failTooLarge() const {
    fail(start_,
         QStringLiteral("input too large: a record of more than %1 MB").arg(kMaxRecordBytes >> 20));
}

// The steps of parse() below are inlined into its loop: it is the import's hot path, and a call
// per field made the import about a tenth slower.

// Checks one character that is neither a separator nor a quote; its length in bytes. Past the
// bound only the quoting is checked: a misplaced quote is the likely cause of an overlong record,
// and anything else there (a device's NUL bytes) is just too much input.
[[gnu::always_inline]] inline qsizetype CsvReader::checkedLength(const char* q, const char* limit,
                                                                 bool bounded) const {
    if (bounded) return 1;
    const auto c = static_cast<unsigned char>(*q);
    if (c >= 0x80) {
        const qsizetype length = utf8SequenceLength(q, limit);
        if (length == 0) fail(q, QStringLiteral("invalid UTF-8 (byte 0x%1)").arg(hexByte(c)));
        return length;
    }
    if (c == 0) fail(q, QStringLiteral("NUL character"));
    return 1;
}

// The quoted field at `p` (its opening quote); returns where it ends, after the closing quote.
[[gnu::always_inline]] inline const char* CsvReader::parseQuoted(const char* p, const char* limit,
                                                                 bool bounded) {
    const char* open = p++;
    const std::size_t from = unquoted_.size();
    bool doubled = false;
    const char* segment = p;
    for (;;) {
        if (p >= limit) {
            if (bounded) failTooLarge();
            fail(open, QStringLiteral("unterminated quoted field"));
        }
        if (*p == '"') {
            if (p + 1 < limit && p[1] == '"') {
                unquoted_.append(segment, std::size_t(p + 1 - segment));
                p += 2;
                segment = p;
                doubled = true;
                continue;
            }
            break;
        }
        p += (*p == '\n' || *p == '\r') ? 1 : checkedLength(p, limit, bounded);
    }
    if (doubled) {
        unquoted_.append(segment, std::size_t(p - segment));
        fields_.emplace_back(unquoted_.data() + from, unquoted_.size() - from);
    } else {
        fields_.emplace_back(open + 1, std::size_t(p - open - 1));
    }
    ++p;  // the closing quote
    if (p < limit && *p != ',' && !(*p == '\r' && p + 1 == limit && limit < in_.end()))
        fail(p, *p == '\r' ? QStringLiteral("carriage return without line feed")
                           : QStringLiteral("unexpected character after closing quote"));
    return p;
}

// The unquoted field at `p`; returns where it ends.
[[gnu::always_inline]] inline const char* CsvReader::parseUnquoted(const char* p, const char* limit,
                                                                   bool bounded) {
    const char* field = p;
    while (p < limit && *p != ',') {
        if (*p == '"') fail(p, QStringLiteral("quote inside an unquoted field"));
        if (*p == '\r') {
            if (p + 1 == limit && limit < in_.end()) break;  // CR LF
            fail(p, QStringLiteral("carriage return without line feed"));
        }
        p += checkedLength(p, limit, bounded);
    }
    fields_.emplace_back(field, std::size_t(p - field));
    return p;
}

void CsvReader::parse(const char* end) {
    const bool bounded = end == nullptr;
    const char* const limit = bounded ? in_.end() : end;
    unquoted_.clear();
    unquoted_.reserve(std::size_t(limit - start_));
    const char* p = start_;
    for (;;) {
        starts_.push_back(p);
        p = p < limit && *p == '"' ? parseQuoted(p, limit, bounded)
                                   : parseUnquoted(p, limit, bounded);
        if (p < limit && *p == ',') {
            ++p;
            continue;
        }
        if (bounded) failTooLarge();
        break;
    }
    end_ = end;
    next_ = end < in_.end() ? end + 1 : end;
    if (end_ > start_ && end_ < in_.end() && end_[-1] == '\r') --end_;
    nextLine_ = line_ + std::count(start_, end, '\n') + 1;
}

std::vector<qsizetype> headerColumns(const CsvReader& header,
                                     std::initializer_list<std::string_view> names) {
    std::vector<qsizetype> columns;
    for (const std::string_view name : names) {
        qsizetype i = 0;
        while (i < header.size() && header[i] != name) ++i;
        if (i == header.size())
            throw Fault{
                header.atEnd(QStringLiteral("the header has no column \"%1\"")
                                 .arg(QLatin1StringView(name.data(), qsizetype(name.size()))))};
        columns.push_back(i);
    }
    return columns;
}

}  // namespace velmora::mkdb
