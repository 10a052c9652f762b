// SPDX-License-Identifier: GPL-3.0-or-later
#include "floor.h"

#include "common/designwidgets.h"
#include "fooddb/jetlike.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTextEdit>

#include <sqlite3.h>

#include <cstdio>

namespace velmora::bench {

QByteArray builtInSearchQuery(const QString& term) {
    return (QStringLiteral("SELECT rowid, Description FROM CSR14 WHERE description LIKE '%") +
            QString(term).replace(u'\'', QStringLiteral("''")) +
            QStringLiteral("%' ORDER BY description"))
        .toUtf8();
}

void DbClose::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

Db openTable(const QString& path, bool jetLike) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path),
                     raw ? sqlite3_errmsg(raw) : "out of memory");
        return nullptr;
    }
    if (jetLike && registerJetLike(raw) != SQLITE_OK) {
        std::fprintf(stderr, "cannot register LIKE: %s\n", sqlite3_errmsg(raw));
        return nullptr;
    }
    return db;
}

bool readRows(sqlite3* db, const QByteArray& sql, RowStore& out) {
    // The same rows in the same order, one column read through the index.
    QByteArray keyed(sql);
    const QByteArray star = "Select ALL * From CSR14";
    if (keyed.startsWith(star))
        keyed.replace(0, star.size(), "SELECT rowid, Description FROM CSR14");
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, keyed.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "query failed: %s\n", sqlite3_errmsg(db));
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        out.keys.push_back(sqlite3_column_int64(stmt, 0));
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
        out.descriptions.append(QString::fromUtf8(t, sqlite3_column_bytes(stmt, 1)));
        ++out.rows;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        std::fprintf(stderr, "query failed: %s\n", sqlite3_errmsg(db));
        return false;
    }
    return true;
}

std::unique_ptr<QListView> makeFloorList(QStringListModel* model, QWidget* parent) {
    auto view = std::make_unique<QListView>(parent);
    // Same as the program's list: without it a plain list view measures every row on show.
    view->setUniformItemSizes(true);
    view->setModel(model);
    view->resize(tw(5880), tw(5325));
    return view;
}

FloorWindow makeFloorWindow(QStringListModel* model) {
    FloorWindow floor;
    floor.window = std::make_unique<QMainWindow>();
    floor.window->setWindowTitle(QStringLiteral("Velmora"));
    auto* client = new QWidget;
    floor.window->setCentralWidget(client);
    floor.list = new QListView(client);
    floor.list->setUniformItemSizes(true);  // as the program's list: else every row is measured
    floor.list->setModel(model);
    floor.list->setGeometry(twipsRect(105, 705, 5880, 5325));
    floor.text = new QPlainTextEdit(client);
    floor.text->setReadOnly(true);
    floor.text->setFont(designFont(u"Arial", 9));
    floor.text->setGeometry(twipsRect(6165, 225, 5235, 7635));
    // The rest of the first screen, plainly: menu, record label, search row and quick help.
    for (const char* caption : {"Instructions", "Information on Daily Values", "Program Info",
                                "Adjust Portion Size", "Calculate Percent Daily Values", "Exit"})
        floor.window->menuBar()->addAction(QString::fromLatin1(caption));
    (new QLabel(QStringLiteral("Food Database Item Number 1 of 1"), client))
        ->setGeometry(twipsRect(120, 285, 4005, 315));
    (new QLineEdit(client))->setGeometry(twipsRect(105, 6120, 1785, 360));
    int left = 1950;
    for (const char* caption : {"Search", "Reset", "Page Up", "Page Down"}) {
        (new QPushButton(QString::fromLatin1(caption), client))
            ->setGeometry(twipsRect(left, 6135, 1000, 330));
        left += 1015;
    }
    auto* help = new QTextEdit(client);
    help->setPlainText(
        QStringLiteral("Click on an item in the food list to display its "
                       "nutritional value.  To refill the food list with all items "
                       "click the Reset button."));
    help->setGeometry(twipsRect(105, 6525, 5895, 1275));
    floor.window->setFixedSize(tw(11910), tw(9000));
    return floor;
}

QString recordText(sqlite3* db, std::int64_t rowid) {
    sqlite3_stmt* stmt = nullptr;
    QString text;
    if (sqlite3_prepare_v2(db, "SELECT * FROM CSR14 WHERE rowid = ?", -1, &stmt, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_int64(stmt, 1, rowid);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                text +=
                    QString::fromUtf8(sqlite3_column_name(stmt, c)) + QStringLiteral(": ") +
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                      sqlite3_column_bytes(stmt, c)) +
                    u'\n';
    }
    sqlite3_finalize(stmt);
    return text;
}

}  // namespace velmora::bench
