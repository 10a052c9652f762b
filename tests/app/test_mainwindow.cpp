// SPDX-License-Identifier: GPL-3.0-or-later
// The main window over a small food table: start-up, the list's keys, search and reset with the
// record label, the portion and Percent Daily Value commands end to end, and the ways a start
// fails or ends.
#include "app/choosetable.h"
#include "app/foodlistview.h"
#include "app/frmsplash.h"
#include "app/startup.h"
#include "appfixture.h"
#include "fooddb/foodcolumns.h"
#include "fooddb/sourcerecord.h"
#include "fooddb/sqlite.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "msgrecorder.h"
#include "testcase.h"
#include "withmodal.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <fcntl.h>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kSearchError = QStringLiteral(
    "Your search generated an error.  Please use only the letters of the english alphabet and "
    "common punctuation characters in your search terms.  Error number ");
const QStringList kOdd = {"Chef's salad",        "CAP'N CRUNCH'S cereal", "Milk, 2% fat",
                          "Chicken, roasted",    "Crème fraîche",         "日本 rice cracker",
                          "Bread [sliced]",      "Snack, a_b mix",        "Say \"cheese\"",
                          "Soup, chicken noodle"};

QString itemLine(const FormB& f) {
    return f.Text1Text().section(QStringLiteral("\r\n"), 1, 1);
}
QString label(const FormB& f) {
    return f.recordLabel()->text();
}
void click(FormB& f, const char* button) {
    QTest::mouseClick(f.findChild<QPushButton*>(button), Qt::LeftButton);
}
void search(FormB& f, const QString& term) {
    f.searchBox()->setText(term);
    click(f, "cmdSearch");
}
void portion(FormB& f, const char* option, const char* box, const QString& value) {
    withModal([&] { f.mnuPortionAdjust_Click(); },
              [&](QWidget* dialog) {
                  dialog->findChild<QRadioButton*>(option)->click();
                  dialog->findChild<QLineEdit*>(box)->setText(value);
                  dialog->findChild<QPushButton*>("cmdSubmit")->click();
              });
}
// This process's descriptors of the file `path` that are open for writing, as "fd flags".
QStringList writableDescriptors(const QString& path) {
    QStringList found;
    const QString file = QFileInfo(path).canonicalFilePath();
    for (const QString& fd :
         QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget("/proc/self/fd/" + fd) != file) continue;
        QFile info("/proc/self/fdinfo/" + fd);
        if (!info.open(QIODevice::ReadOnly)) continue;
        const QString flags =
            QString::fromLatin1(info.readAll()).section("flags:", 1).section('\n', 0, 0);
        if ((flags.trimmed().toInt(nullptr, 8) & O_ACCMODE) != O_RDONLY) found << fd + flags;
    }
    return found;
}

QList<FixtureFood> oddFoods() {
    QList<FixtureFood> foods{{QVariant(), {{"ENERG_KCAL", 2.0}}}, {"", {}}};
    for (const QString& d : kOdd) foods.append({d, {{"ENERG_KCAL", 1.0}}});
    return foods;
}

}  // namespace

