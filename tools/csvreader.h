// SPDX-License-Identifier: GPL-3.0-or-later
// Strict RFC 4180 reader: comma separated, fields with commas, quotes or line breaks in double
// quotes, quotes doubled inside them, LF or CRLF line ends, UTF-8. Anything else is an error
// rather than a guess, because a silently shifted cell would put a wrong number in the table.
// It streams: one record at a time, its fields as views into the input's buffer.
#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

#include "tools/inputfile.h"

namespace velmora::mkdb {

class CsvReader {
  public:
    // A UTF-8 byte order mark at the start is skipped.
    explicit CsvReader(InputFile& in);

    // Reads the next record; false at the end of the input. A line end after the last record is
    // optional; an empty line is a record of one empty field. Throws Fault on malformed input and
    // on a record longer than kMaxRecordBytes.
    bool next();

    qsizetype size() const { return qsizetype(fields_.size()); }
    // Field `i` with its quotes removed; valid until the next call of next().
    std::string_view operator[](qsizetype i) const { return fields_[std::size_t(i)]; }
    const QString& fileName() const { return in_.name(); }
    qsizetype line() const { return line_; }  // where the record starts

    // Where field `i` starts (its opening quote when quoted), and where the record ends.
    Diagnostic at(qsizetype i, const QString& what) const;
    Diagnostic atEnd(const QString& what) const;

    // Throws unless the record has exactly `count` fields ("header", "row" name it).
    void requireFields(qsizetype count, const QString& what) const;

  private:
    const char* findRecordEnd(const char* from);
    void parse(const char* end);
    // parse()'s steps, inlined into it.
    inline const char* parseQuoted(const char* p, const char* limit, bool bounded);
    inline const char* parseUnquoted(const char* p, const char* limit, bool bounded);
    inline qsizetype checkedLength(const char* q, const char* limit, bool bounded) const;
    [[noreturn]] void failTooLarge() const;
    [[noreturn]] void fail(const char* at, const QString& what) const;

    InputFile& in_;
    qsizetype line_ = 1;      // the line the record starts on
    qsizetype nextLine_ = 1;  // and the one after it
    const char* start_ = nullptr;
    const char* end_ = nullptr;   // its line end (the CR of a CR LF), or the end of the input
    const char* next_ = nullptr;  // where the next record starts
    std::vector<std::string_view> fields_;
    std::vector<const char*> starts_;
    std::string unquoted_;  // fields with doubled quotes, undoubled
};

// Index of each of `names` in the header row just read; a name it lacks is a refusal naming the
// file and the column.
std::vector<qsizetype> headerColumns(const CsvReader& header,
                                     std::initializer_list<std::string_view> names);

}  // namespace velmora::mkdb
