// SPDX-License-Identifier: GPL-3.0-or-later
#include "scaledtable.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <memory>

namespace velmora::bench {

namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// Every row of a one-column query, as text.
QStringList column(sqlite3* db, const char* sql, int col, QString& error) {
    QStringList out;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        return out;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        if (t) out.append(QString::fromUtf8(t));
    }
    sqlite3_finalize(stmt);
    return out;
}

// Attaches the table at `shippedPath` as "src"; the error, if any.
QString attachSource(sqlite3* db, const QString& shippedPath) {
    sqlite3_stmt* attach = nullptr;
    sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS src", -1, &attach, nullptr);
    const QByteArray shipped = QFile::encodeName(shippedPath);
    sqlite3_bind_text(attach, 1, shipped.constData(), static_cast<int>(shipped.size()),
                      SQLITE_TRANSIENT);
    const int attached = sqlite3_step(attach);
    sqlite3_finalize(attach);
    return attached == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
}

// The columns `names` as copy number `copy` selects them: from the second on, the description
// says which copy it is.
QString copyColumns(const QStringList& names, int copy) {
    QStringList select;
    for (const QString& name : names) {
        const QString quoted = u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
        if (name.compare(QLatin1String("Description"), Qt::CaseInsensitive) == 0 && copy > 1)
            select.append(quoted + QStringLiteral(" || ', copy %1'").arg(copy));
        else
            select.append(quoted);
    }
    return select.join(QStringLiteral(", "));
}

}  // namespace

QString buildScaledTable(const QString& shippedPath, const QString& outPath, int copies) {
    QFile::remove(outPath);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(outPath).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        return raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory");
    if (const QString error = attachSource(db.get(), shippedPath); !error.isEmpty()) return error;

    QString error;
    const QStringList tableSql = column(
        db.get(), "SELECT sql FROM src.sqlite_master WHERE type = 'table' AND name = 'CSR14'", 0,
        error);
    const QStringList indexSql = column(
        db.get(), "SELECT sql FROM src.sqlite_master WHERE type = 'index' AND sql IS NOT NULL", 0,
        error);
    const QStringList names = column(db.get(), "PRAGMA src.table_info(CSR14)", 1, error);
    if (!error.isEmpty()) return error;
    if (tableSql.size() != 1 || names.isEmpty())
        return QStringLiteral("no table CSR14 in ") + shippedPath;

    const auto exec = [&](const QString& sql) {
        if (!error.isEmpty()) return;
        char* msg = nullptr;
        if (sqlite3_exec(db.get(), sql.toUtf8().constData(), nullptr, nullptr, &msg) != SQLITE_OK)
            error = QString::fromUtf8(msg ? msg : "unknown error") + QStringLiteral(" in: ") + sql;
        sqlite3_free(msg);
    };
    // Speed over safety: the file is scratch and thrown away after the run.
    exec(QStringLiteral("PRAGMA main.journal_mode = OFF"));
    exec(QStringLiteral("PRAGMA main.synchronous = OFF"));
    exec(QStringLiteral("BEGIN"));
    exec(tableSql.first());
    for (int copy = 1; copy <= copies; ++copy)
        exec(QStringLiteral("INSERT INTO main.CSR14 SELECT ") + copyColumns(names, copy) +
             QStringLiteral(" FROM src.CSR14"));
    // Indexes after the rows, as the table's own builder does.
    for (const QString& sql : indexSql) exec(sql);
    exec(QStringLiteral("COMMIT"));
    exec(QStringLiteral("DETACH DATABASE src"));
    return error;
}

}  // namespace velmora::bench
