// SPDX-License-Identifier: GPL-3.0-or-later
// Files that must not outlive an interrupted run: on SIGINT, SIGTERM or SIGHUP every file still
// registered is removed, and the process then ends by that same signal, so the shell still sees
// 128 + its number. A signal that was ignored when the program started (nohup) stays ignored.
#pragma once

#include <signal.h>

namespace velmora {

class RemovedOnInterrupt {
  public:
    // While one lives the three signals wait: make a file and register it inside one, so that no
    // signal can fall between the two.
    class Hold {
      public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        sigset_t previous_;
    };

    // Registers `path`, which must stay valid until it is unregistered; installs the handlers the
    // first time. False when every place is taken (the file is then not removed on a signal).
    static bool add(const char* path);
    // Forgets `path` (the same pointer add() was given).
    static void forget(const char* path);
};

}  // namespace velmora
