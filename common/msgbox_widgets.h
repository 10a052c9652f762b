// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace velmora {

// Routes MsgBox to modal QMessageBox windows over the active window.
void installWidgetMessageBoxes();

}  // namespace velmora
