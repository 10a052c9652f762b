// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps a modal window on the screen.
#pragma once

class QWidget;

namespace velmora {

// Some window managers offer to minimise a modal window whatever it asks for (openbox ignores the
// hint), and minimising it hides its owner with it: the whole program vanishes while it waits for
// an answer. This undoes such a minimise of `window`, which must be a window.
void keepRestored(QWidget* window);

}  // namespace velmora
