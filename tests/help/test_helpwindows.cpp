// The help viewer and the About window driven by the help commands, over a stand-in main window.
#include "help/aboutwindow.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "msgrecorder.h"

#include <QApplication>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

using namespace velmora;
using velmora::test::MessageRecorder;

namespace {

using Command = void (*)(HelpState&, QWidget*);

QTextEdit* box(QWidget* window) {
    return window->findChild<QTextEdit*>(QStringLiteral("RichTextBox1"));
}

QString firstParagraph(QWidget* window) {
    return box(window)->document()->firstBlock().text();
}

}  // namespace

class HelpWindowsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<MessageRecorder> messages_;
    HelpState state_;

  private slots:
    void init() {
        messages_ = std::make_unique<MessageRecorder>();
        main_ = std::make_unique<QWidget>();
        main_->setGeometry(60, 40, 700, 520);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }
    void cleanup() {
        unloadHelpWindows(state_);
        QVERIFY(!openHelpWindow(state_));
        main_.reset();
        QCOMPARE(messages_->texts(), QStringList());
        messages_.reset();
    }

    void firstOpen_data() {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("title");
        QTest::newRow("instructions") << Command(mnuHelp_Click) << "Instructions for Velmora"
                                      << "Velmora Instructions";
        QTest::newRow("Daily Values")
            << Command(mnuDailyValues_Click) << "Information on Daily Values"
            << "Daily Values";
    }
    void firstOpen() {
        QFETCH(Command, command);
        QFETCH(QString, caption);
        QFETCH(QString, title);
        command(state_, main_.get());
        frmHLP* w = openHelpWindow(state_);
        QVERIFY(w && QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->parentWidget(), main_.get());
        QCOMPARE(firstParagraph(w), title);
        QVERIFY((w->frameGeometry().center() - main_->frameGeometry().center()).manhattanLength() <=
                2);
        // The trailing NULs of the stored document reach the viewer, which shows none of them.
        QVERIFY(state_.svDocText.endsWith(QChar(0)));
        QCOMPARE(state_.svDocText.size(), state_.vDocBytes.size());
        QVERIFY(!box(w)->toPlainText().contains(QChar(0)));
        // A long document scrolls from the keyboard.
        QTest::keyClick(box(w), Qt::Key_PageDown);
        QVERIFY(box(w)->verticalScrollBar()->value() > 0);
    }

    void secondCommandReusesTheWindow_data() {
        QTest::addColumn<bool>("minimised");
        QTest::newRow("shown") << false;
        QTest::newRow("minimised") << true;
    }
    void secondCommandReusesTheWindow() {
        QFETCH(bool, minimised);
        mnuHelp_Click(state_, main_.get());
        QPointer<frmHLP> first = openHelpWindow(state_);
        first->move(first->pos() + QPoint(20, 10));
        const QPoint moved = first->pos();
        if (minimised) first->showMinimized();

        mnuDailyValues_Click(state_, main_.get());
        QCOMPARE(openHelpWindow(state_), first.data());
        QCOMPARE(main_->findChildren<frmHLP*>().size(), 1);
        QVERIFY(first->isVisible() && !first->isMinimized());
        QCOMPARE(first->windowTitle(), "Information on Daily Values");
        QCOMPARE(firstParagraph(first), "Daily Values");
        QCOMPARE(first->pos(), moved);  // refilled in place
    }

    void closedWindowComesBackFresh() {
        mnuHelp_Click(state_, main_.get());
        QPointer<frmHLP> old = openHelpWindow(state_);
        const QRect firstPlace = old->geometry();
        old->setGeometry(firstPlace.translated(30, 30).adjusted(0, 0, 80, 60));
        old->menuBar()->actions().first()->trigger();  // "&Close this window"
        QVERIFY(!openHelpWindow(state_));

        mnuDailyValues_Click(state_, main_.get());
        frmHLP* w = openHelpWindow(state_);
        QVERIFY(w && w != old);
        QCOMPARE(w->geometry(), firstPlace);
    }

    void resizingKeepsTheBoxInside() {
        mnuHelp_Click(state_, main_.get());
        frmHLP* w = openHelpWindow(state_);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect before = box(w)->geometry();
        w->setMinimumSize(1, 1);  // as small as a user could drag it: no error, box unchanged
        w->resize(6, 1);
        QTRY_COMPARE(w->size(), QSize(6, 1));
        QCOMPARE(box(w)->geometry(), before);
        w->resize(620, 480);
        QTRY_COMPARE(w->size(), QSize(620, 480));
        const QRect inner = w->centralWidget()->rect();
        QVERIFY(inner.contains(box(w)->geometry()));
        QVERIFY(box(w)->width() > inner.width() - 10 && box(w)->height() > inner.height() - 10);
    }

    void errorMessage() {
        mnuHelp_Click(state_, main_.get());
        openHelpWindow(state_)->FormErrorHandler(13);
        QCOMPARE(messages_->messages().size(), 1);
        const MessageBoxRequest shown = messages_->messages().first();
        // Line feed before carriage return, in that order.
        QCOMPARE(shown.text,
                 "Error number 13 was encountered.\n\rWhich is described as: Type mismatch");
        QCOMPARE(shown.title, "Velmora");
        QVERIFY(openHelpWindow(state_)->isVisible());  // the window stays open
        messages_->clear();
    }

    void about() {
        QList<QRect> frames;
        for (int i = 0; i < 2; ++i) {
            QTimer::singleShot(0, [&] {
                auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
                if (!about) return;  // the checks below fail instead of the test hanging
                frames << about->frameGeometry();
                QCOMPARE(firstParagraph(about), " Velmora, version 1.0");
                about->findChild<QAction*>(QStringLiteral("mnuClose"))->trigger();
            });
            mnuAbout_Click(state_, main_.get());
            QVERIFY(!QApplication::activeModalWidget());
            QVERIFY(main_->findChildren<frmAbout*>().isEmpty());  // created afresh each time
        }
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[1], frames[0]);
        QVERIFY((frames[0].center() - main_->frameGeometry().center()).manhattanLength() <= 2);
    }
};

QTEST_MAIN(HelpWindowsTest)
#include "test_helpwindows.moc"
