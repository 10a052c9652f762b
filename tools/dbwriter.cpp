#include "tools/dbwriter.h"

#include "fooddb/sqlite.h"

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

// Writes the whole table into the (empty) database file at `path`.
void writeTo(const QString& path, const FoodTable& table) {
    sqlite::Database db(QFile::encodeName(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // DELETE is SQLite's default, but say so: the file is shipped and opened read-only, which a
    // WAL database would not allow everywhere.
    db.exec("PRAGMA journal_mode = DELETE");
    sqlite::Transaction transaction(db);
    db.exec(createTableSql());
    {
        sqlite::Statement insert = db.prepare(insertSql());
        for (const FoodRow& row : table) {
            for (int c = 0; c < kColumnCount; ++c) {
                const Cell& cell = row[c];
                if (const double* number = std::get_if<double>(&cell))
                    insert.bind(c + 1, *number);
                else if (const QString* text = std::get_if<QString>(&cell))
                    insert.bind(c + 1, *text);
                else
                    insert.bindNull(c + 1);
            }
            insert.step();
            insert.reset();
        }
    }
    // Built after the rows (faster than keeping it up to date); it lets the ordered query walk
    // the index instead of sorting the table on every open.
    db.exec("CREATE INDEX CSR14_Description ON CSR14 (Description COLLATE NOCASE)");
    transaction.commit();
    db.close();
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

    try {
        writeTo(tempPath, table);
    } catch (const sqlite::Error& e) {
        QFile::remove(journalPath);  // normally gone already after the rollback
        return QStringLiteral("%1: %2").arg(outPath, e.message());
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
