#include "dbwriter.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>

namespace velmora::mkdb {

namespace {

QString createTableSql() {
    QString sql = QStringLiteral("CREATE TABLE CSR14 (");
    for (int c = 0; c < kColumnCount; ++c) {
        if (c > 0) sql += QStringLiteral(", ");
        sql += QString::fromLatin1(kColumns[c].name);
        if (c == columnIndex("Description"))
            sql += QStringLiteral(" TEXT COLLATE NOCASE");  // the list is ordered ignoring case
        else
            sql += kColumns[c].type == ColumnType::Real ? QStringLiteral(" REAL")
                                                        : QStringLiteral(" TEXT");
    }
    return sql + u')';
}

QString insertSql() {
    QString sql = QStringLiteral("INSERT INTO CSR14 VALUES (");
    for (int c = 0; c < kColumnCount; ++c)
        sql += c == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
    return sql + u')';
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Writes the whole table into the (empty) database file at `path`; returns SQLite's error text.
std::optional<QString> writeTo(const QString& path, const FoodTable& table) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db db(raw);
    if (opened != SQLITE_OK)
        return raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory");

    const auto error = [&] { return QString::fromUtf8(sqlite3_errmsg(db.get())); };
    const auto exec = [&](const QString& sql) {
        return sqlite3_exec(db.get(), sql.toUtf8().constData(), nullptr, nullptr, nullptr) ==
               SQLITE_OK;
    };

    // DELETE is SQLite's default, but say so: the file is shipped and opened read-only, which a
    // WAL database would not allow everywhere.
    if (!exec(QStringLiteral("PRAGMA journal_mode = DELETE")) || !exec(QStringLiteral("BEGIN")) ||
        !exec(createTableSql()))
        return error();

    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), insertSql().toUtf8().constData(), -1, &rawStatement,
                           nullptr) != SQLITE_OK)
        return error();
    Statement insert(rawStatement);
    for (const FoodRow& row : table) {
        for (int c = 0; c < kColumnCount; ++c) {
            const Cell& cell = row[c];
            int bound = SQLITE_OK;
            if (const double* number = std::get_if<double>(&cell)) {
                bound = sqlite3_bind_double(insert.get(), c + 1, *number);
            } else if (const QString* text = std::get_if<QString>(&cell)) {
                const QByteArray utf8 = text->toUtf8();
                bound = sqlite3_bind_text(insert.get(), c + 1, utf8.constData(),
                                          static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            } else {
                bound = sqlite3_bind_null(insert.get(), c + 1);
            }
            if (bound != SQLITE_OK) return error();
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE) return error();
        sqlite3_reset(insert.get());
    }
    insert.reset();

    // Built after the rows (faster than keeping it up to date); it lets the ordered query walk
    // the index instead of sorting the table on every open.
    if (!exec(QStringLiteral(
            "CREATE INDEX CSR14_Description ON CSR14 (Description COLLATE NOCASE)")) ||
        !exec(QStringLiteral("COMMIT")))
        return error();
    if (sqlite3_close(db.release()) != SQLITE_OK) return QStringLiteral("cannot close database");
    return std::nullopt;
}

}  // namespace

std::optional<QString> writeFoodDatabase(const FoodTable& table, const QString& outPath) {
    const QFileInfo out(outPath);
    if (out.isDir()) return QStringLiteral("%1: is a folder").arg(outPath);

    // In the output's own folder, so the final rename stays on one file system and is atomic.
    QTemporaryFile temp(out.absolutePath() + QStringLiteral("/.") + out.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return QStringLiteral("%1: cannot create a temporary file: %2")
            .arg(outPath, temp.errorString());
    const QString tempPath = temp.fileName();
    temp.close();  // SQLite opens it by name; the object still removes it on every early return
    const QString journalPath = tempPath + QStringLiteral("-journal");

    if (const auto error = writeTo(tempPath, table)) {
        QFile::remove(journalPath);  // normally gone already after the rollback
        return QStringLiteral("%1: %2").arg(outPath, *error);
    }

    // QTemporaryFile makes the file private to its owner; the table is meant to be read by anyone.
    QFile::setPermissions(tempPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                        QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);

    // std::filesystem::rename replaces an existing file in one step; QFile::rename would refuse.
    std::error_code renamed;
    std::filesystem::rename(QFile::encodeName(tempPath).toStdString(),
                            QFile::encodeName(outPath).toStdString(), renamed);
    if (renamed)
        return QStringLiteral("%1: cannot replace: %2")
            .arg(outPath, QString::fromStdString(renamed.message()));
    temp.setAutoRemove(false);
    return std::nullopt;
}

}  // namespace velmora::mkdb
