// SPDX-License-Identifier: GPL-3.0-or-later
// The one place every message box goes through. The program installs a presenter that shows a
// real, blocking box; tests install one that records the request and returns at once.
#pragma once

#include <QString>

#include <functional>

namespace velmora {

inline const QString AppTitle = QStringLiteral("Velmora");

enum class MsgIcon { None, Critical };

struct MessageBoxRequest {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
};

using MessageBoxPresenter = std::function<void(const MessageBoxRequest&)>;

// Installs a presenter and returns the one it replaces.
MessageBoxPresenter setMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows an OK-only message box and returns when the user has closed it.
void MsgBox(const QString& text, const QString& title = AppTitle, MsgIcon icon = MsgIcon::None);

}  // namespace velmora
