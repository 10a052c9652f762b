// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real X server with a window manager, the window active and input sent as a
// user sends it: what depends on focus, activation, stacking or a screen reader. Runs under
// support/xsession.sh.
#include "app/foodlistview.h"
#include "appfixture.h"
#include "common/msgbox.h"
#include "common/msgbox_widgets.h"
#include "help/helpwindow.h"
#include "testcase.h"
#include "withmodal.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kLong = QStringLiteral(
    "Cereals ready-to-eat, QUAKER, CAP'N CRUNCH'S Halloween Crunch, with a name far wider than "
    "the list");

QList<FixtureFood> desktopFoods() {
    return browseFoods() << FixtureFood{"Chicken, roasted"} << FixtureFood{"Soup, chicken noodle"}
                         << FixtureFood{"Spinach souffle"} << FixtureFood{kLong};
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The real pointer, which the window manager sees as well as the program.
void pointer(QWidget* widget, QPoint at, bool click) {
    const QPoint g = widget->mapToGlobal(at);
    QStringList arguments{"mousemove", "--sync", QString::number(g.x()), QString::number(g.y())};
    run("xdotool", click ? arguments << "click"
                                     << "1"
                         : arguments);
}

// Whether the window manager stacks `upper` above `lower`.
bool stackedAbove(QWidget* upper, QWidget* lower) {
    const QString list = run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}).section('#', 1);
    QList<WId> order;
    for (const QString& id : list.split(',', Qt::SkipEmptyParts))
        order << id.trimmed().toULongLong(nullptr, 16);
    const qsizetype u = order.indexOf(upper->winId()), l = order.indexOf(lower->winId());
    return u >= 0 && l >= 0 && u > l;
}

QString itemLine(const FormB& f) {
    return f.Text1Text().section(QStringLiteral("\r\n"), 1, 1);
}

}  // namespace

class Desktop : public velmora::test::TestCase {
    Q_OBJECT
    std::unique_ptr<AppFixture> app_;

