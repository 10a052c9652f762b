// SPDX-License-Identifier: GPL-3.0-or-later
// The menu entry's action "Open a Food Table…": a file dialog before the program starts.
#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace velmora {

// The food table the user picks in a file dialog that offers "Food tables (*.mdb)", or nothing
// when they cancel it.
std::optional<QString> chooseFoodTable(QWidget* parent = nullptr);

}  // namespace velmora
