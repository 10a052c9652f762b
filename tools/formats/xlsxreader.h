// SPDX-License-Identifier: GPL-3.0-or-later
// The .xlsx workbook: a ZIP archive of XML parts, unpacked with minizip and read with expat. A
// sheet streams one row at a time, parsed as its part is inflated, so reading it costs the shared
// strings plus a row whatever its size. The work is bounded by the file, whatever it declares: the
// bytes inflated across all its parts, the shared strings, each part read once. Everything wrong
// with the file is a Fault naming it, and the part where one is at fault (with the part's XML line
// and column where one applies).
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/formats/amount.h"
#include "tools/formats/inputfile.h"

namespace velmora::mkdb {

// A part that inflates to more than this is refused, whatever its header declares, and so are
// parts that do in all: no food table comes near it, and a crafted archive would otherwise fill
// the memory or take hours.
inline constexpr std::uint64_t kMaxPartBytes = std::uint64_t(1) << 30;

// What reading a workbook may cost at most, whatever the file declares: the bytes inflated from
// all its parts, the sheets it lists, the shared strings kept by number and by bytes of text (the
// largest table has a few dozen sheets and a few tens of thousands of strings, a few megabytes).
// Tests make them small.
struct XlsxLimits {
    std::uint64_t inflated = kMaxPartBytes;
    qsizetype sheets = 1024;
    std::size_t sharedStrings = std::size_t(1) << 24;
    std::size_t sharedStringBytes = std::size_t(1) << 28;
};

// The last row and column a worksheet can have (XFD1048576).
inline constexpr qsizetype kMaxRows = qsizetype(1) << 20;
inline constexpr int kMaxColumns = 1 << 14;

struct XlsxCell {
    // Text covers shared strings, inline strings and a formula's text result alike.
    enum class Type : unsigned char { Number, Text, Boolean, Error, Date };
    int column = 0;  // from 0 (A)
    Type type = Type::Number;
    // UTF-8, as stored: "11.375", "1.5E-3", a Boolean's "0" or "1", an error's "#N/A"; valid
    // until the sheet reads its next row.
    std::string_view text;

    // The text as an amount the table can store (readAmount: "." for the decimal point, whatever
    // the workbook's language; an optional exponent; within ±10^15), for a number stored as text
    // too; Boolean and Error cells are no number.
    Amount amount() const;
};

// "A" for column 0, "XFD" for the last.
QString columnName(int column);

class XlsxWorkbook;

// One worksheet, read forwards once.
class XlsxSheet {
  public:
    XlsxSheet(XlsxSheet&&) noexcept;
    ~XlsxSheet();

    const QString& name() const { return name_; }
    // Reads the next row that holds a cell; false after the last, once the whole part is read and
    // checked against its checksum. Rows come in rising order, an absent or empty row is skipped.
    // Throws Fault.
    bool next();
    qsizetype row() const;  // its number, from 1
    // The row's cells in rising column order; an empty cell is absent.
    std::span<const XlsxCell> cells() const;
    // The cell in `column`, or null when it is empty.
    const XlsxCell* cell(int column) const;

    // A fault in a cell of the current row, as readers report one: LINE:COLUMN are the cell's row
    // and column number, the message names the sheet and the cell (sheet "Data", cell B7: what).
    Diagnostic at(int column, const QString& what) const;

  private:
    friend class XlsxWorkbook;
    XlsxSheet(const XlsxWorkbook& book, const QString& name, const QString& part);
    class Reader;

    QString name_;
    std::unique_ptr<Reader> reader_;  // where the parser keeps the row it reads
};

class XlsxWorkbook {
  public:
    // Reads the list of sheets and the shared strings. Throws Fault: a file that cannot be read,
    // that is not a ZIP archive or not a workbook, an encrypted workbook, a damaged archive or
    // part, a part over kMaxPartBytes, a workbook beyond `limits`.
    explicit XlsxWorkbook(const QString& path, const XlsxLimits& limits = {});

    const QString& fileName() const { return path_; }
    const QStringList& sheetNames() const { return names_; }  // in the workbook's order
    // The first sheet whose name starts with `prefix`; empty when none does.
    QString sheetStartingWith(QStringView prefix) const;
    // Opens the sheet named `name`; a workbook without one is a Fault that lists its sheets, and
    // so is a sheet whose part another sheet opened has (a part is read once). Sheets read
    // independently, so several can be read side by side; the workbook must outlive them.
    XlsxSheet sheet(const QString& name) const;
    // The sheets' names quoted for a message: the first few, and how many more.
    QString sheetList() const;

  private:
    friend class XlsxSheet;
    class StringReader;
    static constexpr qsizetype kSheetsListed = 10;
    std::string_view sharedString(qsizetype index) const {
        const auto i = std::size_t(index);
        return std::string_view(strings_).substr(starts_[i], starts_[i + 1] - starts_[i]);
    }
    qsizetype sharedStringCount() const { return qsizetype(starts_.size()) - 1; }

    QString path_;
    QStringList names_;
    QStringList parts_;    // each sheet's
    std::string strings_;  // the shared strings in UTF-8, one after the other
    std::vector<std::uint32_t> starts_{0};
    std::vector<std::uint32_t> withNul_;  // the strings that hold a NUL, in rising order
    XlsxLimits limits_;
    mutable std::uint64_t inflated_ = 0;  // by all parts so far, against limits_.inflated
    mutable std::vector<std::pair<QString, QString>> opened_;  // sheets opened, with their parts
};

}  // namespace velmora::mkdb
