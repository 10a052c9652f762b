// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dbwriter.h"

#include "fooddb/sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>

#include "tools/interruptcleanup.h"

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

namespace fs = std::filesystem;

fs::path fsPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString systemError(const std::error_code& error) {
    return QString::fromStdString(error.message());
}

// Why `outPath` must not be written, or nothing; `target` gets the file to replace.
std::optional<QString> refusal(const QString& outPath, const QStringList& inputs, QString& target) {
    const fs::path out = fsPath(outPath);
    std::error_code error;
    const fs::file_status entry = fs::symlink_status(out, error);
    target = outPath;
    if (entry.type() == fs::file_type::not_found) return std::nullopt;
    if (error) return systemError(error);

    const fs::file_status resolved = fs::status(out, error);
    if (resolved.type() == fs::file_type::not_found)
        return QStringLiteral("is a symbolic link to nothing");
    if (error) return systemError(error);
    if (fs::is_directory(resolved)) return QStringLiteral("is a folder");
    // Renaming over a device, a FIFO or a socket would replace it, not write into it.
    if (!fs::is_regular_file(resolved)) return QStringLiteral("is not a regular file");
    for (const QString& input : inputs)
        if (fs::equivalent(fsPath(input), out, error))
            return QStringLiteral("is the same file as the input %1").arg(input);
    if (fs::is_symlink(entry)) {
        const fs::path file = fs::canonical(out, error);
        if (error) return systemError(error);
        target = QFile::decodeName(QByteArray::fromStdString(file.native()));
    }
    return std::nullopt;
}

}  // namespace

DatabaseOutput::~DatabaseOutput() {
    if (tempPath_.isEmpty()) return;
    if (!renamed_) {
        QFile::remove(QFile::decodeName(journalPath_));  // normally gone already after a rollback
        QFile::remove(QFile::decodeName(tempPath_));
    }
    // Only now: a signal between the removal and this finds nothing left to remove.
    InterruptCleanup::disarm();
}

std::optional<QString> DatabaseOutput::open(const QString& outPath, const QStringList& inputs) {
    outPath_ = outPath;
    if (const auto refused = refusal(outPath, inputs, target_))
        return QStringLiteral("%1: %2").arg(outPath, *refused);

    // In the replaced file's own folder, so the final rename stays on one file system and is
    // atomic. A fixed short name: one made from the output's name could pass the file name limit.
    QTemporaryFile temp(QFileInfo(target_).absolutePath() +
                        QStringLiteral("/.velmora-mkdb.XXXXXX"));
    temp.setAutoRemove(false);  // SQLite opens it by name; this object removes it
    const InterruptCleanup::Hold hold;
    if (!temp.open())
        return QStringLiteral("%1: cannot create a temporary file: %2")
            .arg(outPath, temp.errorString());
    tempPath_ = QFile::encodeName(temp.fileName());
    journalPath_ = tempPath_ + "-journal";
    InterruptCleanup::arm(tempPath_.constData(), journalPath_.constData());
    return std::nullopt;
}

std::optional<QString> DatabaseOutput::write(const FoodTable& table) {
    const QString tempPath = QFile::decodeName(tempPath_);
    try {
        writeTo(tempPath, table);
    } catch (const sqlite::Error& e) {
        return QStringLiteral("%1: %2").arg(outPath_, e.message());
    }

    // QTemporaryFile makes the file private to its owner; the table is meant to be read by anyone.
    QFile::setPermissions(tempPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                        QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);

    // std::filesystem::rename replaces an existing file in one step; QFile::rename would refuse.
    std::error_code renamed;
    std::filesystem::rename(tempPath_.toStdString(), QFile::encodeName(target_).toStdString(),
                            renamed);
    if (renamed)
        return QStringLiteral("%1: cannot replace: %2")
            .arg(outPath_, QString::fromStdString(renamed.message()));
    renamed_ = true;
    return std::nullopt;
}

}  // namespace velmora::mkdb
