// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/designwidgets.h"

#include <QColor>
#include <QFrame>
#include <QPalette>

namespace velmora {

QFont designFont(QStringView family, qreal pointSize, bool bold) {
    // fontconfig maps Arial and Times New Roman by itself, but not MS Sans Serif: name the
    // stand-in explicitly for all three so every window looks the same on every system.
    const QString name = family.toString();
    const QString standIn = family == u"Times New Roman" ? QStringLiteral("Liberation Serif")
                                                         : QStringLiteral("Liberation Sans");
    QFont font;
    font.setFamilies({name, standIn});
    font.setStyleHint(family == u"Times New Roman" ? QFont::Serif : QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFrame* makeLine(QWidget* parent, const char* name, int x1, int x2, int y, const QColor& colour) {
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setGeometry(tw(x1), tw(y), tw(x2) - tw(x1) + 1, 1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, colour.isValid() ? colour : p.color(QPalette::WindowText));
    line->setPalette(p);
    return line;
}

}  // namespace velmora
