// Preloaded into the real program by the broken-table test (LD_PRELOAD), so the program under test
// is the shipped binary, unchanged. Once the main window is up and the splash window gone, it
// writes what the window shows to the standard output, presses Reset, writes the list again and
// closes the main window, which ends the program as Exit would. Lines are "probe:KEY<tab>VALUE".
#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kRowsListed = 100;  // enough for every small table the test makes

void line(const char* key, const QString& value = {}) {
    std::printf("probe:%s\t%s\n", key, qUtf8Printable(value));
}

void writeList(const char* key, const QWidget* main) {
    const auto* list = main->findChild<QAbstractItemView*>(QStringLiteral("DBList1"));
    const QAbstractItemModel* model = list ? list->model() : nullptr;
    if (!model) return line("error", QStringLiteral("no food list"));
    line(key, QString::number(model->rowCount()));
    for (int r = 0; r < model->rowCount() && r < kRowsListed; ++r)
        line("row", model->index(r, 0).data().toString());
    const auto* label = main->findChild<QLabel*>(QStringLiteral("lblRecordCount"));
    line("label", label ? label->text() : QString());
}

bool splashShown() {
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"frmSplash" && w->isVisible()) return true;
    return false;
}

void poll(QTimer* timer) {
    QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"FormB" && w->isVisible()) main = w;
    if (!main || splashShown()) return;
    timer->stop();
    line("started", main->windowTitle());
    writeList("rows", main);
    if (auto* reset = main->findChild<QPushButton*>(QStringLiteral("cmdReset"))) {
        reset->click();
        writeList("rows after reset", main);
    }
    std::fflush(stdout);
    main->close();
}

void startProbe() {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] { poll(timer); });
    timer->start();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