class TestMainWindow : public velmora::test::TestCase {
    Q_OBJECT
  private slots:
    void init() {
        TestCase::init();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void startUpAndKeys() {
        AppFixture app;
        FormB& f = app.form();
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Alcoholic beverage, beer, light"));
        QCOMPARE(label(f), QStringLiteral("Food Database Item Number 2 of 68"));
        QCOMPARE(f.list()->typeAheadPrefix(), QStringLiteral("alco"));
        FoodListView* list = f.list();
        qint64 now = 0;
        list->setClock([&now] { return now; });
        QTest::keyClicks(list, "bRx");  // case blind; no row begins with "brx": it stays
        QCOMPARE(list->text(), QStringLiteral("Bread, white"));
        now += list->typeAheadInterval() + 1;  // a pause starts a new prefix
        QTest::keyClicks(list, "S");
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Spinach, raw"));
        for (int i = 0; i < 20; ++i) click(f, "cmdPageDown");  // stops on the last row
        QCOMPARE(label(f), QStringLiteral("Food Database Item Number 68 of 68"));
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Zucchini, variety 69"));
        click(f, "cmdPageUp");
        QVERIFY(app.selectedRow() < 67);
        QCOMPARE(itemLine(f), " Item:  " + app.listRows()[app.selectedRow()]);
    }

    void searchAndReset() {
        MessageRecorder rec;
        AppFixture app(oddFoods());
        FormB& f = app.form();
        const QString report = f.Text1Text(), firstLabel = label(f);
        search(f, QString());
        search(f, QString());
        QCOMPARE(rec.texts(), QStringList(2,
                                          "Please enter a search term in the box to the left "
                                          "of the Search button."));
        QCOMPARE(f.Text1Text(), report);
        QCOMPARE(label(f), firstLabel);
        QVERIFY(!f.searchMode());
        // Enter in the box does not search; the focused button does.
        f.searchBox()->setText("Chef's");
        QTest::keyClick(f.searchBox(), Qt::Key_Return);
        QCOMPARE(app.listRows().size(), 12);
        f.findChild<QPushButton*>("cmdSearch")->setFocus();
        QTest::keyClick(f.findChild<QPushButton*>("cmdSearch"), Qt::Key_Space);
        QCOMPARE(app.listRows(), QStringList{"Chef's salad"});
        QCOMPARE(label(f), QStringLiteral("Item 1 of 1 found in search"));
        QCOMPARE(f.searchBox()->text(), QStringLiteral("Chef's"));
        // Nothing found: the refresh's reposition labels in the mode it had then.
        search(f, "zzz");
        QVERIFY(f.Text1Text().isEmpty());
        QCOMPARE(label(f), QStringLiteral("Item 0 of 1 found in search"));
        search(f, "CHICKEN");
        QCOMPARE(app.listRows(), (QStringList{"Chicken, roasted", "Soup, chicken noodle"}));
        QCOMPARE(label(f), QStringLiteral("Item 1 of 2 found in search"));
        QTest::keyClick(f.list(), Qt::Key_Down);
        QCOMPARE(label(f), QStringLiteral("Item 2 of 2 found in search"));
        // A malformed pattern changes nothing but the box.
        const QString shown = f.Text1Text();
        search(f, "[a");
        QCOMPARE(rec.texts().last(), kSearchError + "93");
        QVERIFY(f.searchBox()->text().isEmpty());
        QCOMPARE(label(f), QStringLiteral("Item 2 of 2 found in search"));
        QCOMPARE(f.Text1Text(), shown);
        // Reset with the list hidden sends no Page Up, so no new report.
        f.list()->hide();
        click(f, "cmdReset");
        QCOMPARE(f.Text1Text(), shown);
        // Every food is back, also the one without a description, which reports its own values.
        QCOMPARE(app.listRows().mid(0, 3), (QStringList{"", "", "Bread [sliced]"}));
        QCOMPARE(f.itemCount(), 12);
        QCOMPARE(label(f), QStringLiteral("Food Database Item Number 1 of 12"));
        f.list()->show();
        app.selectRow(1);
        app.selectRow(0);
        QVERIFY(f.Text1Text().contains(" Item:  \r\n    \r\n Calories:  2\r\n"));
        // The program only ever reads the table.
        QCOMPARE(writableDescriptors(app.databasePath()), QStringList());
    }

    // Over a French table the list files accented letters with their base letters, and
    // type-ahead and search ignore accents.
    void accents() {
        AppFixture app({{"Épinard, cru"},
                        {"Œuf dur"},
                        {"Epinard, surgelé"},
                        {"Epice"},
                        {"Échalote"},
                        {"Agneau, viande"},
                        {"Agneau, épaule"}});
        FormB& f = app.form();
        QCOMPARE(app.listRows(),
                 (QStringList{"Agneau, épaule", "Agneau, viande", "Échalote", "Epice",
                              "Épinard, cru", "Epinard, surgelé", "Œuf dur"}));
        qint64 now = 0;
        f.list()->setClock([&now] { return now; });
        QTest::keyClicks(f.list(), "epi");
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Epice"));
        QTest::keyClicks(f.list(), "n");
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Épinard, cru"));
        search(f, "EPINARD");
        QCOMPARE(app.listRows(), (QStringList{"Épinard, cru", "Epinard, surgelé"}));
        QCOMPARE(label(f), QStringLiteral("Item 1 of 2 found in search"));
        search(f, "oeuf");
        QCOMPARE(itemLine(f), QStringLiteral(" Item:  Œuf dur"));
    }

    void hostileTerms_data() {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QStringList>("found");  // {"error"}: the search error
        QTest::newRow("blank") << " " << kOdd;
        QTest::newRow("quote") << "'" << QStringList{"Chef's salad", "CAP'N CRUNCH'S cereal"};
        QTest::newRow("open bracket") << "[" << QStringList{"error"};
        QTest::newRow("range") << "[a-c]hicken" << kOdd.mid(9, 1) + kOdd.mid(3, 1);
        QTest::newRow("question") << "?" << kOdd;
        QTest::newRow("hash") << "#" << QStringList{"Milk, 2% fat"};
        QTest::newRow("underscore") << "_" << QStringList{"Snack, a_b mix"};
        QTest::newRow("lone surrogate") << "a" + QString(QChar(0xD800)) + "b" << QStringList{};
        QTest::newRow("NUL") << "a" + QString(QChar(0)) + "b" << QStringList{};
    }
    void hostileTerms() {
        QFETCH(QString, term);
        QFETCH(QStringList, found);
        MessageRecorder rec;
        AppFixture app(oddFoods());
        FormB& f = app.form();
        search(f, term);
        if (found == QStringList{"error"}) {
            QVERIFY(rec.texts().value(0).startsWith(kSearchError));
            QVERIFY(!f.searchMode());
        } else {
            QCOMPARE(rec.texts(), QStringList());
            QStringList rows = app.listRows();
            rows.sort(Qt::CaseInsensitive);
            found.sort(Qt::CaseInsensitive);
            QCOMPARE(rows, found);
        }
        click(f, "cmdReset");
        QCOMPARE(label(f), QStringLiteral("Food Database Item Number 1 of 12"));
    }

    void portionAndDailyValues_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("weight");
        QTest::newRow("English") << QLocale(QLocale::English) << "1,250.00";
        QTest::newRow("German") << QLocale(QLocale::German) << "1.250,00";
    }
    void portionAndDailyValues() {
        QFETCH(QLocale, locale);
        QFETCH(QString, weight);
        QLocale::setDefault(locale);
        AppFixture app;
        FormB& f = app.form();
        app.selectRow(app.listRows().indexOf("Apple, raw"));
        portion(f, "Option2", "TextOp2", "10");
        const QString header = " Quantity: 10\r\n Unit: 1 cup\r\n Total weight: " + weight;
        QVERIFY(f.Text1Text().startsWith(header));
        QVERIFY(
            f.Text1Text().contains(" Calories:   650\r\n    \r\n Total Fat in grams:  2.125\r\n"));
        f.mnuCalculate_Click();
        QVERIFY(f.Text1Text().startsWith(header));
        QVERIFY(f.Text1Text().contains(" Calories:  650\r\n          Percent Daily Value: 32.5%"));
        // Cancel, by its button or the close box, keeps the report; grams have no header.
        const QString annotated = f.Text1Text();
        withModal([&] { f.mnuPortionAdjust_Click(); },
                  [](QWidget* d) { d->findChild<QPushButton*>("cmdCancel")->click(); });
        withModal([&] { f.mnuPortionAdjust_Click(); }, [](QWidget* d) { d->close(); });
        QCOMPARE(f.Text1Text(), annotated);
        portion(f, "Option1", "TextOp1", "50");
        QVERIFY(f.Text1Text().startsWith(" Total weight: 50"));
        app.selectRow(0);
        QVERIFY(f.Text1Text().startsWith(" Total weight: 100 grams\r\n Item:  Abiyuch, raw\r\n"));
    }

