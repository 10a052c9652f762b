// SPDX-License-Identifier: GPL-3.0-or-later
// Input read in chunks through one fixed buffer, so a file of any size costs the same memory, and
// nothing read from outside can make the builder hold more than a bounded record at a time.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <memory>

#include "tools/formats/diagnostic.h"

namespace velmora::mkdb {

// A line (or record) longer than this is refused while it is read: no food table needs one, and
// a device such as /dev/zero would otherwise be read for ever.
inline constexpr qsizetype kMaxRecordBytes = qsizetype(1) << 20;

// A fault in the input: thrown by the readers, caught where the build is run.
struct Fault {
    Diagnostic diagnostic;
};

// "reading FILE: N of M MB" on standard error, one line updated in place, only when standard
// error is a terminal (a log file gets nothing).
class Progress {
  public:
    static Progress& instance();
    void update(const QString& file, std::uint64_t done, std::uint64_t total);
    void clear();

  private:
    bool terminal_ = false;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
    Progress();
};

class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` (kept byte for byte). A FIFO without a writer reads as empty instead of
    // waiting for one. Throws Fault "PATH:1:1: cannot read: ..." when it cannot be opened.
    void open(const QString& path);
    // Reads `bytes` instead of a file, for tests and fuzz targets; they must outlive the reads.
    void openMemory(QByteArrayView bytes, const QString& name);

    const QString& name() const { return name_; }
    // The unread bytes at hand.
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    qsizetype available() const { return end_ - begin_; }
    void consume(qsizetype count) { begin_ += count; }
    // Adds bytes at the end (moving what is unread to the buffer's front, so pointers into it are
    // stale afterwards); false at the end of the input. Throws Fault on a read error.
    bool fill();

    // The file whose reading is under way, for "input too large" when memory runs out.
    static const QString& current();

  private:
    QString name_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    bool eof_ = false;
    std::uint64_t read_ = 0;
    std::uint64_t size_ = 0;  // 0: unknown (not a regular file)
};

// The position of `at` in a record that starts at `start` on line `line`: lines counted by line
// feeds, columns in characters (in UTF-8, bytes that do not continue a sequence).
Diagnostic positionIn(const QString& file, qsizetype line, const char* start, const char* at,
                      const QString& what, bool utf8 = true);

// The names in `folder`, sorted; with `refuse`, a folder that cannot be read is a Fault.
QStringList folderNames(const QString& folder, bool refuse);
// `name` in `folder`.
QString inFolder(const QString& folder, const QString& name);
// The name of `names` that is `wanted`, else the first that is ignoring case (releases differ in
// the case of ".txt"); empty when none is.
QString nameIgnoringCase(const QStringList& names, const QString& wanted);
// `name` in `folder`, matched so; the folder joined with `name` as given when there is no such
// entry. Names are kept byte for byte.
QString folderEntry(const QString& folder, const QString& name);

}  // namespace velmora::mkdb
