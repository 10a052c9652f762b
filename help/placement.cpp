// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace velmora {

void centreOver(QWidget* window, const QWidget* owner) {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect over = owner ? owner->frameGeometry() : area;
    // Before the first show the frame is not known yet: the owner's frame is the best guess.
    QSize size = window->frameGeometry().size();
    if (!window->isVisible() && owner) {
        size += owner->frameGeometry().size() - owner->geometry().size();
    }
    QPoint topLeft = over.center() - QPoint(size.width() / 2, size.height() / 2);
    if (area.isValid()) {
        // Keep the title bar reachable when the owner sits near a screen edge.
        topLeft.setX(std::clamp(topLeft.x(), area.left(),
                                std::max(area.left(), area.right() - size.width())));
        topLeft.setY(std::clamp(topLeft.y(), area.top(),
                                std::max(area.top(), area.bottom() - size.height())));
    }
    window->move(topLeft);
}

}  // namespace velmora
