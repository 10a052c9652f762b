// SPDX-License-Identifier: GPL-3.0-or-later
// How the data control reaches a food table it only reads: through SQLite's own log of a program
// that writes it, so that one record set sees one committed state of it; as it stands when nobody
// writes it; and, where its folder cannot hold SQLite's shared-memory file, through a private copy
// that is itself one committed state. Whatever it makes (that file beside the table, the copy) it
// removes again, also when the run is interrupted; a copy left by a killed run is removed by the
// next one.
#pragma once

#include "fooddb/sqlite.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace velmora {

class PrivateCopy {
  public:
    PrivateCopy() = default;
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    // Copies the table at `table` and its log into the temporary folder, in one attempt, while no
    // writer can change either; the path of the copy. `file` names the table in messages. Throws
    // RunTimeError.
    QByteArray make(const QByteArray& table, const QString& file);
    void remove();

  private:
    QByteArray files_[3];  // the copy, its log and SQLite's shared-memory file beside it
    int lock_ = -1;        // held while the copy is in use: a later run leaves it alone
};

class TableFile {
  public:
    using Configure = std::function<void(sqlite::Database&)>;

    TableFile() = default;
    ~TableFile() { close(); }
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    // Opens the table at `path` (links resolved) read-only and has `configure` set the connection
    // up; `file` names it in messages. Throws sqlite::Error for the engine's faults, RunTimeError
    // for the others.
    void open(const QByteArray& path, const QString& file, Configure configure);
    void close();
    const sqlite::Database& db() const { return db_; }

    // Starts the reading of a new record set: one read transaction, so everything read for it
    // shows one committed state. A table read through a log keeps that state until the next
    // record set, for the rows read later by key; others are let go by endRecordset().
    void beginRecordset();
    void endRecordset() noexcept;

    // The table was read as it stands, a writer has come since, and what was read may mix two
    // states of it: reopen() reads it through that writer's log from now on.
    bool writerCame() const;
    void reopen();

  private:
    enum class Mode { Rollback, AsItStands, Log, Copy };
    void openAs(Mode mode);
    void removeOwnSharedMemory();

    QByteArray path_;
    QString file_;
    Configure configure_;
    Mode mode_ = Mode::Rollback;
    int guard_ = -1;        // a reader's lock on the table while it is read as it stands
    bool madeShm_ = false;  // SQLite made its shared-memory file beside the table for us
    PrivateCopy copy_;      // outlives db_, which may read from it
    sqlite::Database db_;
};

// Removes the private copies in the temporary folder that no running program holds.
void removeLeftCopies();

}  // namespace velmora
