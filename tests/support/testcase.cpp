// SPDX-License-Identifier: GPL-3.0-or-later
#include "testcase.h"

#include <QRegularExpression>
#include <QtTest>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace velmora::test {

void TestCase::init() {
    // Everything but the machine's own noise: no per-user runtime folder in containers and CI, and
    // offscreen windows without a window manager.
    static const QRegularExpression unexpected(
        QStringLiteral("^(?!QStandardPaths: XDG_RUNTIME_DIR not set"
                       "|This plugin does not support (propagateSizeHints|raise)\\(\\)$)"));
    QTest::failOnWarning(unexpected);
}

bool returnsSoon(std::function<void()> f) {
    auto returned = std::make_shared<std::promise<void>>();
    std::future<void> done = returned->get_future();
    std::thread([f = std::move(f), returned] {
        try {
            f();
        } catch (...) {
        }
        returned->set_value();
    }).detach();
    return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

}  // namespace velmora::test
