// SPDX-License-Identifier: GPL-3.0-or-later
// One reader for every delimited text the builder takes (the CSV food table, SR releases,
// FoodData Central downloads and the national tables): records of fields split by one separator
// character, optionally quoted, in one of a few encodings. It streams, one record at a time, each
// field a UTF-8 view into the input's buffer (or into a copy when it had to be converted).
// Anything it cannot read for certain is refused with its position, never guessed: a silently
// shifted field would put a wrong number in the table.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/formats/amount.h"
#include "tools/formats/inputfile.h"

namespace velmora::mkdb {

enum class TextEncoding : unsigned char {
    Utf8,            // strictly: a byte sequence that is no UTF-8 is refused
    Latin1,          // ISO 8859-1: every byte a character
    Cp1252,          // Windows code page 1252: the five bytes it leaves undefined are refused
    Utf8ElseCp1252,  // decided by the file's first non-ASCII character: UTF-8 when that is
                     // valid UTF-8, else code page 1252; a later byte that contradicts is refused
};

struct ScanFormat {
    char separator = ',';
    // Encloses a field that holds separators or line breaks; doubled inside it, it stands for
    // itself. '\0': no quoting, so the character is text like any other.
    char quote = '"';
    TextEncoding encoding = TextEncoding::Utf8;
    bool quotedLineBreaks = true;  // a quoted field may span lines; else a record is one line
    // Rows may end in more fields than expected when the extra ones are empty (some agencies'
    // files pad their rows); they are dropped.
    bool trailingEmptyFields = false;
    char decimalPoint = '.';  // of the numbers amount() reads: '.' or ','
};

// RFC 4180 in UTF-8: the builder's own food table and FoodData Central's downloads.
inline constexpr ScanFormat kCsvFormat{};

// Whatever the format: a UTF-8 byte order mark at the start is skipped and makes the file UTF-8;
// one of UTF-16 is refused; lines end in LF or CR LF (a CR alone is refused but at the input's
// end); a NUL byte is refused; a DOS end-of-file mark (0x1A) as the input's last byte is dropped;
// an empty line is a record of one empty field; a record over kMaxRecordBytes is refused as it is
// read.
class RecordScanner {
  public:
    RecordScanner(InputFile& in, const ScanFormat& format);

    // Reads the next record; false at the end of the input. Throws Fault.
    bool next();

    qsizetype size() const { return qsizetype(fields_.size()); }
    // Field `i` in UTF-8, quotes removed; valid until the next call of next().
    std::string_view operator[](qsizetype i) const { return fields_[std::size_t(i)]; }
    qsizetype line() const { return line_; }  // where the record starts

    // Where field `i` starts (its opening quote when quoted), and where the record ends.
    Diagnostic at(qsizetype i, const QString& what) const;
    Diagnostic atEnd(const QString& what) const;
    Fault fault(qsizetype i, const QString& what) const { return Fault{at(i, what)}; }

    // Throws unless the record has from `fewest` to `most` fields ("row has 3 fields, expected
    // 39"; `what` is "row" or "header"). Trailing empty fields beyond `most` are dropped first
    // when the format allows them.
    static constexpr qsizetype kOrMore = std::numeric_limits<qsizetype>::max();
    void requireFields(qsizetype fewest, const char* what, qsizetype most = -1) {
        if (size() < fewest || size() > (most < 0 ? fewest : most)) fitFields(fewest, what, most);
    }

    // Field `i` (or `text`, a part of it) as readAmount reads it in the format's notation; refused
    // with `label` (the field's name) otherwise, an empty field too.
    double amount(qsizetype i, QStringView label) const { return amount(i, label, (*this)[i]); }
    double amount(qsizetype i, QStringView label, std::string_view text) const;
    // The same, with nothing for an empty field (not measured).
    std::optional<double> optionalAmount(qsizetype i, QStringView label) const;
    // Field `i` as a whole number from 0 to kLargestId (an identifier such as fdc_id).
    static constexpr std::uint32_t kLargestId = 0xFFFFFFFE;
    std::uint32_t id(qsizetype i, QStringView label) const;

    // "FILE: read as UTF-8" when the format let the content decide and it was UTF-8 beyond
    // ASCII, which the user may not expect of a file in code page 1252.
    std::optional<QString> encodingNote() const;

    const ScanFormat& format() const { return format_; }

