// SPDX-License-Identifier: GPL-3.0-or-later
// The least work any program has to do for the same visible result: the rows read through the
// SQLite C API into memory, and the descriptions shown by a plain list model in a plain list view.
// The benchmark measures Velmora against it; the start-up floor program, which reads less, shares
// only the table's opening.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
class QListView;
class QMainWindow;
class QPlainTextEdit;
class QStringListModel;
class QWidget;

namespace velmora::bench {

// The same rows as the program's search for `term`, with SQLite's own LIKE.
QByteArray builtInSearchQuery(const QString& term);

// What the first screen needs of a query result: the descriptions in list order, and each row's
// key for reading the current record when it is shown.
struct RowStore {
    std::vector<std::int64_t> keys;
    QStringList descriptions;
    std::size_t rows = 0;
};

struct DbClose {
    void operator()(sqlite3* db) const;
};
using Db = std::unique_ptr<sqlite3, DbClose>;

// Opens the food table read-only; with the program's LIKE rules when `jetLike` is set. Null (and
// a message on stderr) when it cannot be opened.
Db openTable(const QString& path, bool jetLike);

// Runs `sql` ("Select ALL * From CSR14 ..." or a query of rowid and Description) for its keys and
// descriptions only, and reads them
// into `out`. False (and a message on stderr) on an error.
bool readRows(sqlite3* db, const QByteArray& sql, RowStore& out);

// A plain list of the descriptions, as wide and tall as the program's list.
std::unique_ptr<QListView> makeFloorList(QStringListModel* model, QWidget* parent = nullptr);

// The first screen with the least code: a main window with the list of `model` at the program's
// list's place and, beside it, a plain text view where the program has its report, showing the
// fields of the food with key `rowid` (the list's current row), a "name: value" line each.
struct FloorWindow {
    std::unique_ptr<QMainWindow> window;
    QListView* list = nullptr;
    QPlainTextEdit* text = nullptr;
};
FloorWindow makeFloorWindow(QStringListModel* model);
QString recordText(sqlite3* db, std::int64_t rowid);

}  // namespace velmora::bench
