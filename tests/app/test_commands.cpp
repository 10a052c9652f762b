// The main window's menu commands end to end: a portion through the dialog, Percent Daily Values,
// the help and About windows, and Exit.
#include "app/foodlistview.h"
#include "appfixture.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "msgrecorder.h"
#include "withmodal.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kSpinach = QStringLiteral("Spinach, cooked, boiled, drained, without salt");

QList<FixtureFood> portionFoods() {
    return {{"Apple, raw", {{"ENERG_KCAL", 52.0}, {"SODIUM", 1.0}}},
            {kSpinach,
             {{"ENERG_KCAL", 23.0},
              {"PROTEIN", 2.97},
              {"CARBOHYDRT", 3.75},
              {"SODIUM", 70.0},
              {"FA_POLY", 0.109},
              {"FA_MONO", 0.0},
              {"GMWT_1", 180.0},
              {"GMWT_DESC1", "1 cup"}}}};
}

void submitPortion(FormB& f, const char* option, const char* box, const QString& value) {
    withModal([&] { f.mnuPortionAdjust_Click(); },
              [&](QWidget* dialog) {
                  dialog->findChild<QRadioButton*>(option)->click();
                  dialog->findChild<QLineEdit*>(box)->setText(value);
                  dialog->findChild<QPushButton*>("cmdSubmit")->click();
              });
}

}  // namespace

class TestCommands : public QObject {
    Q_OBJECT
  private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void spinachQuarterCup() {
        AppFixture app(portionFoods());
        FormB& f = app.form();
        app.selectRow(1);
        submitPortion(f, "Option2", "TextOp2", "0.25");
        QVERIFY(
            f.Text1Text().startsWith(" Quantity: 0.25\r\n Unit: 1 cup\r\n"
                                     " Total weight: 45.00 grams\r\n Item:  " +
                                     kSpinach + "\r\n"));
        QVERIFY(f.Text1Text().contains(" Calories:   10.4\r\n"));
        QVERIFY(f.Text1Text().contains(" Protein in grams:  1.337\r\n"));

        // Percent Daily Values of the portion on show; twice gives the same text.
        f.mnuCalculate_Click();
        const QString annotated = f.Text1Text();
        QVERIFY(annotated.startsWith(
            " Quantity: 0.25\r\n Unit: 1 cup\r\n Total weight: 45.00 grams\r\n"));
        QVERIFY(
            annotated.contains(" Carbohydrate in grams:   1.688\r\n"
                               "          Percent Daily Value: 0.6%\r\n\r\n"));
        QVERIFY(annotated.contains(" Calories:  10.4\r\n          Percent Daily Value: 0.5%\r\n"));
        QVERIFY(annotated.contains("    FDA does not specify a DV for Polyunsaturated Fats\r\n"));
        QVERIFY(!annotated.contains("Monounsaturated Fats"));
        QVERIFY(annotated.endsWith("cholesterol would remain the same."));
        f.mnuCalculate_Click();
        QCOMPARE(f.Text1Text(), annotated);

        // A list click brings the ordinary 100-gram report back.
        app.selectRow(0);
        QVERIFY(f.Text1Text().startsWith(" Total weight: 100 grams\r\n Item:  Apple, raw\r\n"));
        app.selectRow(1);
        f.mnuCalculate_Click();
        QVERIFY(f.Text1Text().startsWith(" Total weight: 100 grams\r\n"));
        QVERIFY(f.Text1Text().contains(
            " Sodium in mg:  70\r\n          Percent Daily Value: 2.9%\r\n"));
    }

    void spinachOnTheShippedTable() {
        const QString shipped = shippedDatabase();
        if (shipped.isEmpty()) QSKIP("the shipped food table was not built");
        QTemporaryDir dir;
        QVERIFY(QFile::copy(shipped, dir.filePath("Velmora.mdb")));
        FormB f(dir.filePath("Velmora.mdb"));
        f.Form_Load();
        QCOMPARE(f.list()->text(), QStringLiteral("Alcoholic beverage, beer, light"));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 15 of 7907"));
        const QAbstractItemModel* m = f.list()->model();
        int row = 0;
        while (row < m->rowCount() && m->index(row, 0).data().toString() != kSpinach) ++row;
        QVERIFY(row < m->rowCount());
        f.list()->setCurrentIndex(m->index(row, 0));
        submitPortion(f, "Option2", "TextOp2", "0.25");
        QVERIFY(f.Text1Text().startsWith(
            " Quantity: 0.25\r\n Unit: 1 cup\r\n Total weight: 45.00 grams\r\n"));
    }

    void gramsPortionHasNoHeader() {
        AppFixture app(portionFoods());
        FormB& f = app.form();
        app.selectRow(1);
        submitPortion(f, "Option1", "TextOp1", "50");
        QVERIFY(f.Text1Text().startsWith(" Total weight: 50.00 grams\r\n"));
        QVERIFY(f.Text1Text().contains(" Calories:   11.5\r\n"));
    }

    void cancelLeavesTheReport() {
        AppFixture app(portionFoods());
        FormB& f = app.form();
        app.selectRow(1);
        submitPortion(f, "Option1", "TextOp1", "50");
        const QString report = f.Text1Text();
        withModal([&] { f.mnuPortionAdjust_Click(); },
                  [](QWidget* dialog) { dialog->findChild<QPushButton*>("cmdCancel")->click(); });
        QCOMPARE(f.Text1Text(), report);
        QVERIFY(f.bvCancel);
        withModal([&] { f.mnuPortionAdjust_Click(); }, [](QWidget* dialog) { dialog->close(); });
        QCOMPARE(f.Text1Text(), report);
    }

    void germanLocaleKeepsTheHeader() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        AppFixture app(portionFoods());
        FormB& f = app.form();
        app.selectRow(1);
        submitPortion(f, "Option2", "TextOp2", "10");
        QVERIFY(f.Text1Text().startsWith(
            " Quantity: 10\r\n Unit: 1 cup\r\n Total weight: 1.800,00 grams\r\n"));
        f.mnuCalculate_Click();
        QVERIFY(f.Text1Text().startsWith(" Quantity: 10\r\n Unit: 1 cup\r\n"));
    }

    void aboutIsModal() {
        AppFixture app(portionFoods());
        FormB& f = app.form();
        QRect first;
        for (int i = 0; i < 2; ++i) {
            withModal([&] { f.mnuAbout_Click(); },
                      [&](QWidget* about) {
                          QCOMPARE(about->windowTitle(),
                                   QStringLiteral("Velmora program information"));
                          QVERIFY(about->isModal());
                          if (i == 0) first = about->geometry();
                          QCOMPARE(about->geometry(), first);
                          about->close();
                      });
        }
    }

    void exitClosesTheHelpWindow() {
        AppFixture app(portionFoods());
        FormB& f = app.form();
        f.mnuHelp_Click();
        QWidget* help = openHelpWindow(f.state());
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->windowTitle(), QStringLiteral("Instructions for Velmora"));
        f.menuCommand("mnuExit")->trigger();
        QVERIFY(!f.isVisible());
        QVERIFY(!openHelpWindow(f.state()) || !openHelpWindow(f.state())->isVisible());
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
