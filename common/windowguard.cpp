// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/windowguard.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace velmora {

namespace {

class RestoreWhenMinimised : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::WindowStateChange && window->isMinimized()) {
            // After the window system has finished minimising, not inside its notification.
            QTimer::singleShot(0, window, [window] {
                window->showNormal();
                window->raise();
                window->activateWindow();
            });
        }
        return false;
    }
};

}  // namespace

void keepRestored(QWidget* window) {
    window->installEventFilter(new RestoreWhenMinimised(window));
}

}  // namespace velmora