  private:
    Diagnostic position(const char* at, const QString& what) const;
    const char* findRecordEnd(const char* from);
    void parse(const char* end);
    // parse()'s steps, inlined into it.
    // The separator and the quote (or a value no byte has) in registers, not reread from members
    // that a call might have changed.
    struct Delimiters {
        char separator;
        int quote;
    };
    inline const char* parseQuoted(const char* p, const char* limit, bool bounded, Delimiters d);
    inline const char* parseUnquoted(const char* p, const char* limit, bool bounded, Delimiters d);
    inline qsizetype checkedLength(const char* q, const char* limit, bool bounded, bool quoted);
    qsizetype nonAscii(const char* q, const char* limit);
    void control(const char* q, const char* limit, bool bounded, bool quoted) const;
    void convertFields();
    void readByteOrderMark();
    void fitFields(qsizetype fewest, const char* what, qsizetype most);
    [[noreturn]] void failTooLarge() const;
    [[noreturn]] void fail(const char* at, const QString& what) const;

    InputFile& in_;
    const ScanFormat format_;
    int quote_;              // format_.quote as an unsigned byte, or a value no byte has
    TextEncoding encoding_;  // as decided: Utf8ElseCp1252 until the first non-ASCII character
    QString utf8Why_;        // why the file is read as UTF-8, when it was not asked for
    bool nonAscii_ = false;
    bool convert_ = false;    // the record has single-byte text to convert
    qsizetype line_ = 1;      // the line the record starts on
    qsizetype nextLine_ = 1;  // and the one after it
    const char* start_ = nullptr;
    const char* end_ = nullptr;   // where its content ends (before the line end)
    const char* next_ = nullptr;  // where the next record starts
    std::vector<std::string_view> fields_;
    std::vector<const char*> starts_;
    std::string unquoted_;   // fields with doubled quotes, undoubled
    std::string converted_;  // fields in a single-byte encoding, in UTF-8
};

// `text` without the blanks around it.
std::string_view withoutBlanks(std::string_view text);
// Whether `name` (blanks around it ignored) is `wanted`, ignoring ASCII case: how column names
// and markers are matched.
bool sameName(std::string_view name, std::string_view wanted);

// A delimited file whose first record names its columns, of which a reader wants some: they are
// found by name, and every row must have as many fields as the header.
class TableFile {
  public:
    // Opens `path` (or reads `bytes`, named `name`) and its header. Each of `columns` is a column
    // name, or names separated by "|" of which the first the header has is taken; names match
    // ignoring ASCII case and blanks around them. An empty file, or a header without a wanted
    // column, is a Fault.
    TableFile(const QString& path, std::initializer_list<std::string_view> columns,
              const ScanFormat& format = kCsvFormat);
    TableFile(QByteArrayView bytes, const QString& name,
              std::initializer_list<std::string_view> columns,
              const ScanFormat& format = kCsvFormat);

    // The next row; false at the end.
    bool next();

    // The wanted column `c` (its place in `columns`) of the row.
    std::string_view operator[](std::size_t c) const { return scanner_[columns_[c]]; }
    double amount(std::size_t c) const { return scanner_.amount(columns_[c], names_[c]); }
    std::optional<double> optionalAmount(std::size_t c) const {
        return scanner_.optionalAmount(columns_[c], names_[c]);
    }
    std::uint32_t id(std::size_t c) const { return scanner_.id(columns_[c], names_[c]); }
    Fault fault(std::size_t c, const QString& what) const {
        return scanner_.fault(columns_[c], what);
    }

    // The header's column names (for a reader that maps columns it does not know in advance),
    // and the fields of the row by their place in it.
    const std::vector<std::string>& header() const { return header_; }
    RecordScanner& row() { return scanner_; }
    const RecordScanner& row() const { return scanner_; }
    const QString& path() const { return in_.name(); }
    qsizetype line() const { return scanner_.line(); }

    // The header's column of the first of `names` ("a|b") it has, ignoring ASCII case and
    // blanks around a name; -1 when it has none.
    qsizetype columnOf(std::string_view names) const;

  private:
    void readHeader(std::initializer_list<std::string_view> columns);

    InputFile in_;
    RecordScanner scanner_;
    std::vector<std::string> header_;
    std::vector<qsizetype> columns_;
    std::vector<QString> names_;  // as the header writes them, for messages
};

}  // namespace velmora::mkdb
