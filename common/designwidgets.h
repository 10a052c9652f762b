// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks for windows laid out in twips with the fonts of their design.
#pragma once

#include <QFont>
#include <QRect>
#include <QStringView>

class QColor;
class QFrame;
class QWidget;

namespace velmora {

// Layout sizes are designed in twips; 15 twips make one device-independent pixel.
constexpr int tw(int twips) {
    return (twips + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

// A font of the design: `family` where it exists, else its metric-compatible stand-in
// (Arial and MS Sans Serif: Liberation Sans; Times New Roman: Liberation Serif).
QFont designFont(QStringView family, qreal pointSize, bool bold = false);

// A one-pixel horizontal line from (x1, y) to (x2, y), ends included, in twips; drawn in
// `colour`, or in the window's text colour when `colour` is invalid.
QFrame* makeLine(QWidget* parent, const char* name, int x1, int x2, int y, const QColor& colour);

}  // namespace velmora
