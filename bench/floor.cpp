#include "floor.h"

#include "common/designwidgets.h"
#include "fooddb/jetlike.h"

#include <QFile>
#include <QListView>
#include <QStringListModel>

#include <sqlite3.h>

#include <cstdio>

namespace velmora::bench {

QByteArray searchQuery(const QString& term) {
    // The program's own wording: no blank after LIKE and none before Order.
    return (QStringLiteral("Select ALL * From CSR14 WHERE description LIKE'*") + term +
            QStringLiteral("*'Order by description"))
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

bool readRows(sqlite3* db, const char* sql, RowStore& out) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "query failed: %s\n", sqlite3_errmsg(db));
        return false;
    }
    const int columns = sqlite3_column_count(stmt);
    int descriptionColumn = 0;
    for (int c = 0; c < columns; ++c)
        if (sqlite3_stricmp(sqlite3_column_name(stmt, c), "Description") == 0)
            descriptionColumn = c;

    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const int type = sqlite3_column_type(stmt, c);
            out.types.push_back(static_cast<unsigned char>(type));
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                out.numbers.push_back(sqlite3_column_double(stmt, c));
            } else if (type != SQLITE_NULL) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                const int n = sqlite3_column_bytes(stmt, c);
                out.text.append(t, static_cast<std::size_t>(n));
                out.textEnds.push_back(static_cast<std::uint32_t>(out.text.size()));
                if (c == descriptionColumn) out.descriptions.append(QString::fromUtf8(t, n));
            } else if (c == descriptionColumn) {
                out.descriptions.append(QString());  // a row without a description still shows
            }
        }
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