    // Each row reports its own food: twins, a row without a description; a cell of a number column
    // that holds no usable number is not measured, in the report and the portion alike.
    void ownRecords() {
        const auto sauce = [](double kcal, double cup) {
            return FixtureFood{"Applesauce",
                               {{"ENERG_KCAL", kcal},
                                {"CHOLESTRL", kcal / 2},
                                {"GMWT_1", cup},
                                {"GMWT_DESC1", "1 cup"}}};
        };
        AppFixture app({{QVariant(), {{"ENERG_KCAL", 1.0}}},
                        sauce(42, 113),
                        sauce(68, 170),
                        {"Odd numbers",
                         {{"ENERG_KCAL", "n/a"},
                          {"FIBER_TD", "1,5"},
                          {"PROTEIN", 1e308},
                          {"ZINC", " 2.50 "}}}});
        FormB& f = app.form();
        const auto shows = [&](int row, const QString& part) {
            app.selectRow(row);
            QVERIFY2(f.Text1Text().contains(part), qPrintable(f.Text1Text()));
            QCOMPARE(label(f), QStringLiteral("Food Database Item Number %1 of 4").arg(row + 1));
        };
        shows(2, " Calories:  68\r\n");
        QVERIFY(f.Text1Text().contains(" Cholesterol in mg:  34\r\n"));  // the last value copied
        portion(f, "Option2", "TextOp2", "1");
        QVERIFY(f.Text1Text().contains(
            " Total weight: 170.00 grams\r\n Item:  Applesauce\r\n    \r\n Calories:   115.6\r\n"));
        shows(0, " Item:  \r\n    \r\n Calories:  1\r\n");
        shows(3, " Calories:  \r\n");
        QVERIFY(f.Text1Text().contains(" Fiber in grams:  \r\n Protein in grams: \r\n"));
        QVERIFY(f.Text1Text().contains(" Zinc in mg:  2.5\r\n"));
        portion(f, "Option1", "TextOp1", "50");
        QVERIFY(f.Text1Text().contains(" Calories:  \r\n"));
        QVERIFY(f.Text1Text().contains(" Fiber in grams:  \r\n Protein in grams: \r\n"));
    }

