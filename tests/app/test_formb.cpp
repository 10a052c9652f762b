// The main window over a fixture table: start-up, the record label, the 100-gram report, the
// list's keyboard (type-ahead, paging) and a start without a food table.
#include "app/foodlistview.h"
#include "app/frmsplash.h"
#include "app/startup.h"
#include "appfixture.h"
#include "msgrecorder.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const char* const kAppleReport =
    " Total weight: 100 grams\r\n"
    " Item:  Apple, raw\r\n"
    "    \r\n"
    " Calories:  52\r\n"
    "    \r\n"
    " Total Fat in grams: 0.17\r\n"
    "    Saturated Fat in grams:  0.028\r\n"
    "    Polyunsaturated Fat in grams:  0.051\r\n"
    "    Monounsaturated Fat in grams:  0.007\r\n"
    " Cholesterol in mg:  0\r\n"
    " Carbohydrate in grams:  13.81\r\n"
    " Fiber in grams:  2.4\r\n"
    " Protein in grams: 0.26\r\n"
    " Sodium in mg:  1\r\n"
    " Potassium in mg:  107\r\n"
    " Calcium in mg:  6\r\n"
    " Phosphorus in mg:  11\r\n"
    " Iron in mg:  0.12\r\n"
    " Magnesium in mg:  5\r\n"
    " Zinc in mg:  \r\n"
    " Copper in mg:  0.027\r\n"
    " Manganese in mg:  0.035\r\n"
    " Selenium in in micrograms:  0\r\n"
    " Vitamin A in iu:  54\r\n"
    " Thiamin in mg:  0.017\r\n"
    " Riboflavin in mg:  0.026\r\n"
    " Niacin in mg:  0.091\r\n"
    " Pantothenic acid in mg:  0.061\r\n"
    " Vitamin B6 in mg:  0.041\r\n"
    " Folic Acid in micrograms:  3\r\n"
    " Vitamin B12 in micrograms:  0\r\n"
    " Vitamin C in mg:  4.6\r\n"
    " Vitamin E in mg:  0.18\r\n";

QString itemLine(const QString& report) {
    return report.section(QStringLiteral("\r\n"), 1, 1);
}

}  // namespace

class TestFormB : public QObject {
    Q_OBJECT
  private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void startUpSelectsAlco() {
        AppFixture app;
        FormB& f = app.form();
        QVERIFY(f.isVisible());
        QCOMPARE(f.list()->text(), QStringLiteral("Alcoholic beverage, beer, light"));
        QCOMPARE(itemLine(f.Text1Text()),
                 QStringLiteral(" Item:  Alcoholic beverage, beer, light"));
        QVERIFY(f.Text1Text().startsWith(" Total weight: 100 grams\r\n"));
        // The count caption of the load step never remains.
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 2 of 68"));
        QCOMPARE(f.itemCount(), 68);
        QCOMPARE(f.list()->typeAheadPrefix(), QStringLiteral("alco"));
    }

    void windowLayout() {
        AppFixture app;
        FormB& f = app.form();
        QCOMPARE(f.windowTitle(), QStringLiteral("Velmora"));
        QStringList captions;
        for (QAction* a : f.menuBar()->actions()) {
            QVERIFY(!a->menu());
            captions << a->text();
        }
        QCOMPARE(captions,
                 (QStringList{"Instructions ", "Information on Daily Values ", "Program Info ",
                              "Adjust Portion Size ", "Calculate Percent Daily Values ", "Exit"}));
        // Fixed size, everything down to the item view in sight.
        QCOMPARE(f.minimumSize(), f.maximumSize());
        auto* text1 = f.findChild<QPlainTextEdit*>("Text1");
        QVERIFY(text1->isReadOnly());
        QCOMPARE(text1->geometry(), QRect(411, 15, 349, 509));
        QVERIFY(text1->geometry().bottom() < f.centralWidget()->height());
        QCOMPARE(f.list()->geometry(), QRect(7, 47, 392, 355));
        for (const char* name : {"cmdSearch", "cmdReset", "cmdPageUp", "cmdPageDown"}) {
            auto* b = f.findChild<QPushButton*>(name);
            QVERIFY2(!b->isDefault() && !b->autoDefault(), name);
        }
        QCOMPARE(f.list()->accessibleName(), QStringLiteral("Food list"));
        QCOMPARE(f.searchBox()->accessibleName(), QStringLiteral("Search term"));
        QCOMPARE(text1->accessibleName(), QStringLiteral("Nutrient report"));
    }

    void reportByteForByte() {
        AppFixture app;
        FormB& f = app.form();
        app.selectRow(app.listRows().indexOf("Apple, raw"));
        QCOMPARE(f.Text1Text(), QString::fromLatin1(kAppleReport));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 5 of 68"));
        QCOMPARE(f.state().Z[33], QStringLiteral("0"));
        QCOMPARE(f.state().Z[34], QStringLiteral("0"));
        QCOMPARE(f.state().Z[41], QStringLiteral("100"));
        // Another food replaces the whole report.
        app.selectRow(app.listRows().indexOf("Chef's salad"));
        QCOMPARE(itemLine(f.Text1Text()), QStringLiteral(" Item:  Chef's salad"));
        QVERIFY(!f.Text1Text().contains("0.028"));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 7 of 68"));
    }

