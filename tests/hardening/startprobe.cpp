// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into the real program by the broken-table test, so the program under test is the
// shipped binary. Once the main window is up and the splash gone, it writes the record label,
// presses Reset, writes the list's rows, and closes the window ("probe:KEY<tab>VALUE").
#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

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

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