    // A food of one's own and a recipe, as velmora-mkdb adds them, are found, reported, weighed by
    // their measures and given Percent Daily Values like any food.
    void ownFoodsAndRecipes() {
        QTemporaryDir dir;
        QByteArrayList header;
        for (const FoodColumn& c : kFoodColumns)
            header << QByteArray(c.name.data(), qsizetype(c.name.size()));
        const QByteArray empty(29, ',');  // the nutrients after ENERG_KCAL
        const auto write = [&](const char* name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("foods.csv", header.join(',') + "\nOats,10,380" + empty + ",80,1 cup,,,,20038,\n");
        write("mine.csv", header.join(',') + "\nMy bar,,400" + empty + ",40,1 bar,,,,X1,\n");
        write("r.txt", "[Porridge]\nservings 2\nweight 500 g\nOats @ 1x1\nMy bar @ 20g\n");
        QProcess mkdb;
        mkdb.setWorkingDirectory(dir.path());
        mkdb.start(qEnvironmentVariable("VELMORA_TEST_BIN") + "/velmora-mkdb",
                   {"foods.csv", "--add", "mine.csv", "--recipes", "r.txt", "t.mdb"});
        QVERIFY2(mkdb.waitForFinished(30000) && mkdb.exitCode() == 0, mkdb.readAllStandardError());
        FormB f(dir.filePath("t.mdb"), DailyValueRule::Fda1993);
        f.Form_Load();
        search(f, "porridge");
        QVERIFY(f.Text1Text().startsWith(" Total weight: 100 grams\r\n Item:  Porridge\r\n"));
        QVERIFY(f.Text1Text().contains(" Calories:  76.8\r\n"));  // (304 + 80) / 5
        portion(f, "Option2", "TextOp2", "1");
        QVERIFY(f.Text1Text().startsWith(" Quantity: 1\r\n Unit: 1 serving\r\n Total weight: 250"));
        QVERIFY(f.Text1Text().contains(" Calories:   192\r\n"));
        f.mnuCalculate_Click();
        QVERIFY(f.Text1Text().contains(" Calories:  192\r\n          Percent Daily Value: 9.6%"));
        search(f, "my bar");
        portion(f, "Option2", "TextOp2", "2");
        QVERIFY(f.Text1Text().contains(" Total weight: 80.00 grams\r\n Item:  My bar\r\n"));
        f.mnuCalculate_Click();
        QVERIFY(f.Text1Text().contains(" Calories:  320\r\n          Percent Daily Value: 16%"));
    }

    // A table that names Ciqual as its source gives the EU's percents and lists the EU's values
    // in the information window; --daily-values overrides the table's rule, for both.
    void dailyValuesOfTheTable_data() {
        QTest::addColumn<std::optional<DailyValueRule>>("chosen");
        QTest::addColumn<QString>("header");  // the annotated report's first line
        QTest::addColumn<QString>("title");   // the information document's
        QTest::newRow("the table's") << std::optional<DailyValueRule>()
                                     << "Percent of the reference intakes of Regulation (EU) No "
                                        "1169/2011"
                                     << "Reference Intakes";
        QTest::newRow("chosen") << std::optional(DailyValueRule::Fda1993)
                                << " Total weight: 100 grams"
                                << "Daily Values";
    }
    void dailyValuesOfTheTable() {
        QFETCH(std::optional<DailyValueRule>, chosen);
        QFETCH(QString, header);
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString path = dir.filePath("t.mdb");
        QCOMPARE(writeFixtureDb(path, browseFoods()), QString());
        {
            sqlite::Database db(path.toUtf8(), SQLITE_OPEN_READWRITE);
            SourceRecord ciqual;
            ciqual.name = "Ciqual French food composition table";
            writeSourceRecord(db, ciqual);
        }
        FormB f(path, chosen);
        f.Form_Load();
        f.mnuCalculate_Click();
        QCOMPARE(f.Text1Text().section("\r\n", 0, 0), header);
        f.mnuDailyValues_Click();
        auto* help = f.findChild<frmHLP*>();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->windowTitle(), "Information on Daily Values");
        QCOMPARE(help->findChild<QTextEdit*>("RichTextBox1")->document()->firstBlock().text(),
                 title);
    }

