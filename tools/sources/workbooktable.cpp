// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/workbooktable.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"

#include <algorithm>

namespace velmora::mkdb {

// The text of the current row's cell in `column`, blanks around it removed; empty for none.
QString textAt(const XlsxSheet& sheet, int column) {
    const XlsxCell* cell = column >= 0 ? sheet.cell(column) : nullptr;
    return cell ? fromUtf8(cell->text).trimmed() : QString();
}

// A header as headers are compared: blanks and line breaks collapsed, case ignored.
QString headerKey(const QString& text) {
    return text.simplified().toCaseFolded();
}

QString quotedList(const QStringList& names) {
    QStringList list;
    for (const QString& name : names) list << quoted(name);
    return list.join(u", ");
}

// A fault of the sheet as a whole, at the row read last.
Fault sheetFault(const XlsxWorkbook& book, const XlsxSheet& sheet, const QString& what) {
    return Fault{{book.fileName(), std::max<qsizetype>(sheet.row(), 1), 1,
                  QStringLiteral("sheet %1: %2").arg(quoted(sheet.name()), what)}};
}

// `hint` is "one whose name starts with ...; " where a prefix finds the sheet.
Fault noSheet(const XlsxWorkbook& book, const QString& what, const QString& hint) {
    return Fault{{book.fileName(), 1, 1,
                  QStringLiteral("the workbook has no %1 (%2its sheets: %3)")
                      .arg(what, hint, book.sheetList())}};
}

// Reads the sheet's next row, which must be there: `what` names it.
void needRow(const XlsxWorkbook& book, XlsxSheet& sheet, const char* what) {
    if (!sheet.next())
        throw sheetFault(book, sheet, QStringLiteral("no %1").arg(QLatin1StringView(what)));
}

// The column of the current row headed `name`, or -1.
int columnHeaded(const XlsxSheet& sheet, QStringView name) {
    const QString key = headerKey(name.toString());
    for (const XlsxCell& cell : sheet.cells())
        if (headerKey(fromUtf8(cell.text)) == key) return cell.column;
    return -1;
}

int requiredColumn(const XlsxWorkbook& book, const XlsxSheet& sheet, QStringView name) {
    const int column = columnHeaded(sheet, name);
    if (column < 0)
        throw sheetFault(book, sheet,
                         QStringLiteral("no column \"%1\" in the header row").arg(name));
    return column;
}

// A row's food code; a row with cells but none is refused.
QString requiredCode(const XlsxSheet& sheet, int column, QStringView header) {
    QString code = textAt(sheet, column);
    if (code.isEmpty()) throw Fault{sheet.at(column, QStringLiteral("no %1").arg(header))};
    return code;
}

QString lastMatch(const QString& text, const QRegularExpression& pattern, int group) {
    QString found;
    for (const QRegularExpressionMatch& m : pattern.globalMatch(text)) found = m.captured(group);
    return found;
}

QString fileNameOf(const QString& path) {
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

void AmountColumns::add(int column, const QString& nutrient, Unit unit, const QString& header) {
    if (column >= int(slots_.size())) slots_.resize(std::size_t(column) + 1, -1);
    slots_[std::size_t(column)] = int(columns_.size());
    columns_.push_back({nutrient, unit, printable(header.simplified())});
}

void AmountColumns::read(const XlsxSheet& sheet, std::vector<SourceAmount>& amounts) const {
    for (const XlsxCell& cell : sheet.cells()) {
        const int slot = cell.column < int(slots_.size()) ? slots_[std::size_t(cell.column)] : -1;
        if (slot < 0) continue;
        const Column& c = columns_[std::size_t(slot)];
        amounts.push_back({c.nutrient, c.unit, marked(sheet, cell, c)});
    }
}

// A number cell as the number it holds; a text cell as agencies mark amounts; a Boolean or an
// error is none.
MarkedAmount AmountColumns::marked(const XlsxSheet& sheet, const XlsxCell& cell,
                                   const Column& c) const {
    QString problem;
    std::optional<MarkedAmount> amount;
    if (cell.type == XlsxCell::Type::Boolean) {
        problem = QStringLiteral("%1 (a Boolean cell) is not a number")
                      .arg(cell.text == "0" ? u"FALSE" : u"TRUE");
    } else if (cell.type == XlsxCell::Type::Number) {
        const Amount number = cell.amount();
        if (number.problem.isEmpty())
            amount = MarkedAmount{Marker::Value, number.value};
        else
            problem = quoted(cell.text) + u' ' + number.problem;
    } else {
        amount = readMarkedAmount(cell.text, '.', problem);
    }
    if (amount) problem = conversionProblem(mapping_, c.nutrient, c.unit, amount->value);
    if (amount && problem.isEmpty()) return *amount;
    if (amount) problem = quoted(cell.text) + u' ' + problem;
    throw Fault{sheet.at(cell.column, c.header + QStringLiteral(": ") + problem)};
}

}  // namespace velmora::mkdb
