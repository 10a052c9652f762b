// SPDX-License-Identifier: GPL-3.0-or-later
// Removal of the builder's temporary files when the run is interrupted: SIGINT, SIGTERM and SIGHUP
// delete them and then end the process by that same signal, so the shell still sees 128 + its
// number. A signal ignored when the program started (nohup, a background job) stays ignored.
#pragma once

#include <signal.h>

namespace velmora::mkdb {

class InterruptCleanup {
  public:
    // While one lives, the three signals wait: create a file and arm() inside one, so no signal
    // can fall between the file's creation and its registration.
    class Hold {
      public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        sigset_t previous_;
    };

    // Installs the handlers (once) and has them remove `database` and `journal` instead of what an
    // earlier call gave; both strings must stay valid until disarm().
    static void arm(const char* database, const char* journal);

    // The handlers remove nothing any more; they still end the process by the signal.
    static void disarm();
};

}  // namespace velmora::mkdb
