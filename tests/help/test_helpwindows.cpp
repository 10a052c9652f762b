#include "aboutwindow.h"
#include "docdump.h"
#include "helpcommands.h"
#include "helpwindow.h"
#include "msgrecorder.h"
#include "twips.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMenuBar>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

using namespace velmora;
using velmora::test::MessageRecorder;
using velmora::test::Run;

namespace {

using Command = void (*)(QWidget*);

// The box sits 50 twips from the left, top and right and 35 from the bottom of the inner area.
QRect expectedBoxGeometry(const QSize& client) {
    const int w = client.width() * 15;
    const int h = client.height() * 15;
    return QRect(QPoint(tw(50), tw(50)), QPoint(tw(w - 50) - 1, tw(h - 35) - 1));
}

frmHLP* helpWindow() {
    return qobject_cast<frmHLP*>(helpWindowIfAny());
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class HelpWindowsTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void firstOpen_data();
    void firstOpen();
    void secondCommandReusesTheWindow_data();
    void secondCommandReusesTheWindow();
    void closedWindowComesBackFresh();
    void longDocumentScrollsByKeyboard();
    void tinySizesLeaveTheBox_data();
    void tinySizesLeaveTheBox();
    void errorMessage();
    void endOfProgramClosesHelp();
    void aboutLayoutAndText();
    void aboutIsModalAndTheSameEachTime();

  private:
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<MessageRecorder> messages_;
};

void HelpWindowsTest::init() {
    messages_ = std::make_unique<MessageRecorder>();
    main_ = std::make_unique<QWidget>();
    main_->setWindowTitle("Velmora");
    main_->setGeometry(60, 40, 700, 520);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
}

void HelpWindowsTest::cleanup() {
    unloadHelpWindows();
    main_.reset();
    flushDeletes();
    QCOMPARE(messages_->texts(), QStringList());
    messages_.reset();
}

void HelpWindowsTest::firstOpen_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("instructions") << Command(mnuHelp_Click) << 102 << "Instructions for Velmora"
                                  << "Velmora Instructions";
    QTest::newRow("Daily Values") << Command(mnuDailyValues_Click) << 101
                                  << "Information on Daily Values"
                                  << "Daily Values";
}

void HelpWindowsTest::firstOpen() {
    QFETCH(Command, command);
    QFETCH(int, id);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    QVERIFY(!helpWindowIfAny());

    command(main_.get());
    frmHLP* w = helpWindow();
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), caption);
    QCOMPARE(w->parentWidget(), main_.get());
    QVERIFY(w->isWindow());
    QCOMPARE(w->windowFlags() & Qt::WindowMinMaxButtonsHint, Qt::WindowMinMaxButtonsHint);
    QCOMPARE(w->clientArea()->size(), QSize(tw(7065), tw(4890)));
    QCOMPARE(w->RichTextBox1()->geometry(), expectedBoxGeometry(w->clientArea()->size()));
    QVERIFY(w->RichTextBox1()->isReadOnly());
    QVERIFY((w->frameGeometry().center() - main_->frameGeometry().center()).manhattanLength() <= 2);
    QCOMPARE(w->RichTextBox1()->document()->firstBlock().text(), title);
    // Text without a font of its own: the system's fixed font at 9 pt.
    const QFont plain = w->RichTextBox1()->document()->defaultFont();
    QCOMPARE(plain.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    QCOMPARE(plain.pointSize(), 9);

    // One command straight on the menu bar, no submenu.
    const QList<QAction*> actions = w->menuBar()->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions[0]->text(), "&Close this window");
    QVERIFY(!actions[0]->menu());

    QCOMPARE(vDocBytes, loadResourceBytes(QStringLiteral("RTF"), id));
    QCOMPARE(svDocText.size(), vDocBytes.size());
    QVERIFY(svDocText.endsWith(QChar(0)));
}

void HelpWindowsTest::secondCommandReusesTheWindow_data() {
    QTest::addColumn<bool>("minimised");
    QTest::newRow("shown") << false;
    QTest::newRow("minimised") << true;
}

void HelpWindowsTest::secondCommandReusesTheWindow() {
    QFETCH(bool, minimised);
    mnuHelp_Click(main_.get());
    QPointer<frmHLP> first = helpWindow();
    first->move(first->pos() + QPoint(20, 10));
    const QPoint moved = first->pos();
    if (minimised) first->showMinimized();

    mnuDailyValues_Click(main_.get());
    QCOMPARE(helpWindow(), first.data());
    QCOMPARE(main_->findChildren<frmHLP*>().size(), 1);
    QVERIFY(first->isVisible() && !first->isMinimized());
    QCOMPARE(first->windowTitle(), "Information on Daily Values");
    QCOMPARE(first->RichTextBox1()->document()->firstBlock().text(), "Daily Values");
    QCOMPARE(first->pos(), moved);  // refilled in place
}

