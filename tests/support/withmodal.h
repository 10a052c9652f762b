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
// window as soon as it is up; `drive` must close it.
inline void withModal(const std::function<void()>& open,
                      const std::function<void(QWidget*)>& drive) {
    bool driven = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY2(modal, "no modal window came up");
        drive(modal);
        driven = true;
    });
    open();
    QVERIFY(driven);
}

}  // namespace velmora::test