    FormB& form() { return app_->form(); }
    FoodListView* list() { return form().list(); }
    void press(const char* button) {
        QTest::mouseClick(form().findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // The list's selected row, its current row, the report and the label all name one food.
    void expectOnShow(int row, const QString& label) {
        QCOMPARE(app_->selectedRow(), row);
        QCOMPARE(list()->currentIndex().row(), row);
        QCOMPARE(itemLine(form()), " Item:  " + app_->listRows().value(row));
        QCOMPARE(form().recordLabel()->text(), label.arg(row + 1).arg(app_->listRows().size()));
    }

  private slots:
    void init() {
        TestCase::init();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        app_ = std::make_unique<AppFixture>(desktopFoods());
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        QTRY_VERIFY(list()->hasFocus());
    }
    void cleanup() { app_.reset(); }

    // After a refill the row the Page Up lands on is selected and shown, once.
    void refilledListSelectsItsFirstRow_data() {
        QTest::addColumn<QString>("term");  // searched for; empty: Reset
        QTest::addColumn<QString>("label");
        QTest::newRow("search after a click") << "chicken"
                                              << "Item %1 of %2 found in search";
        QTest::newRow("reset after start") << ""
                                           << "Food Database Item Number %1 of %2";
    }
    void refilledListSelectsItsFirstRow() {
        QFETCH(QString, term);
        QFETCH(QString, label);
        app_->selectRow(app_->listRows().indexOf("Spinach souffle"));
        QSignalSpy changes(list()->selectionModel(), &QItemSelectionModel::selectionChanged);
        form().searchBox()->setText(term);
        press(term.isEmpty() ? "cmdReset" : "cmdSearch");
        QCOMPARE(changes.count(), 1);
        expectOnShow(0, label);
        QVERIFY(list()->hasFocus());
        // The keys go on from the row on show.
        QTest::keyClick(list(), Qt::Key_Down);
        expectOnShow(1, label);
        press("cmdPageUp");
        expectOnShow(0, label);
        QVERIFY(list()->hasFocus());
    }

    // A click on the food on show brings its 100-gram report back.
    void clickOnTheFoodOnShow() {
        const int apple = app_->listRows().indexOf("Apple, raw");
        app_->selectRow(apple);
        const QString hundredGrams = form().Text1Text();
        withModal([&] { form().mnuPortionAdjust_Click(); },
                  [](QWidget* dialog) {
                      dialog->findChild<QLineEdit*>("TextOp1")->setText("50");
                      dialog->findChild<QPushButton*>("cmdSubmit")->click();
                  });
        QVERIFY(form().Text1Text() != hundredGrams);
        app_->selectRow(apple);
        QCOMPARE(form().Text1Text(), hundredGrams);
        form().mnuCalculate_Click();
        app_->selectRow(apple);
        QCOMPARE(form().Text1Text(), hundredGrams);
    }

    // The help window stays above its owner, and a help command brings it forward.
    void helpWindowStaysAbove() {
        form().mnuDailyValues_Click();
        frmHLP* help = openHelpWindow(form().state());
        QVERIFY(help);
        QTRY_VERIFY(help->isActiveWindow());
        pointer(form().centralWidget(), QPoint(20, 20), true);
        QTRY_VERIFY(form().isActiveWindow());
        QTRY_VERIFY(stackedAbove(help, &form()));
        form().mnuHelp_Click();
        QCOMPARE(help->windowTitle(), QStringLiteral("Instructions for Velmora"));
        QTRY_VERIFY(help->isActiveWindow());
    }

    // A minimise that the window manager offers for the portion dialog, whatever its flags ask,
    // does not hide the program.
    void portionDialogCannotVanish() {
        withModal([&] { form().mnuPortionAdjust_Click(); },
                  [&](QWidget* dialog) {
                      QTRY_VERIFY(dialog->isActiveWindow());
                      bool minimised = false;
                      connect(dialog->windowHandle(), &QWindow::windowStateChanged, this,
                              [&](Qt::WindowState s) { minimised |= s == Qt::WindowMinimized; });
                      // A window manager busy with other windows may drop the request: asked
                      // again until the program sees the minimise, for at most about 20 s.
                      for (int asked = 0; asked < 10 && !minimised; ++asked) {
                          run("xdotool", {"windowminimize", QString::number(dialog->winId())});
                          (void)QTest::qWaitFor([&] { return minimised; }, 2000);
                      }
                      QVERIFY(minimised);
                      QTRY_VERIFY(!dialog->isMinimized() && dialog->windowHandle()->isExposed());
                      QTRY_VERIFY(form().windowHandle()->isExposed());
                      dialog->findChild<QPushButton*>("cmdCancel")->click();
                  });
    }

    // After any message of the portion dialog the entry has the focus, its text selected.
    void focusAfterARefusedEntry() {
        const MessageBoxPresenter recorder = setMessageBoxPresenter({});
        installWidgetMessageBoxes();
        withModal([&] { form().mnuPortionAdjust_Click(); },
                  [&](QWidget* dialog) {
                      QTRY_VERIFY(dialog->isActiveWindow());
                      auto* grams = dialog->findChild<QLineEdit*>("TextOp1");
                      QTRY_COMPARE(QApplication::focusWidget(), grams);
                      QTest::keyClicks(grams, "abc");
                      QTimer::singleShot(0, [] {
                          auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                          box->button(QMessageBox::Ok)->click();
                      });
                      QTest::mouseClick(dialog->findChild<QPushButton*>("cmdSubmit"),
                                        Qt::LeftButton);
                      QTRY_COMPARE(QApplication::focusWidget(), grams);
                      QCOMPARE(grams->selectedText(), QStringLiteral("abc"));
                      QTest::keyClicks(QApplication::focusWidget(), "45");
                      QCOMPARE(grams->text(), QStringLiteral("45"));
                      dialog->findChild<QPushButton*>("cmdCancel")->click();
                  });
        setMessageBoxPresenter(recorder);
    }

    // What a screen reader learns: the record label's text and the report.
    void screenReaderReadsTheTexts() {
        QProcess reader;
        reader.start("/usr/bin/python3",
                     {qEnvironmentVariable("VELMORA_TEST_SUPPORT") + "/atspi_dump.py",
                      QString::number(getpid())});
        QTRY_VERIFY_WITH_TIMEOUT(reader.state() == QProcess::NotRunning, 60000);
        const QString dump = QString::fromUtf8(reader.readAllStandardOutput());
        QVERIFY2(reader.exitCode() == 0, qPrintable(reader.readAllStandardError()));
        const QStringList lines = dump.split('\n');
        QVERIFY2(lines.contains("label\t" + form().recordLabel()->text() + "\t"), qPrintable(dump));
        const QString report = QString(form().Text1Text()).replace("\r\n", "\\n");
        QVERIFY(std::any_of(lines.begin(), lines.end(),
                            [&](const QString& l) { return l.endsWith("\t" + report); }));
    }

    // A description wider than the list shows in full as the row's tooltip.
    void longNameAsTooltip() {
        const QModelIndex row = list()->model()->index(app_->listRows().indexOf(kLong), 0);
        list()->scrollTo(row);
        pointer(list()->viewport(), list()->visualRect(row).center(), false);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), kLong);
    }
};

QTEST_MAIN(Desktop)
#include "test_desktop.moc"
