// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/interruptcleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <string>

namespace velmora {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

// The handler can only reach static data. Constant-initialised, so it is ready before any
// handler runs; lock-free atomics are safe to read inside one.
std::array<std::atomic<const char*>, 8> registered{};
bool installed = false;  // touched outside handlers only, with the signals held
static_assert(std::atomic<const char*>::is_always_lock_free);

// Async-signal-safe calls only.
extern "C" void removeThenRaise(int signal) {
    for (const std::atomic<const char*>& path : registered)
        if (const char* name = path.load()) ::unlink(name);
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // delivered once this handler returns, with the default action
}

sigset_t handledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kSignals) sigaddset(&set, s);
    return set;
}

void install() {
    struct sigaction action {};
    action.sa_handler = removeThenRaise;
    action.sa_mask = handledSignals();  // a second signal waits for the first one's removal
    for (const int s : kSignals) {
        struct sigaction before {};
        sigaction(s, nullptr, &before);
        if (before.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
    }
    installed = true;
}

}  // namespace

RemovedOnInterrupt::Hold::Hold() {
    const sigset_t set = handledSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

RemovedOnInterrupt::Hold::~Hold() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool RemovedOnInterrupt::add(const char* path) {
    const Hold hold;
    if (!installed) install();
    for (std::atomic<const char*>& slot : registered) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path)) return true;
    }
    return false;
}

void RemovedOnInterrupt::forget(const char* path) {
    const Hold hold;
    for (std::atomic<const char*>& slot : registered) {
        const char* mine = path;
        slot.compare_exchange_strong(mine, nullptr);
    }
}

void removeLeftFiles(std::string_view folder, std::string_view prefix, std::size_t random,
                     std::initializer_list<const char*> sides, bool withEmpty) {
    const std::string dirName(folder);
    DIR* dir = ::opendir(dirName.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(prefix) || name.size() != prefix.size() + random) continue;
        const std::string path = dirName + '/' + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            (withEmpty || info.st_size > 0) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            for (const char* side : sides) ::unlink((path + side).c_str());
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace velmora
