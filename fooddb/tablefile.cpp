// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/tablefile.h"

#include "common/interruptcleanup.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "fooddb/dataerrors.h"

#include <QDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace velmora {

namespace {

// SQLite's locking protocol on Unix, the same in every version: the bytes of the table that a
// reader locks shared, and the byte of the shared-memory file that every connection using that
// file holds (write-locked, nobody else can take it up).
constexpr off_t kSharedFirst = 0x40000000 + 2;
constexpr off_t kSharedSize = 510;
constexpr off_t kShmDeadMan = 128;

constexpr std::string_view kCopyPrefix = "velmora-table-";
constexpr std::size_t kCopyRandom = 6;

bool exists(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A lock of this open file, not of the process: closing another descriptor of the same file (as
// SQLite does) cannot drop it.
bool lockRange(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// A reader's shared lock on the table, or -1 when a writer holds it for itself. While it is held
// no writer can take the table for itself, nor end its session by folding its log into the table
// and removing the log and the shared-memory file.
int readerLock(const QByteArray& table) {
    const int fd = ::open(table.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && lockRange(fd, F_RDLCK, kSharedFirst, kSharedSize)) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// A table that another tool switched to write-ahead logging (header bytes 18 and 19 are 2).
bool isWriteAheadTable(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    char header[20] = {};
    const bool read = fd >= 0 && ::pread(fd, header, sizeof header, 0) == sizeof header;
    if (fd >= 0) ::close(fd);
    return read && std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16) &&
           header[18] == 2 && header[19] == 2;
}

// Appends the file `from` to the open file `to`; what failed, or empty.
QString copyInto(const QByteArray& from, int to) {
    const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errnoText();
    ssize_t n = 0;
    while ((n = ::sendfile(to, fd, nullptr, 1 << 30)) > 0) {
    }
    const QString problem = n < 0 ? errnoText() : QString();
    ::close(fd);
    return problem;
}

}  // namespace

PrivateCopy::~PrivateCopy() {
    remove();
}

void PrivateCopy::remove() {
    for (QByteArray& file : files_) {
        if (file.isEmpty()) continue;
        ::unlink(file.constData());
        RemovedOnInterrupt::forget(file.constData());
        file.clear();
    }
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
}

QByteArray PrivateCopy::make(const QByteArray& table, const QString& file) {
    remove();
    const int reader = readerLock(table);
    // Another connection's shared-memory file: a writer may be at work, so no copy of the files
    // would be one state.
    if (reader < 0 || exists(table + "-shm")) {
        if (reader >= 0) ::close(reader);
        throwBeingWritten(file);
    }
    QByteArray copy = encodeFileName(QDir::tempPath()) + '/' +
                      QByteArray(kCopyPrefix.data(), kCopyPrefix.size()) +
                      QByteArray(kCopyRandom, 'X');
    QString problem;
    {
        const RemovedOnInterrupt::Hold hold;
        lock_ = ::mkostemp(copy.data(), O_CLOEXEC);
        if (lock_ < 0) {
            problem = errnoText();
        } else {
            ::flock(lock_, LOCK_EX | LOCK_NB);  // new: nobody else holds it
            files_[0] = copy, files_[1] = copy + "-wal", files_[2] = copy + "-shm";
            for (const QByteArray& file : files_) RemovedOnInterrupt::add(file.constData());
        }
    }
    if (problem.isEmpty()) problem = copyInto(table, lock_);
    if (problem.isEmpty()) {
        const int log =
            ::open(files_[1].constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        problem = log < 0 ? errnoText() : copyInto(table + "-wal", log);
        if (log >= 0) ::close(log);
    }
    // A writer that connected meanwhile made a shared-memory file, which stays while we hold the
    // lock; without one nothing changed either file.
    const bool writerCame = exists(table + "-shm");
    ::close(reader);
    if (!problem.isEmpty() || writerCame) remove();
    if (!problem.isEmpty())
        throw RunTimeError(
            dataerr::kCannotOpen,
            QStringLiteral("The database engine cannot open '%1': its writer's log can "
                           "only be read from a copy, and no copy could be made "
                           "(%2).")
                .arg(printableLine(file), problem));
    if (writerCame) throwBeingWritten(file);
    return files_[0];
}

void removeLeftCopies() {
    const QByteArray folder = encodeFileName(QDir::tempPath());
    removeLeftFiles(std::string_view(folder.constData(), std::size_t(folder.size())), kCopyPrefix,
                    kCopyRandom, {"-wal", "-shm"}, false);
}

void TableFile::open(const QByteArray& path, const QString& file, Configure configure) {
    close();
    path_ = path;
    file_ = file;
    configure_ = std::move(configure);
    if (!exists(path + "-wal")) {
        if (!isWriteAheadTable(path)) return openAs(Mode::Rollback);
        // No log, so nobody is connected: the table as it stands, with nothing made beside it.
        // The reader's lock keeps a writer who comes from removing its log again, so writerCame()
        // sees it.
        guard_ = readerLock(path);
        if (guard_ >= 0 && !exists(path + "-wal")) return openAs(Mode::AsItStands);
        if (guard_ >= 0) ::close(guard_);
        guard_ = -1;
    }
    openAs(Mode::Log);
}

void TableFile::openAs(Mode mode) {
    QByteArray name = path_;
    int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::AsItStands) {
        name = "file:" + path_.toPercentEncoding("/") + "?immutable=1";
        flags |= SQLITE_OPEN_URI;
    } else if (mode == Mode::Copy) {
        name = copy_.make(path_, file_);
        // Our own file, and ours alone: the log's index is kept in memory, not in one more file
        // that a full temporary folder might refuse, and nothing is folded in at the end.
        flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    }
    const bool hadShm = exists(path_ + "-shm");
    sqlite::Database db(name, flags);
    db.check(sqlite3_busy_timeout(db.get(), 2000));
    if (mode == Mode::Copy) {
        db.exec("PRAGMA locking_mode=EXCLUSIVE");
        db.check(sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr));
    }
    if (mode == Mode::Log) {
        try {
            db.prepare(QStringLiteral("SELECT 1 FROM sqlite_schema")).step();  // opens the log
        } catch (const sqlite::Error& e) {
            // Read-only media or folder: no shared-memory file can be made beside the table.
            if (e.primary() != SQLITE_CANTOPEN && e.primary() != SQLITE_READONLY) throw;
            db = {};
            return openAs(Mode::Copy);
        }
        madeShm_ = !hadShm && exists(path_ + "-shm");
    }
    configure_(db);
    db_ = std::move(db);
    mode_ = mode;
}

void TableFile::close() {
    db_ = {};
    if (madeShm_) removeOwnSharedMemory();
    madeShm_ = false;
    copy_.remove();
    if (guard_ >= 0) ::close(guard_);
    guard_ = -1;
}

// SQLite leaves the shared-memory file that a reader made. It goes when no connection uses it: its
// dead-man byte, write-locked, turns away a connection that opened the file just before it was
// removed, so none takes up the removed file. That lock stays until the process ends.
void TableFile::removeOwnSharedMemory() {
    const QByteArray shm = path_ + "-shm";
    const int fd = ::open(shm.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (lockRange(fd, F_WRLCK, kShmDeadMan, 1))
        ::unlink(shm.constData());  // and `fd` stays open with its lock
    else
        ::close(fd);
}

void TableFile::beginRecordset() {
    if (!sqlite3_get_autocommit(db_.get())) db_.exec("COMMIT");
    db_.exec("BEGIN");
}

void TableFile::endRecordset() noexcept {
    // A writer in rollback mode waits for every reader: between reads the table is let go. Ending
    // a transaction that only read cannot lose anything, so a failure here is no failure.
    if (mode_ == Mode::Rollback && db_ && !sqlite3_get_autocommit(db_.get()))
        sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
}

bool TableFile::writerCame() const {
    return mode_ == Mode::AsItStands && exists(path_ + "-wal");
}

void TableFile::reopen() {
    db_ = {};
    openAs(Mode::Log);
    if (guard_ >= 0) ::close(guard_);
    guard_ = -1;
}

}  // namespace velmora
