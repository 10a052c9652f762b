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
                      .arg(what, hint, quotedList(book.sheetNames()))}};
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

}  // namespace velmora::mkdb
