// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every test class: a Qt warning that a test function causes fails it (one the test
// expects, QTest::ignoreMessage, passes), so layout, signal-connection or accessibility slips
// cannot pass unnoticed.
#pragma once

#include <QObject>

#include <functional>

namespace velmora::test {

// Whether `f` returns within a few seconds: a reader that stops early must not wait for ever. `f`
// runs on a thread of its own, left behind when it hangs, so it must own everything it uses.
bool returnsSoon(std::function<void()> f);

class TestCase : public QObject {
    Q_OBJECT
  protected slots:
    // A test class with an init() of its own calls this one first.
    void init();
};

}  // namespace velmora::test
