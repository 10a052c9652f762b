// SPDX-License-Identifier: GPL-3.0-or-later
#include "testcase.h"

#include <QRegularExpression>
#include <QtTest>

namespace velmora::test {

void TestCase::init() {
    // Everything but the machine's own noise: no per-user runtime folder in containers and CI, and
    // offscreen windows without a window manager.
    static const QRegularExpression unexpected(
        QStringLiteral("^(?!QStandardPaths: XDG_RUNTIME_DIR not set"
                       "|This plugin does not support (propagateSizeHints|raise)\\(\\)$)"));
    QTest::failOnWarning(unexpected);
}

}  // namespace velmora::test
