// SPDX-License-Identifier: GPL-3.0-or-later
// What the national tables published as .xlsx workbooks (CoFID, BLS, AFCD) share: finding sheets
// and columns by their headers, and reading a row's amounts. A refusal names the file, the sheet
// and the row (and the cell where one is at fault).
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <array>
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
    void add(int column, const QString& nutrient, Unit unit, const QString& header) {
        if (column >= int(slots_.size())) slots_.resize(std::size_t(column) + 1, -1);
        slots_[std::size_t(column)] = int(columns_.size());
        columns_.push_back({nutrient, unit, printable(header.simplified())});
    }
    bool isEmpty() const { return columns_.empty(); }
    bool has(const QString& nutrient) const {
        return std::any_of(columns_.begin(), columns_.end(),
                           [&](const Column& c) { return c.nutrient == nutrient; });
    }

    // Appends the current row's amounts to `amounts`; a cell that is no amount is refused.
    void read(const XlsxSheet& sheet, std::vector<SourceAmount>& amounts) const {
        for (const XlsxCell& cell : sheet.cells()) {
            const int slot =
                cell.column < int(slots_.size()) ? slots_[std::size_t(cell.column)] : -1;
            if (slot < 0) continue;
            const Column& c = columns_[std::size_t(slot)];
            const auto amount = marked(sheet, cell, c.header);
            amounts.push_back({c.nutrient, c.unit, amount});
        }
    }

  private:
    // A number cell as the number it holds; a text cell as agencies mark amounts.
    static MarkedAmount marked(const XlsxSheet& sheet, const XlsxCell& cell,
                               const QString& header) {
        QString problem;
        if (cell.type == XlsxCell::Type::Number) {
            const Amount amount = cell.amount();
            if (amount.problem.isEmpty()) return {Marker::Value, amount.value};
            problem = quoted(cell.text) + u' ' + amount.problem;
        } else if (const auto amount = readMarkedAmount(cell.text, '.', problem)) {
            return *amount;
        }
        throw Fault{sheet.at(cell.column, header + QStringLiteral(": ") + problem)};
    }

    struct Column {
        QString nutrient;  // shared by every amount read from it
        Unit unit;
        QString header;  // for messages
    };
    std::vector<int> slots_;  // by sheet column: index in columns_, or -1
    std::vector<Column> columns_;
};

}  // namespace velmora::mkdb
