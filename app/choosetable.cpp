// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/choosetable.h"

#include <QDir>
#include <QFileDialog>

namespace velmora {

std::optional<QString> chooseFoodTable(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Open a Food Table"), QDir::homePath(),
                       QStringLiteral("Food tables (*.mdb)"));
    dialog.setObjectName(QStringLiteral("chooseTable"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace velmora
