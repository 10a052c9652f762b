// SPDX-License-Identifier: GPL-3.0-or-later
// Where the help and About windows first appear: centred over the main window.
#pragma once

class QWidget;

namespace velmora {

// Moves the top-level `window` so that its frame is centred over `owner`'s frame, kept on the
// owner's screen. Without an owner the window is centred on the primary screen.
void centreOver(QWidget* window, const QWidget* owner);

}  // namespace velmora
