// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velmora {

QIcon appIcon() {
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 32, 48, 64}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size / 32.0, size / 32.0);
            p.setPen(QPen(QColor(90, 90, 90), 1.5));
            p.setBrush(QColor(245, 245, 240));
            p.drawEllipse(QRectF(2, 2, 28, 28));
            QPainterPath leaf;
            leaf.moveTo(9, 23);
            leaf.cubicTo(9, 12, 16, 7, 25, 7);
            leaf.cubicTo(25, 17, 19, 24, 9, 23);
            p.setPen(QPen(QColor(30, 100, 40), 1.2));
            p.setBrush(QColor(70, 160, 70));
            p.drawPath(leaf);
            p.drawLine(QPointF(9, 23), QPointF(20, 12));
            result.addPixmap(pm);
        }
        return result;
    }();
    return icon;
}

}  // namespace velmora
