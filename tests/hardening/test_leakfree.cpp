// A whole session through the application library, as a user has it: start, type-ahead, search,
// reset, a portion, Percent Daily Values, both help documents, About and Exit. In a build with
// AddressSanitizer, LeakSanitizer then finds nothing unreachable of ours (the suppressions list
// only what system libraries keep); in other builds the session still has to run cleanly.
#include "app/foodlistview.h"
#include "app/formb.h"
#include "app/startup.h"
#include "fixturedb.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "msgrecorder.h"
#include "withmodal.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_LEAK_CHECK 1
#endif
#endif
#ifdef VELMORA_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

using namespace velmora;
using namespace velmora::test;

namespace {

QList<FixtureFood> foods() {
    return {{"Alcoholic beverage, beer, light", {{"ENERG_KCAL", 29.0}, {"PROTEIN", 0.24}}},
            {"Apple, raw",
             {{"ENERG_KCAL", 52.0}, {"SODIUM", 1.0}, {"GMWT_1", 125.0}, {"GMWT_DESC1", "1 cup"}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}}},
            {"Spinach, raw", {{"ENERG_KCAL", 23.0}, {"VIT_A", 9377.0}}}};
}

void flushDeletes() {
    for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class LeakFree : public QObject {
    Q_OBJECT
  private slots:
    void wholeSession() {
        QTemporaryDir dir;
        QVERIFY(writeFixtureDb(dir.filePath("Velmora.mdb"), foods()).isEmpty());
        MessageRecorder messages;
        {
            StartResult start = Main(dir.filePath("Velmora.mdb"));
            QVERIFY(start.mainWindow);
            FormB& f = *start.mainWindow;
            QVERIFY2(f.Text1Text().contains(QLatin1String("Alcoholic beverage, beer, light")),
                     qPrintable(f.Text1Text()));

            // Type-ahead, once the letters the start typed have timed out.
            f.list()->setTypeAheadInterval(1);
            QTest::qWait(10);
            QTest::keyClicks(f.list(), "spi");
            QVERIFY(f.Text1Text().contains(QLatin1String("Spinach, raw")));

            f.searchBox()->setText("apple");
            f.findChild<QPushButton*>("cmdSearch")->click();
            QVERIFY(f.searchMode());
            f.findChild<QPushButton*>("cmdReset")->click();
            QCOMPARE(f.itemCount(), 4);

            QTest::keyClick(f.list(), Qt::Key_Down);
            QVERIFY(f.Text1Text().contains(QLatin1String("Apple, raw")));
            withModal([&] { f.menuCommand("mnuPortionAdjust")->trigger(); },
                      [](QWidget* dialog) {
                          dialog->findChild<QRadioButton*>("Option2")->click();
                          dialog->findChild<QLineEdit*>("TextOp2")->setText("2");
                          dialog->findChild<QPushButton*>("cmdSubmit")->click();
                      });
            QVERIFY(f.Text1Text().startsWith(QLatin1String(" Quantity: 2\r\n")));
            f.menuCommand("mnuCalculate")->trigger();

            f.menuCommand("mnuHelp")->trigger();
            f.menuCommand("mnuDailyValues")->trigger();
            QVERIFY(openHelpWindow(f.state()));
            withModal([&] { f.menuCommand("mnuAbout")->trigger(); },
                      [](QWidget* about) { about->close(); });

            f.menuCommand("mnuExit")->trigger();
            QVERIFY(!f.isVisible());
            QVERIFY(!openHelpWindow(f.state()) || !openHelpWindow(f.state())->isVisible());
        }
        flushDeletes();
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
#ifdef VELMORA_LEAK_CHECK
        QVERIFY2(__lsan_do_recoverable_leak_check() == 0, "leaks: see the report above");
#endif
    }
};

QTEST_MAIN(LeakFree)
#include "test_leakfree.moc"
