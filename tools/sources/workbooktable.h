// SPDX-License-Identifier: GPL-3.0-or-later
// What the national tables published as .xlsx workbooks (CoFID, BLS, AFCD) share: finding sheets
// and columns by their headers, and reading a row's amounts. A refusal names the file, the sheet
// and the row (and the cell where one is at fault).
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "tools/formats/xlsxreader.h"
#include "tools/sources/nationaltable.h"

namespace velmora::mkdb {

// A nutrient a workbook names, the column it goes to, and its unit where the workbook states
// none.
struct SheetNutrient {
    std::string_view nutrient;
    int column;
    Unit unit = Unit::Unknown;
};

template <std::size_t N>
constexpr std::array<NutrientMapping, N> mappingOf(const std::array<SheetNutrient, N>& nutrients) {
    std::array<NutrientMapping, N> mapping{};
    for (std::size_t i = 0; i < N; ++i) mapping[i] = {nutrients[i].nutrient, nutrients[i].column};
    return mapping;
}

// The text of the current row's cell in `column`, blanks around it removed; empty for none.
QString textAt(const XlsxSheet& sheet, int column);
// A header as headers are compared: blanks and line breaks collapsed, case ignored.
QString headerKey(const QString& text);
// A fault of the sheet as a whole, at the row read last.
Fault sheetFault(const XlsxWorkbook& book, const XlsxSheet& sheet, const QString& what);
// `hint` is "one whose name starts with ...; " where a prefix finds the sheet.
Fault noSheet(const XlsxWorkbook& book, const QString& what, const QString& hint = {});
// Reads the sheet's next row, which must be there: `what` names it.
void needRow(const XlsxWorkbook& book, XlsxSheet& sheet, const char* what);
// The column of the current row headed `name`, or -1.
int columnHeaded(const XlsxSheet& sheet, QStringView name);
int requiredColumn(const XlsxWorkbook& book, const XlsxSheet& sheet, QStringView name);
// A row's food code; a row with cells but none is refused.
QString requiredCode(const XlsxSheet& sheet, int column, QStringView header);
// The last match of `pattern` in `text`, its group `group`; empty for none.
QString lastMatch(const QString& text, const QRegularExpression& pattern, int group);
QString fileNameOf(const QString& path);
// The names quoted, separated by commas.
QString quotedList(const QStringList& names);

// The columns of a sheet that hold amounts, and the reading of a row's amounts.
class AmountColumns {
  public:
    // `mapping` is the source's, for the bound an amount must keep in its column's unit.
    explicit AmountColumns(std::span<const NutrientMapping> mapping) : mapping_(mapping) {}
    void add(int column, const QString& nutrient, Unit unit, const QString& header);
    bool isEmpty() const { return columns_.empty(); }

    // Appends the current row's amounts to `amounts`; a cell that is no amount, or one that
    // leaves the bound in its column's unit, is refused.
    void read(const XlsxSheet& sheet, std::vector<SourceAmount>& amounts) const;

  private:
    struct Column {
        QString nutrient;  // shared by every amount read from it
        Unit unit;
        QString header;  // for messages
    };
    MarkedAmount marked(const XlsxSheet& sheet, const XlsxCell& cell, const Column& c) const;

    std::span<const NutrientMapping> mapping_;
    std::vector<int> slots_;  // by sheet column: index in columns_, or -1
    std::vector<Column> columns_;
};

}  // namespace velmora::mkdb
