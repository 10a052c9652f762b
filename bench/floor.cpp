// SPDX-License-Identifier: GPL-3.0-or-later
#include "floor.h"

#include "common/designwidgets.h"
#include "fooddb/jetlike.h"

#include <QFile>
#include <QListView>
#include <QStringListModel>

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

}  // namespace velmora::bench
