#pragma once

#include <QIcon>

namespace velmora {

// The program's icon: a green leaf on a plate, drawn once.
QIcon appIcon();

}  // namespace velmora
