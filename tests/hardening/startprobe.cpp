// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into the real program by the broken-table test, so the program under test is the
// shipped binary. Once the main window is up and the splash gone, it writes the record label, the
// report's calories line, the caption, the report's last line and what the temporary folder holds,
// presses Reset, writes the list's rows, and closes the window ("probe:KEY<tab>VALUE"), or with
// VELMORA_PROBE_SIGNAL=N ends the program by signal N instead.
//
// With VELMORA_PROBE_HOLD=TABLE, the first time the program opens TABLE after it opened TABLE's
// log, it writes "probe:hold" and waits for a line on its standard input: a writer in the test
// then changes the table at exactly that point.
//
// With VELMORA_PROBE_STEPS=N, the engine calls the program's progress handler every N steps
// instead of at the program's own interval, which it writes ("probe:steps"): the program's budget
// of calls then runs out that many times sooner, and a query built never to end reaches it in a
// moment instead of a minute under a sanitizer.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void poll(QTimer* timer) {
    QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == u"frmSplash" && w->isVisible()) return;
        if (w->objectName() == u"FormB" && w->isVisible()) main = w;
    }
    if (!main) return;
    timer->stop();
    const auto* label = main->findChild<QLabel*>(QStringLiteral("lblRecordCount"));
    std::printf("probe:label\t%s\n", qUtf8Printable(label->text()));
    const QString report = main->findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText();
    const qsizetype calories = report.indexOf(QStringLiteral("Calories:"));
    std::printf(
        "probe:calories\t%s\n",
        qUtf8Printable(report.mid(calories).section(u'\n', 0, 0).section(u':', 1).trimmed()));
    std::printf("probe:caption\t%s\n", qUtf8Printable(main->windowTitle()));
    std::printf("probe:last line\t%s\n",
                qUtf8Printable(report.trimmed().section(u'\n', -1).trimmed()));
    std::printf("probe:temporary\t%s\n",
                qUtf8Printable(QDir(QDir::tempPath())
                                   .entryList({"velmora-*", "Velmora-*"}, QDir::AllEntries)
                                   .join(u' ')));
    std::fflush(stdout);
    if (const int signal = qEnvironmentVariableIntValue("VELMORA_PROBE_SIGNAL")) std::raise(signal);
    main->findChild<QPushButton*>(QStringLiteral("cmdReset"))->click();
    const auto* list = main->findChild<QAbstractItemView*>(QStringLiteral("DBList1"));
    std::printf("probe:rows after reset\t%d\n", list->model()->rowCount());
    std::fflush(stdout);
    main->close();
}

void startProbe() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer] { poll(timer); });
    timer->start(20);
}

// Only libc calls here: this runs inside the program's own open() calls.
void holdAt(const char* path) {
    static bool logOpened = false, held = false;
    const char* table = std::getenv("VELMORA_PROBE_HOLD");
    if (!table || held) return;
    const std::size_t n = std::strlen(table);
    if (std::strncmp(path, table, n) == 0 && std::strcmp(path + n, "-wal") == 0) logOpened = true;
    if (!logOpened || std::strcmp(path, table) != 0) return;
    held = true;
    const char line[] = "probe:hold\n";
    if (::write(1, line, sizeof line - 1) < 0) return;
    char answer = 0;
    while (::read(0, &answer, 1) == 1 && answer != '\n') {
    }
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    static const auto next =
        reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0;
    va_end(args);
    holdAt(path);
    return next(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    static const auto next =
        reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open64"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0;
    va_end(args);
    holdAt(path);
    return next(path, flags, mode);
}

extern "C" void sqlite3_progress_handler(sqlite3* db, int steps, int (*handler)(void*),
                                         void* argument) {
    using Next = void (*)(sqlite3*, int, int (*)(void*), void*);
    static const auto next = reinterpret_cast<Next>(dlsym(RTLD_NEXT, "sqlite3_progress_handler"));
    const int fewer = qEnvironmentVariableIntValue("VELMORA_PROBE_STEPS");
    if (handler && fewer > 0 && fewer < steps) {
        std::printf("probe:steps\t%d\n", steps);
        std::fflush(stdout);
        steps = fewer;
    }
    next(db, steps, handler, argument);
}

Q_COREAPP_STARTUP_FUNCTION(startProbe)
