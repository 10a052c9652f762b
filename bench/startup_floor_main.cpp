// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up floor: the least code that shows what a Velmora user sees at start. A frameless
// splash comes up first; then a main window with the food list beside the first food's fields as
// text; then the splash goes. It reads only what that screen needs: the descriptions in list order
// (from the index alone) and the 39 fields of the food on show, by rowid. Ctrl+Q quits.
//
//   velmora_startup_floor [PATH to Velmora.mdb]   (default: beside the program)

#include "common/designwidgets.h"
#include "floor.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringListModel>

#include <sqlite3.h>

#include <cstdio>
#include <vector>

namespace {

using velmora::tw;
using velmora::twipsRect;

// Every description in list order with its rowid. The index on Description covers the query, so
// the table's rows are never read.
bool readDescriptions(sqlite3* db, QStringList& descriptions, std::vector<sqlite3_int64>& rowids) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT rowid, Description FROM CSR14 ORDER BY Description", -1,
                           &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "query failed: %s\n", sqlite3_errmsg(db));
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(stmt, 0));
        descriptions.append(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
                              sqlite3_column_bytes(stmt, 1)));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) std::fprintf(stderr, "query failed: %s\n", sqlite3_errmsg(db));
    return rc == SQLITE_DONE;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString path =
        args.size() > 1
            ? args.at(1)
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Velmora.mdb"));

    // The program's splash size, its serif text and its one round of events before loading.
    QLabel splash(QStringLiteral("Velmora\n\nLoading Database.  Please wait...."), nullptr,
                  Qt::SplashScreen | Qt::FramelessWindowHint);
    splash.setAlignment(Qt::AlignCenter);
    splash.setFont(velmora::designFont(u"Times New Roman", 15.75, true));
    splash.setFixedSize(tw(7275), tw(4005));
    splash.show();
    QCoreApplication::processEvents();

    const velmora::bench::Db db = velmora::bench::openTable(path, false);
    QStringList descriptions;
    std::vector<sqlite3_int64> rowids;
    if (!db || !readDescriptions(db.get(), descriptions, rowids)) return 1;
    QStringListModel model(descriptions);  // declared before the window, so it outlives the view

    velmora::bench::FloorWindow floor = velmora::bench::makeFloorWindow(&model);
    QObject::connect(floor.list->selectionModel(), &QItemSelectionModel::currentChanged,
                     [&](const QModelIndex& current) {
                         if (current.isValid())
                             floor.text->setPlainText(velmora::bench::recordText(
                                 db.get(), rowids.at(std::size_t(current.row()))));
                     });
    floor.list->setCurrentIndex(model.index(0));
    QMainWindow& window = *floor.window;

    QShortcut quit(QKeySequence::Quit, &window);
    QObject::connect(&quit, &QShortcut::activated, &app, &QCoreApplication::quit);
    window.show();
    splash.close();
    return app.exec();
}