    // The open table named in the caption, described in the instructions' Database Information,
    // and its required notice as the last line of every report; the shipped table's window as
    // designed, under any name that leads to its file.
    void theOpenTable_data() {
        QTest::addColumn<QString>("table");  // "shipped", "linked" (to it), or a fixture
        QTest::addColumn<std::optional<SourceRecord>>("source");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("information");  // the section's first words
        QTest::addColumn<QString>("notice");
        const QString usda =
            "The nutrient values come from the USDA Nutrient Database for "
            "Standard Reference, Release 24";
        QTest::newRow("shipped") << "shipped" << std::optional<SourceRecord>() << "Velmora" << usda
                                 << QString();
        QTest::newRow("linked") << "linked" << std::optional<SourceRecord>() << "Velmora" << usda
                                << QString();
        const auto record = [](const char* name, const char* shortName, const char* version,
                               const char* citation) {
            SourceRecord r;
            r.name = name;
            r.shortName = shortName;
            r.version = version;
            r.citation = citation;
            return r;
        };
        SourceRecord nevo = record("Dutch Food Composition Database (NEVO)", "NEVO", "2023 8.0",
                                   "Based on data from NEVO online version 2023 8.0, RIVM, "
                                   "Bilthoven");
        nevo.traces = 12;
        nevo.belowLimit = 1;
        nevo.noticeRequired = true;
        QTest::newRow("notice") << "t.mdb" << std::optional(nevo) << "Velmora — NEVO 2023 8.0"
                                << "The nutrient values of this table come from Dutch Food "
                                   "Composition Database (NEVO), version 2023 8.0. Cite them as: "
                                   "Based on data from NEVO online version 2023 8.0, RIVM, "
                                   "Bilthoven.\n\nA nutrient shown as zero was not always tested "
                                   "and not found: NEVO gives some amounts only as traces or as "
                                   "below a limit of detection, and this table stores them as 0 "
                                   "(12 amounts given as traces, 1 amount below a limit)."
                                << nevo.citation;
        const SourceRecord ciqual = record("Ciqual French food composition table", "Ciqual",
                                           "2025-11-03", "Anses. 2025-11-03. Ciqual");
        QTest::newRow("no notice")
            << "t.mdb" << std::optional(ciqual) << "Velmora — Ciqual 2025-11-03"
            << "The nutrient values of this table come from Ciqual French "
               "food composition table, version 2025-11-03. Cite them as: "
               "Anses. 2025-11-03. Ciqual.\n\nA nutrient shown as zero is "
               "given as 0 by Ciqual, which does not say"
            << QString();
        SourceRecord sr = record("USDA National Nutrient Database for Standard Reference",
                                 "USDA SR", "Release 28", "");
        sr.zerosTested = true;
        QTest::newRow("tested zeros")
            << "sr 28.mdb" << std::optional(sr) << "Velmora — USDA SR Release 28"
            << "The nutrient values of this table come from USDA "
               "National Nutrient Database for Standard Reference, "
               "version Release 28.\n\nA nutrient shown as zero was "
               "tested and not found"
            << QString();
        QTest::newRow("no source record")
            << "mine.mdb" << std::optional<SourceRecord>() << "Velmora — mine.mdb"
            << "This table, mine.mdb, does not say where its "
               "values come from"
            << QString();
    }
    void theOpenTable() {
        QFETCH(QString, table);
        QFETCH(std::optional<SourceRecord>, source);
        QFETCH(QString, caption);
        QFETCH(QString, information);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        QString path;  // empty: the table the program opens by default
        if (table == "linked") {
            path = dir.filePath("shipped.mdb");
            QVERIFY(QFile::link(shippedDatabase(), path));
        } else if (table != "shipped") {
            path = dir.filePath(table);
            QCOMPARE(writeFixtureDb(path, browseFoods()), QString());
            if (source) {
                sqlite::Database db(path.toUtf8(), SQLITE_OPEN_READWRITE);
                writeSourceRecord(db, *source);
            }
        }
        FormB f(path, DailyValueRule::Fda1993);
        f.Form_Load();
        QCOMPARE(f.windowTitle(), caption);

        f.mnuHelp_Click();
        const QString text =
            openHelpWindow(f.state())->findChild<QTextEdit*>("RichTextBox1")->toPlainText();
        const qsizetype start = text.indexOf("Database Information\n") + 21;
        const qsizetype end = text.indexOf("\nLegal Note");
        QVERIFY(start > 21 && end > start);
        QVERIFY2(text.sliced(start).startsWith(information),
                 qPrintable(text.sliced(start, end - start)));
        // The section after it is the stored document's.
        QVERIFY(text.sliced(end).startsWith("\nLegal Note\nThe information in this program"));
        if (!notice.isEmpty())
            QVERIFY(text.sliced(start, end - start).contains("require this notice") &&
                    text.sliced(start, end - start).contains(notice));

        // The 100 g report, the Percent Daily Values and a portion each end with the notice, or
        // are the designed ones without it.
        const auto lastLine = [](QString report) {
            if (report.endsWith("\r\n")) report.chop(2);
            return report.section("\r\n", -1);
        };
        QStringList reports{f.Text1Text()};
        f.mnuCalculate_Click();
        reports << f.Text1Text();
        portion(f, "Option1", "TextOp1", "50");
        reports << f.Text1Text();
        for (const QString& report : reports) {
            QCOMPARE(report.count(notice.isEmpty() ? "Bilthoven" : notice),
                     notice.isEmpty() ? 0 : 1);
            if (!notice.isEmpty()) QCOMPARE(lastLine(report), notice);
        }
        QVERIFY(reports[2].startsWith(" Total weight: 50"));
        if (notice.isEmpty()) QVERIFY(reports[0].endsWith("\r\n") && !reports[1].endsWith("\r\n"));
    }

