// SPDX-License-Identifier: GPL-3.0-or-later
// Files that must not outlive an interrupted run: on SIGINT, SIGTERM or SIGHUP every file still
// registered is removed, and the process then ends by that same signal, so the shell still sees
// 128 + its number. A signal that was ignored when the program started (nohup) stays ignored.
#pragma once

#include <signal.h>

#include <initializer_list>
#include <string_view>

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

// What no signal could remove, a run killed outright leaves: removes the files in `folder` named
// `prefix` and `random` more characters (mkstemp's) that are regular, this user's and locked by no
// live run (a run holds an exclusive flock on its file while it lives), with the files named after
// each and one of `sides`. An empty file counts only `withEmpty`: where a run makes its file before
// it locks it, an empty one may be another's just begun.
void removeLeftFiles(std::string_view folder, std::string_view prefix, std::size_t random,
                     std::initializer_list<const char*> sides, bool withEmpty);

}  // namespace velmora