    void typeAhead() {
        AppFixture app;
        FormB& f = app.form();
        FoodListView* list = f.list();
        list->setTypeAheadInterval(150);
        QTest::qWait(200);
        QTest::keyClicks(list, "b");
        QCOMPARE(list->text(), QStringLiteral("Bread, white"));
        QTest::keyClicks(list, "R");  // extends the prefix, case ignored
        QCOMPARE(list->text(), QStringLiteral("Bread, white"));
        QCOMPARE(list->typeAheadPrefix(), QStringLiteral("bR"));
        QTest::keyClicks(list, "x");  // no row begins with "brx": the selection stays
        QCOMPARE(list->text(), QStringLiteral("Bread, white"));
        QTest::qWait(250);  // a pause starts a new prefix
        QTest::keyClicks(list, "s");
        QCOMPARE(list->text(), QStringLiteral("Spinach, raw"));
        QCOMPARE(itemLine(f.Text1Text()), QStringLiteral(" Item:  Spinach, raw"));
        QTest::qWait(250);
        QTest::keyClicks(list, "AP");
        QCOMPARE(list->text(), QStringLiteral("Apple, raw"));
    }

    void arrowsAndPaging() {
        AppFixture app;
        FormB& f = app.form();
        FoodListView* list = f.list();
        const int start = app.selectedRow();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(app.selectedRow(), start + 1);
        QCOMPARE(itemLine(f.Text1Text()), " Item:  " + app.listRows()[start + 1]);

        auto* pageDown = f.findChild<QPushButton*>("cmdPageDown");
        int clicks = 0;
        QSignalSpy spy(list->selectionModel(), &QItemSelectionModel::selectionChanged);
        QTest::mouseClick(pageDown, Qt::LeftButton);
        QVERIFY(app.selectedRow() > start + 1);
        QCOMPARE(itemLine(f.Text1Text()), " Item:  " + app.listRows()[app.selectedRow()]);
        QVERIFY(list->hasFocus() || !f.isActiveWindow());
        while (app.selectedRow() < 67 && clicks++ < 50) QTest::mouseClick(pageDown, Qt::LeftButton);
        QCOMPARE(app.selectedRow(), 67);
        const int changes = spy.count();
        QTest::mouseClick(pageDown, Qt::LeftButton);  // on the last page: stays on the last row
        QCOMPARE(app.selectedRow(), 67);
        QCOMPARE(spy.count(), changes);
        QCOMPARE(itemLine(f.Text1Text()), QStringLiteral(" Item:  Zucchini, variety 69"));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 68 of 68"));

        QTest::mouseClick(f.findChild<QPushButton*>("cmdPageUp"), Qt::LeftButton);
        QVERIFY(app.selectedRow() < 67);
        QCOMPARE(itemLine(f.Text1Text()), " Item:  " + app.listRows()[app.selectedRow()]);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Up);  // stops at the first row
        QCOMPARE(app.selectedRow(), 0);
    }

    void equalDescriptionsShowTheFirst() {
        AppFixture app({{"Bread", {{"ENERG_KCAL", 1.0}}}, {"Bread", {{"ENERG_KCAL", 2.0}}}});
        app.selectRow(1);
        QCOMPARE(app.form().Text1Text().section("\r\n", 3, 3), QStringLiteral(" Calories:  1"));
    }

    void dataErrorMessage() {
        MessageRecorder rec;
        AppFixture app;
        app.form().data().raiseDataError(3024);
        QCOMPARE(rec.messages().size(), 1);
        QVERIFY(rec.messages()[0].text.startsWith("Data1_Error() event hit error:Could not find"));
        QCOMPARE(rec.messages()[0].title, QStringLiteral("Velmora"));
    }

    void missingDatabase() {
        MessageRecorder rec;
        QTemporaryDir empty;
        StartResult r = Main(empty.filePath("Velmora.mdb"));
        QVERIFY(!r.mainWindow);
        QVERIFY(r.exitStatus != 0);
        QCOMPARE(rec.messages().size(), 1);
        QVERIFY(rec.messages()[0].text.startsWith("Run-time error '3024':"));
        QCOMPARE(rec.messages()[0].title, QStringLiteral("Velmora"));
        QVERIFY(!QFile::exists(empty.filePath("Velmora.mdb")));
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || !qobject_cast<FormB*>(w), "a main window stayed");
    }

    void splashClosesOnKeyOrFrameClick() {
        {
            frmSplash splash;
            splash.show();
            QVERIFY(QTest::qWaitForWindowExposed(&splash));
            QTest::keyClick(&splash, Qt::Key_X);
            QVERIFY(!splash.isVisible());
        }
        {
            frmSplash splash;
            splash.show();
            QVERIFY(QTest::qWaitForWindowExposed(&splash));
            // A click on a label inside the frame is a click on the frame.
            QWidget* label = splash.findChild<QWidget*>("Label1");
            QTest::mouseClick(label, Qt::LeftButton);
            QVERIFY(!splash.isVisible());
            QCOMPARE(label->property("text").toString(),
                     QStringLiteral("Loading Database.  Please wait...."));
        }
    }

    void startProcedureClosesSplash() {
        AppFixture app;  // only to make the table
        StartResult r = Main(app.databasePath());
        QVERIFY(r.mainWindow);
        QCOMPARE(r.exitStatus, 0);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!(w->objectName() == "frmSplash" && w->isVisible()), "splash still shown");
    }
};

QTEST_MAIN(TestFormB)
#include "test_formb.moc"