    // The menu entry's action: a file dialog of food tables; Cancel chooses nothing.
    void chooseTable() {
        QTemporaryDir dir;
        const QString table = dir.filePath("nevo.mdb");
        QCOMPARE(writeFixtureDb(table, browseFoods()), QString());
        for (const bool cancel : {true, false}) {
            std::optional<QString> chosen;
            withModal([&] { chosen = chooseFoodTable(); },
                      [&](QWidget* w) {
                          auto* dialog = qobject_cast<QFileDialog*>(w);
                          QVERIFY(dialog);
                          QCOMPARE(dialog->windowTitle(), "Open a Food Table");
                          QCOMPARE(dialog->nameFilters(), QStringList{"Food tables (*.mdb)"});
                          QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
                          if (cancel) return dialog->reject();
                          dialog->selectFile(table);
                          static_cast<QDialog*>(dialog)->accept();  // as Open does
                      });
            QCOMPARE(chosen, cancel ? std::nullopt : std::optional(table));
        }
    }

    void portionOfAFoodNoLongerListed() {
        MessageRecorder rec;
        AppFixture app;
        search(app.form(), "zzz");
        withModal([&] { app.form().mnuPortionAdjust_Click(); },
                  [](QWidget* d) {
                      QCOMPARE(d->findChild<QRadioButton*>("Option1")->text(), "Option1");
                      d->findChild<QPushButton*>("cmdCancel")->click();
                  });
        QCOMPARE(rec.texts(), QStringList{"Item Alcoholic beverage, beer, light was not found."});
        QCOMPARE(rec.messages()[0].title, QStringLiteral("Code"));
    }

