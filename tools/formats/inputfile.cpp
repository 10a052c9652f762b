// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/inputfile.h"

#include "common/outsidetext.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora::mkdb {

namespace {

// The longest record plus room to read the next chunk behind it.
constexpr qsizetype kChunk = qsizetype(1) << 20;
constexpr qsizetype kBufferSize = kMaxRecordBytes + kChunk;

QString currentInput;

}  // namespace

Progress::Progress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

Progress& Progress::instance() {
    static Progress progress;
    return progress;
}

void Progress::update(const QString& file, std::uint64_t done, std::uint64_t total) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    shown_ = true;
    const QString of = total ? QStringLiteral(" of %1").arg(total >> 20) : QString();
    std::fprintf(stderr, "\rreading %s: %llu%s MB\033[K", qUtf8Printable(printable(file)),
                 static_cast<unsigned long long>(done >> 20), qUtf8Printable(of));
    std::fflush(stderr);
}

void Progress::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

void InputFile::open(const QString& path) {
    name_ = path;
    // Non-blocking only for the open: a FIFO nobody writes to reads as empty then.
    fd_ = ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) errno = EISDIR;
    if (fd_ < 0 || S_ISDIR(info.st_mode) ||
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        throw Fault{{path, 1, 1, QStringLiteral("cannot read: %1").arg(std::strerror(errno))}};
    size_ = S_ISREG(info.st_mode) ? std::uint64_t(info.st_size) : 0;
    buffer_ = std::make_unique<char[]>(kBufferSize);
    begin_ = end_ = buffer_.get();
}

void InputFile::openMemory(QByteArrayView bytes, const QString& name) {
    name_ = name;
    currentInput = name;
    begin_ = bytes.data();
    end_ = begin_ + bytes.size();
    eof_ = true;
}

bool InputFile::fill() {
    if (eof_) return false;
    char* const buffer = buffer_.get();
    if (begin_ != buffer) {
        std::memmove(buffer, begin_, available());
        end_ = buffer + available();
        begin_ = buffer;
    }
    const qsizetype room = kBufferSize - available();
    if (room == 0) return true;  // the caller's bound ends it first
    ssize_t count;
    do {
        count = ::read(fd_, buffer + available(), room);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        throw Fault{{name_, 1, 1, QStringLiteral("cannot read: %1").arg(std::strerror(errno))}};
    if (count == 0) {
        eof_ = true;
        return false;
    }
    end_ += count;
    read_ += std::uint64_t(count);
    if (currentInput != name_) currentInput = name_;
    Progress::instance().update(name_, read_, size_);
    return true;
}

const QString& InputFile::current() {
    return currentInput;
}

Diagnostic positionIn(const QString& file, qsizetype line, const char* start, const char* at,
                      const QString& what, bool utf8) {
    qsizetype column = 1;
    for (const char* p = start; p < at; ++p) {
        if (*p == '\n') {
            ++line;
            column = 1;
        } else if (!utf8 || (static_cast<unsigned char>(*p) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return Diagnostic{file, line, column, what};
}

QStringList folderNames(const QString& folder, bool refuse) {
    QStringList names;
    DIR* dir =
        ::opendir(encodeFileName(folder.isEmpty() ? QStringLiteral(".") : folder).constData());
    if (!dir && refuse)
        throw Fault{{folder, 1, 1, QStringLiteral("cannot read: %1").arg(std::strerror(errno))}};
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) names << decodeFileName(entry->d_name);
    ::closedir(dir);
    names.sort();
    return names;
}

QString inFolder(const QString& folder, const QString& name) {
    return (folder.endsWith(u'/') ? folder : folder + u'/') + name;
}

QString nameIgnoringCase(const QStringList& names, const QString& wanted) {
    if (names.contains(wanted)) return wanted;
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return name;
    return {};
}

QString folderEntry(const QString& folder, const QString& name) {
    const QString found = nameIgnoringCase(folderNames(folder, false), name);
    return inFolder(folder, found.isEmpty() ? name : found);
}

}  // namespace velmora::mkdb
