// Layout sizes are designed in twips; 15 twips make one device-independent pixel.
#pragma once

#include <QRect>

namespace velmora {

constexpr int tw(int twips) {
    return (twips + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

}  // namespace velmora
