// A whole session through the application, as a user has it: start, type-ahead, search, reset, a
// portion, Percent Daily Values, both help documents, About and Exit. Under AddressSanitizer
// LeakSanitizer then finds nothing unreachable of ours (lsan.supp lists only what system
// libraries keep); in other builds the session still has to run without a message.
#include "app/foodlistview.h"
#include "app/startup.h"
#include "appfixture.h"
#include "help/helpwindow.h"
#include "msgrecorder.h"
#include "withmodal.h"

#include <QLineEdit>
#include <QPushButton>
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

class LeakFree : public QObject {
    Q_OBJECT
  private slots:
    void wholeSession() {
        QTemporaryDir dir;
        QVERIFY(writeFixtureDb(dir.filePath("Velmora.mdb"), browseFoods()).isEmpty());
        MessageRecorder messages;
        {
            StartResult start = Main(dir.filePath("Velmora.mdb"));
            FormB& f = *start.mainWindow;
            f.searchBox()->setText("apple");
            f.findChild<QPushButton*>("cmdSearch")->click();
            f.findChild<QPushButton*>("cmdReset")->click();
            QTest::keyClicks(f.list(), "ap");
            withModal([&] { f.mnuPortionAdjust_Click(); },
                      [](QWidget* dialog) {
                          dialog->findChild<QLineEdit*>("TextOp1")->setText("2");
                          dialog->findChild<QPushButton*>("cmdSubmit")->click();
                      });
            f.mnuCalculate_Click();
            f.mnuHelp_Click();
            f.mnuDailyValues_Click();
            withModal([&] { f.mnuAbout_Click(); }, [](QWidget* about) { about->close(); });
            f.mnuExit_Click();
            QVERIFY(!openHelpWindow(f.state()));
        }
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
#ifdef VELMORA_LEAK_CHECK
        QVERIFY2(__lsan_do_recoverable_leak_check() == 0, "leaks: see the report above");
#endif
    }
};

QTEST_MAIN(LeakFree)
#include "test_leakfree.moc"