void HelpWindowsTest::closedWindowComesBackFresh() {
    mnuHelp_Click(main_.get());
    QPointer<frmHLP> old = helpWindow();
    const QPoint firstPlace = old->pos();
    old->setGeometry(QRect(firstPlace + QPoint(30, 30), QSize(600, 420)));

    old->menuBar()->actions().first()->trigger();
    QVERIFY(!helpWindowIfAny());
    flushDeletes();
    QVERIFY(!old);

    mnuDailyValues_Click(main_.get());
    frmHLP* w = helpWindow();
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), "Information on Daily Values");
    QCOMPARE(w->clientArea()->size(), QSize(tw(7065), tw(4890)));
    QCOMPARE(w->pos(), firstPlace);
}

void HelpWindowsTest::longDocumentScrollsByKeyboard() {
    mnuDailyValues_Click(main_.get());
    QTextEdit* box = helpWindow()->RichTextBox1();
    QVERIFY(QTest::qWaitForWindowExposed(helpWindow()));
    QCOMPARE(box->verticalScrollBar()->value(), 0);
    QTest::keyClick(box, Qt::Key_PageDown);
    QVERIFY(box->verticalScrollBar()->value() > 0);
}

void HelpWindowsTest::tinySizesLeaveTheBox_data() {
    QTest::addColumn<QSize>("client");  // pixels
    QTest::newRow("low") << QSize(300, 5);
    QTest::newRow("flat") << QSize(300, 0);
    QTest::newRow("narrow") << QSize(6, 200);
}

void HelpWindowsTest::tinySizesLeaveTheBox() {
    QFETCH(QSize, client);
    mnuHelp_Click(main_.get());
    frmHLP* w = helpWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QRect before = w->RichTextBox1()->geometry();
    const int menuHeight = w->height() - w->clientArea()->height();

    w->setMinimumSize(1, 1);  // as small as a user could drag it
    const QSize tiny(client.width(), client.height() + menuHeight);
    w->resize(tiny);
    QTRY_COMPARE(w->size(), tiny);
    QCOMPARE(w->RichTextBox1()->geometry(), before);

    w->showMinimized();
    QCOMPARE(w->RichTextBox1()->geometry(), before);
    w->showNormal();

    w->resize(520, 380 + menuHeight);
    QTRY_COMPARE(w->clientArea()->size(), QSize(520, 380));
    QCOMPARE(w->RichTextBox1()->geometry(), expectedBoxGeometry(QSize(520, 380)));
}

void HelpWindowsTest::errorMessage() {
    mnuHelp_Click(main_.get());
    helpWindow()->FormErrorHandler(13);
    QCOMPARE(messages_->messages().size(), 1);
    const MessageBoxRequest shown = messages_->messages().first();
    // Line feed before carriage return, in that order.
    QCOMPARE(shown.text,
             "Error number 13 was encountered.\n\rWhich is described as: Type mismatch");
    QCOMPARE(shown.title, "Velmora");
    QCOMPARE(shown.icon, MsgIcon::None);
    QVERIFY(helpWindow()->isVisible());  // the window stays open
    messages_->clear();
}

void HelpWindowsTest::endOfProgramClosesHelp() {
    mnuHelp_Click(main_.get());
    QPointer<frmHLP> w = helpWindow();
    unloadHelpWindows();
    QVERIFY(!w);
    QVERIFY(!helpWindowIfAny());
}

void HelpWindowsTest::aboutLayoutAndText() {
    frmAbout about(main_.get());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.windowTitle(), "Velmora program information");
    QCOMPARE(about.clientArea()->size(), QSize(tw(6180), tw(3195)));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(!(about.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(about.RichTextBox1()->geometry(), twipsRect(90, 30, 6000, 3075));
    QCOMPARE(about.RichTextBox1()->palette().color(QPalette::Base), QColor(215, 228, 233));
    const QList<QAction*> menu = about.findChild<QMenuBar*>()->actions();
    QCOMPARE(menu.size(), 1);
    QCOMPARE(menu[0]->text(), "&Close this window");

    const QTextDocument* doc = about.RichTextBox1()->document();
    QStringList lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        lines << b.text();
        for (const Run& r : test::runsOf(b))
            QCOMPARE(r.family + ' ' + QString::number(r.points), "Arial 10");
    }
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines.mid(0, 4),
             (QStringList{" Velmora, version 1.0", "", " The Velmora project", ""}));
    QCOMPARE(lines[8], QString());
    for (const QString& line : lines)
        QVERIFY(line.isEmpty() || line.indexOf(QRegularExpression("^ \\S")) == 0);
}

void HelpWindowsTest::aboutIsModalAndTheSameEachTime() {
    QList<QRect> frames;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            if (!about) return;  // the checks below fail instead of the test hanging
            if (about->windowModality() == Qt::ApplicationModal) frames << about->frameGeometry();
            if (auto* close = about->findChild<QAction*>(QStringLiteral("mnuClose")))
                close->trigger();
            about->close();  // in case the menu failed
        });
        mnuAbout_Click(main_.get());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(main_->findChildren<frmAbout*>().isEmpty());  // created afresh each time
    }
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[1], frames[0]);
    QVERIFY((frames[0].center() - main_->frameGeometry().center()).manhattanLength() <= 2);
}

QTEST_MAIN(HelpWindowsTest)
#include "test_helpwindows.moc"
