// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/program/tablewriter.h"

#include "common/interruptcleanup.h"
#include "common/outsidetext.h"
#include "fooddb/foodtableid.h"
#include "fooddb/sqlite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace velmora::mkdb {

namespace {

constexpr std::string_view kTempPrefix = ".velmora-mkdb.";
constexpr std::size_t kTempRandom = 6;  // mkstemp's XXXXXX

QString createTableSql() {
    QString sql = QStringLiteral("CREATE TABLE CSR14 (");
    for (int c = 0; c < kColumnCount; ++c) {
        if (c > 0) sql += QStringLiteral(", ");
        sql += QLatin1StringView(kColumns[std::size_t(c)].name);
        if (c == columnIndex("Description"))
            sql += QStringLiteral(" TEXT COLLATE NOCASE");  // the list is ordered ignoring case
        else
            sql += kColumns[std::size_t(c)].type == ColumnType::Real ? QStringLiteral(" REAL")
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

// Inserts each row it is given.
class RowWriter {
  public:
    explicit RowWriter(const sqlite::Database& db) : insert_(db.prepare(insertSql())) {}
    void operator()(const FoodRow& row) {
        for (int c = 0; c < kColumnCount; ++c) {
            const Cell& cell = row[std::size_t(c)];
            if (cell.kind == Cell::Kind::Number)
                insert_.bind(c + 1, cell.number);
            else if (cell.kind == Cell::Kind::Text)
                insert_.bind(c + 1, QByteArrayView(cell.text.data(), qsizetype(cell.text.size())));
            else
                insert_.bindNull(c + 1);
        }
        insert_.step();
        insert_.reset();
    }

  private:
    sqlite::Statement insert_;
};

// Writes the table into the (empty) database file at `path`: the rows `produce` makes, the
// indexes, then the rows `more` makes while it reads the table.
void writeTo(const QByteArray& path, const DatabaseOutput::Produce& produce,
             const DatabaseOutput::MoreRows& more) {
    sqlite::Database db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // DELETE is SQLite's default, but say so: the file is shipped and opened read-only, which a
    // WAL database would not allow everywhere.
    db.exec("PRAGMA journal_mode = DELETE");
    // The mark by which the desktop and the programs know the file for a food table.
    db.exec(QStringLiteral("PRAGMA application_id = %1").arg(qint32(kFoodTableApplicationId)));
    // The file is private until it is renamed, and removed after any failure: nothing is synced
    // on the way, the finished file once before the rename.
    db.exec("PRAGMA synchronous = OFF");
    {
        sqlite::Transaction transaction(db);
        db.exec(createTableSql());
        RowWriter insert(db);
        const std::optional<SourceRecord> source =
            produce([&](const FoodRow& row) { insert(row); });
        if (source) writeSourceRecord(db, *source);
        // Built after the rows (faster than keeping them up to date). The description index lets
        // the ordered list query walk it instead of sorting the table on every open, and both
        // serve the lookups of a food by description or NDB number; ANALYZE lets the planner
        // know them. NDB numbers with letters (a recipe's R12, many national codes) are
        // compared ignoring case, which the column's own order cannot serve.
        db.exec("CREATE INDEX CSR14_Description ON CSR14 (Description COLLATE NOCASE)");
        db.exec("CREATE INDEX CSR14_NDB_NO ON CSR14 (NDB_NO)");
        db.exec("CREATE INDEX CSR14_NDB_NO_NOCASE ON CSR14 (NDB_NO COLLATE NOCASE)");
        db.exec("ANALYZE");
        transaction.commit();
    }
    if (more) {
        // Each row committed as it comes: the reader of the table, a connection of its own, sees
        // it at its next read.
        RowWriter insert(db);
        more(decodeFileName(path), [&](const FoodRow& row) { insert(row); });
    }
    db.close();
}

namespace fs = std::filesystem;

fs::path fsPath(const QString& path) {
    return fs::path(encodeFileName(path).toStdString());
}

QString systemError(const std::error_code& error) {
    return QString::fromStdString(error.message());
}

// Why `outPath` must not be written, or nothing; `target` gets the file to replace.
std::optional<QString> refusal(const QString& outPath, const QStringList& inputs,
                               QByteArray& target) {
    const fs::path out = fsPath(outPath);
    std::error_code error;
    const fs::file_status entry = fs::symlink_status(out, error);
    target = encodeFileName(outPath);
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
            return QStringLiteral("is the same file as the input %1").arg(printableLine(input));
    if (fs::is_symlink(entry)) {
        const fs::path file = fs::canonical(out, error);
        if (error) return systemError(error);
        target = QByteArray::fromStdString(file.native());
    }
    return std::nullopt;
}

// A lock on the folder itself while its left-over temporary files are looked at and a new one is
// made and locked, so no run takes another's newly made file for a left-over one. Waits a bounded
// time: a folder someone keeps locked only costs the clean-up.
class FolderLock {
  public:
    explicit FolderLock(const QByteArray& folder)
        : fd_(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        for (int tries = 0; fd_ >= 0 && tries < 200; ++tries) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // drops the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return locked_; }

  private:
    int fd_;
    bool locked_ = false;
};

}  // namespace

DatabaseOutput::~DatabaseOutput() {
    if (tempPath_.isEmpty()) return;
    if (!renamed_) {
        ::unlink(journalPath_.constData());  // normally gone already after a rollback
        ::unlink(tempPath_.constData());
    }
    ::close(lock_);
    // Only now: a signal between the removal and this finds nothing left to remove.
    RemovedOnInterrupt::forget(tempPath_.constData());
    RemovedOnInterrupt::forget(journalPath_.constData());
}

std::optional<QString> DatabaseOutput::open(const QString& outPath, const QStringList& inputs) {
    outPath_ = outPath;
    if (const auto refused = refusal(outPath, inputs, target_))
        return QStringLiteral("%1: %2").arg(printableLine(outPath), *refused);

    // In the replaced file's own folder, so the final rename stays on one file system and is
    // atomic. A fixed short name: one made from the output's name could pass the file name limit.
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : target_.left(slash);
    QByteArray temp = folder + '/' + QByteArray(kTempPrefix.data(), kTempPrefix.size()) +
                      QByteArray(kTempRandom, 'X');
    const FolderLock folderLock(folder);
    // Those of a build killed outright, which could not clean up after itself. The folder's lock
    // keeps a build from finding another's file between its creation and its lock.
    if (folderLock.locked())
        removeLeftFiles(std::string_view(folder.constData(), std::size_t(folder.size())),
                        kTempPrefix, kTempRandom, {"-journal"}, true);
    const RemovedOnInterrupt::Hold hold;
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1: cannot create a temporary file: %2")
            .arg(printableLine(outPath), QString::fromLocal8Bit(std::strerror(errno)));
    ::flock(fd, LOCK_EX | LOCK_NB);  // a new file: nobody else holds it
    lock_ = fd;
    tempPath_ = temp;
    journalPath_ = tempPath_ + "-journal";
    RemovedOnInterrupt::add(tempPath_.constData());
    RemovedOnInterrupt::add(journalPath_.constData());
    return std::nullopt;
}

std::optional<QString> DatabaseOutput::write(const Produce& produce, const MoreRows& more) {
    try {
        writeTo(tempPath_, produce, more);
    } catch (const sqlite::Error& e) {
        return QStringLiteral("%1: %2").arg(printableLine(outPath_), e.message());
    }
    if (::fsync(lock_) != 0)
        return QStringLiteral("%1: cannot write: %2")
            .arg(printableLine(outPath_), QString::fromLocal8Bit(std::strerror(errno)));

    // mkstemp makes the file private to its owner; the table is meant to be read by anyone.
    ::fchmod(lock_, 0644);

    // rename replaces an existing file in one step.
    if (::rename(tempPath_.constData(), target_.constData()) != 0)
        return QStringLiteral("%1: cannot replace: %2")
            .arg(printableLine(outPath_), QString::fromLocal8Bit(std::strerror(errno)));
    renamed_ = true;
    return std::nullopt;
}

}  // namespace velmora::mkdb
