// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every test program: a Qt warning or critical message makes the run fail, so layout,
// signal-connection or accessibility slips cannot pass unnoticed; an expected message
// (QTest::ignoreMessage) and the platform noise below pass. QTest installs a handler of its own
// that calls none installed before it, so this file stands in for qInstallMessageHandler: the
// guard stays installed, and a handler installed later is called through it.
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

using Install = QtMessageHandler (*)(QtMessageHandler);

constexpr char kInstallSymbol[] =
    "_Z22qInstallMessageHandlerPFv9QtMsgTypeRK18QMessageLogContextRK7QStringE";

QtMessageHandler qtDefault = nullptr;  // Qt's own handler, which prints to the error output
QtMessageHandler inner = nullptr;      // the handler installed last, called for every message
bool unexpectedOutsideTests = false;

// Messages of the machine the tests run on, not of the program.
bool isPlatformNoise(const QString& message) {
    // No per-user runtime folder in containers and CI; offscreen windows have no window manager.
    static const QRegularExpression noise(
        QStringLiteral("^QStandardPaths: XDG_RUNTIME_DIR not set"
                       "|^This plugin does not support (propagateSizeHints|raise)\\(\\)$"));
    return noise.match(message).hasMatch();
}

void guard(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool unwanted =
        (type == QtWarningMsg || type == QtCriticalMsg) && !isPlatformNoise(message);
    const bool inTest = QTest::currentTestFunction() && QCoreApplication::instance() &&
                        QThread::currentThread() == QCoreApplication::instance()->thread();
    if (unwanted && inTest && type == QtWarningMsg) {
        // QTest drops a message the test expects before it looks at this pattern.
        QTest::failOnWarning(QRegularExpression(
            QRegularExpression::anchoredPattern(QRegularExpression::escape(message))));
    }
    inner(type, context, message);
    if (!unwanted) return;
    if (inTest && type == QtCriticalMsg) {
        QTest::qFail("Qt critical message (above)", context.file ? context.file : "", context.line);
    } else if (!inTest) {
        unexpectedOutsideTests = true;
    }
}

void failOnMessagesOutsideTests() {
    if (!unexpectedOutsideTests) return;
    std::fflush(stdout);
    std::fputs("FAIL!  : a Qt warning was printed outside the test functions (above)\n", stderr);
    std::_Exit(1);
}

[[maybe_unused]] const bool installed = [] {
    const auto qtInstall = reinterpret_cast<Install>(dlsym(RTLD_NEXT, kInstallSymbol));
    if (!qtInstall ||
        dlsym(RTLD_DEFAULT, kInstallSymbol) != reinterpret_cast<void*>(&qInstallMessageHandler)) {
        std::fputs("failonwarnings: cannot take over qInstallMessageHandler\n", stderr);
        std::abort();
    }
    qtDefault = inner = qtInstall(guard);
    std::atexit(failOnMessagesOutsideTests);
    return true;
}();

}  // namespace

QtMessageHandler qInstallMessageHandler(QtMessageHandler handler) {
    const QtMessageHandler previous = inner;
    inner = handler ? handler : qtDefault;
    return previous;
}
