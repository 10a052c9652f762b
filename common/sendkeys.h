// SPDX-License-Identifier: GPL-3.0-or-later
// Keystrokes delivered to a widget as if typed, returning only after they have been handled.
#pragma once

#include <QString>

class QWidget;

namespace velmora {

// `keys` is a sequence of plain characters and braced names: "{a}{l}{c}{o}", "{PGUP}", "{PGDN}",
// "{UP}", "{DOWN}", "{HOME}", "{END}", "{ENTER}", "{TAB}". Each key is sent to `target`, or to the
// focus widget when `target` is null, and fully processed before the next one.
void SendKeys(const QString& keys, QWidget* target = nullptr);

}  // namespace velmora