    void startAndEnd() {
        MessageRecorder rec;
        {
            frmSplash splash;
            splash.show();
            QTest::keyClick(&splash, Qt::Key_X);
            QVERIFY(!splash.isVisible());
            splash.show();
            QTest::mouseClick(splash.findChild<QWidget*>("Label1"), Qt::LeftButton);
            QVERIFY(!splash.isVisible());
        }
        QTemporaryDir empty;
        StartResult failed = Main(empty.filePath("Velmora.mdb"));
        QVERIFY(!failed.mainWindow && failed.exitStatus == 1);
        QVERIFY(rec.texts().value(0).startsWith("Run-time error '3024':"));
        QVERIFY(!QFile::exists(empty.filePath("Velmora.mdb")));
        AppFixture app;
        StartResult start = Main(app.databasePath());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(w->objectName() == "frmSplash" && w->isVisible()));
        FormB& f = *start.mainWindow;
        f.mnuHelp_Click();
        QVERIFY(openHelpWindow(f.state())->isVisible());
        f.menuCommand("mnuExit")->trigger();
        QVERIFY(!f.isVisible() && !openHelpWindow(f.state()));
    }

    // A table that fails when one food is read. A search traps the error and goes on; a click
    // shows it and ends the program; at the start the first click's error ends the start. Last:
    // the program's end stops every event loop after it.
    void failingFood() {
        MessageRecorder rec;
        AppFixture app;
        FormB& f = app.form();
        const auto failWhenRead = [](const QString& path, const char* food) {
            return execSql(path, QStringLiteral("ALTER TABLE CSR14 ADD COLUMN X AS (CASE WHEN "
                                                "Description = '%1' THEN abs(-9223372036854775808) "
                                                "END)")
                                     .arg(food));
        };
        QCOMPARE(failWhenRead(app.databasePath(), "Spinach, raw"), QString());
        search(f, "Spinach");
        QCOMPARE(rec.texts().value(0), kSearchError + "3075");
        click(f, "cmdReset");
        QVERIFY(f.isVisible() && rec.texts().size() == 1);
        app.selectRow(app.listRows().indexOf("Spinach, raw"));
        QVERIFY(rec.texts().value(1).startsWith("Run-time error '3075':\n\nError in query"));
        QVERIFY(!f.isVisible());
        AppFixture other;
        QCOMPARE(failWhenRead(other.databasePath(), "Alcoholic beverage, beer, light"), QString());
        const StartResult start = Main(other.databasePath());
        QVERIFY(!start.mainWindow && start.exitStatus == 1);
        QVERIFY(rec.texts().value(2).startsWith("Run-time error '3075':"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
