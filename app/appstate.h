// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the program keeps for its whole run beyond the main window's own controls, in one
// object that the main window owns and hands to the windows and steps that need a part of it.
#pragma once

#include "help/helpcommands.h"
#include "portion/portion.h"
#include "report/valuearrays.h"

#include <QString>

namespace velmora {

struct AppState : PortionState, HelpState {
    // The values of the report on show; the Percent Daily Value command reads them.
    ValueArray Z;
    // The description last looked for, its quotes doubled; the not-found message shows it.
    QString svFindName;
};

}  // namespace velmora
