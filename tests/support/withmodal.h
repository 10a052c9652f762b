// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drives a modal window from inside the event loop that the window's own command runs.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace velmora::test {

// Runs `open`, which shows a modal window and returns once it is closed, and `drive` on that
// window as soon as it is up; `drive` must close it. A window still open five seconds later is
// closed and the test fails, rather than waiting for ever.
inline void withModal(const std::function<void()>& open,
                      const std::function<void(QWidget*)>& drive) {
    bool driven = false, leftOpen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY2(modal, "no modal window came up");
        drive(modal);
        driven = true;
        QTimer::singleShot(5000, modal, [&leftOpen, modal] {
            leftOpen = modal->isVisible();
            modal->close();
        });
    });
    open();
    QVERIFY(driven);
    QVERIFY2(!leftOpen, "the modal window stayed open");
}

}  // namespace velmora::test
