// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace velmora {

// The program's icon: a green leaf on a plate, drawn once.
QIcon appIcon();

}  // namespace velmora
