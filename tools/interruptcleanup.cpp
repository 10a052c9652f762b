// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/interruptcleanup.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>

namespace velmora::mkdb {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

// A handler receives nothing but the signal number, so what it removes has to be static. It is a
// function-local static with a constant initialiser: ready before any handler is installed, with
// no guard or constructor to run inside the handler. Lock-free atomics are safe to read there.
struct Pending {
    std::array<std::atomic<const char*>, 2> paths{};
    bool installed = false;  // touched by arm() only, never by the handler
};
static_assert(std::atomic<const char*>::is_always_lock_free);

Pending& pending() {
    static Pending state;
    return state;
}

// Only async-signal-safe calls: unlink, signal and raise.
extern "C" void removeAndRaise(int signal) {
    for (const std::atomic<const char*>& path : pending().paths)
        if (const char* name = path.load()) unlink(name);
    std::signal(signal, SIG_DFL);
    // Blocked until the handler returns, then delivered with the default action.
    std::raise(signal);
}

sigset_t signalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

InterruptCleanup::Hold::Hold() {
    const sigset_t set = signalSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

InterruptCleanup::Hold::~Hold() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptCleanup::arm(const char* database, const char* journal) {
    const Hold hold;
    Pending& state = pending();
    state.paths[0] = database;
    state.paths[1] = journal;
    if (state.installed) return;
    state.installed = true;
    struct sigaction action {};
    action.sa_handler = removeAndRaise;
    action.sa_mask = signalSet();  // one cleanup at a time, even when several signals come
    for (int signal : kSignals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
    }
}

void InterruptCleanup::disarm() {
    for (std::atomic<const char*>& path : pending().paths) path = nullptr;
}

}  // namespace velmora::mkdb
