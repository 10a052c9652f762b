// Search and Reset on the main window: the record source texts, the labels, the error paths, and
// a table of hostile terms that must neither crash nor corrupt anything.
#include "app/foodlistview.h"
#include "appfixture.h"
#include "msgrecorder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kSearchError = QStringLiteral(
    "Your search generated an error.  Please use only the letters of the english alphabet and "
    "common punctuation characters in your search terms.  Error number ");

QList<FixtureFood> searchFoods() {
    QList<FixtureFood> foods;
    for (const char* d :
         {"Chef's salad", "CAP'N CRUNCH'S cereal", "Milk, 2% fat", "Soup, chicken noodle",
          "Chicken, roasted", "Crème fraîche", "日本 rice cracker", "Bread [sliced]",
          "Snack, a_b mix", "Path\\file", "Say \"cheese\"", "Tab\there", "Lean -- cut",
          "Cereal, 7 grain", "apple pie", ""})
        foods.append({QString::fromUtf8(d), {{"ENERG_KCAL", 1.0}}});
    foods.append({QVariant(), {{"ENERG_KCAL", 2.0}}});
    return foods;
}

QStringList sortedCaseBlind(QStringList l) {
    std::sort(l.begin(), l.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return l;
}

void search(FormB& f, const QString& term) {
    f.searchBox()->setText(term);
    QTest::mouseClick(f.findChild<QPushButton*>("cmdSearch"), Qt::LeftButton);
}

void reset(FormB& f) {
    QTest::mouseClick(f.findChild<QPushButton*>("cmdReset"), Qt::LeftButton);
}

}  // namespace

class TestSearch : public QObject {
    Q_OBJECT
  private slots:
    void emptyTermTwice() {
        MessageRecorder rec;
        AppFixture app(searchFoods());
        FormB& f = app.form();
        const QString report = f.Text1Text();
        const QString label = f.recordLabel()->text();
        for (int i = 0; i < 2; ++i) search(f, QString());
        QCOMPARE(rec.texts(), QStringList(2,
                                          "Please enter a search term in the box to the left of "
                                          "the Search button."));
        QCOMPARE(rec.messages()[0].title, QStringLiteral("Velmora"));
        QCOMPARE(f.Text1Text(), report);
        QCOMPARE(f.recordLabel()->text(), label);
        QVERIFY(!f.searchMode());
        QCOMPARE(app.listRows().size(), 17);
    }

    void queryTextsAsTyped() {
        MessageRecorder rec;
        AppFixture app(searchFoods());
        FormB& f = app.form();
        search(f, "Chef's");
        QCOMPARE(
            f.data().RecordSource,
            QStringLiteral(
                "Select ALL * From CSR14 WHERE description LIKE'*Chef''s*'Order by description"));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Item 1 of 1 found in search"));
        QCOMPARE(f.searchBox()->text(), QStringLiteral("Chef's"));  // kept after a search
        reset(f);
        QCOMPARE(f.data().RecordSource,
                 QStringLiteral(
                     "Select ALL * From CSR14 WHERE description LIKE  '*' Order by description"));
        QCOMPARE(f.data().RecordSource.size(), 72);
        QVERIFY(f.searchBox()->text().isEmpty());
    }

    void enterDoesNotSearch() {
        AppFixture app(searchFoods());
        FormB& f = app.form();
        f.searchBox()->setText("chicken");
        QTest::keyClick(f.searchBox(), Qt::Key_Return);
        QCOMPARE(app.listRows().size(), 17);
        // The Search button works from the keyboard when it has the focus.
        auto* button = f.findChild<QPushButton*>("cmdSearch");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(app.listRows().size(), 2);
    }

    void nothingFoundThenFound() {
        AppFixture app(searchFoods());
        FormB& f = app.form();
        search(f, "zzz");
        QVERIFY(app.listRows().isEmpty());
        QVERIFY(f.Text1Text().isEmpty());
        QVERIFY(f.searchMode());
        // The search wrote no label; the refresh's reposition did, in the mode it had then.
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 0 of 0"));
        search(f, "CHICKEN");
        QCOMPARE(app.listRows(), (QStringList{"Chicken, roasted", "Soup, chicken noodle"}));
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Item 1 of 2 found in search"));
        QCOMPARE(f.Text1Text().section("\r\n", 1, 1), QStringLiteral(" Item:  Chicken, roasted"));
        // Browsing inside the result keeps the search wording.
        QTest::keyClick(f.list(), Qt::Key_Down);
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Item 2 of 2 found in search"));
    }

    void twoSearchesThenReset() {
        AppFixture app(searchFoods());
        FormB& f = app.form();
        search(f, "c");
        search(f, "ch");
        QCOMPARE(f.itemCount(), 6);
        reset(f);
        QVERIFY(!f.searchMode());
        QCOMPARE(f.itemCount(), 16);  // the Null description is left out after Reset
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 1 of 16"));
        QCOMPARE(app.selectedRow(), 0);
    }

    void resetWithListHidden() {
        AppFixture app(searchFoods());
        FormB& f = app.form();
        search(f, "chicken");
        const QString report = f.Text1Text();
        f.list()->hide();
        f.searchBox()->setText("left over");
        reset(f);
        QCOMPARE(f.Text1Text(), report);  // no Page Up keystroke, so no new report
        QVERIFY(f.searchBox()->text().isEmpty());
        QCOMPARE(f.itemCount(), 16);
    }

    void malformedPatternKeepsState() {
        MessageRecorder rec;
        AppFixture app(searchFoods());
        FormB& f = app.form();
        search(f, "chicken");
        const QString report = f.Text1Text();
        const QString label = f.recordLabel()->text();
        search(f, "[a");
        QCOMPARE(rec.texts(), QStringList{kSearchError + "93"});
        QVERIFY(f.searchBox()->text().isEmpty());
        QVERIFY(f.searchMode());
        QCOMPARE(f.itemCount(), 2);
        QCOMPARE(f.recordLabel()->text(), label);
        // List, current record and report still agree with each other.
        QCOMPARE(app.listRows().size(), 2);
        QCOMPARE(f.Text1Text(), report);
        QCOMPARE(f.data().txtFields(0), f.list()->text());
    }

    void hostileTerms_data() {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QStringList>("expected");  // the rows found, or {"error"}
        const QStringList all = {"Chef's salad",         "CAP'N CRUNCH'S cereal", "Milk, 2% fat",
                                 "Soup, chicken noodle", "Chicken, roasted",      "Crème fraîche",
                                 "日本 rice cracker",    "Bread [sliced]",        "Snack, a_b mix",
                                 "Path\\file",           "Say \"cheese\"",        "Tab\there",
                                 "Lean -- cut",          "Cereal, 7 grain",       "apple pie"};
        const QStringList error{"error"};
        QStringList withBlank;
        for (const QString& d : all)
            if (d.contains(u' ')) withBlank << d;
        QTest::newRow("blank") << " " << withBlank;
        QTest::newRow("quote") << "'" << QStringList{"Chef's salad", "CAP'N CRUNCH'S cereal"};
        QTest::newRow("two quotes") << "''" << QStringList{};
        QTest::newRow("Chef's") << "Chef's" << QStringList{"Chef's salad"};
        QTest::newRow("CAP'N CRUNCH'S") << "CAP'N CRUNCH'S" << QStringList{"CAP'N CRUNCH'S cereal"};
        QTest::newRow("open bracket") << "[" << error;
        QTest::newRow("open bracket a") << "[a" << error;
        QTest::newRow("close bracket") << "]" << QStringList{"Bread [sliced]"};
        QTest::newRow("negated list") << "[!a]" << all;
        QTest::newRow("range") << "[a-c]hicken"
                               << QStringList{"Soup, chicken noodle", "Chicken, roasted"};
        QTest::newRow("star") << "*" << all + QStringList{""};
        QTest::newRow("question") << "?" << all;
        QTest::newRow("hash") << "#" << QStringList{"Milk, 2% fat", "Cereal, 7 grain"};
        QTest::newRow("percent") << "%" << QStringList{"Milk, 2% fat"};
        QTest::newRow("underscore") << "_" << QStringList{"Snack, a_b mix"};
        QTest::newRow("backslash") << "\\" << QStringList{"Path\\file"};
        QTest::newRow("double quote") << "\"" << QStringList{"Say \"cheese\""};
        QTest::newRow("comment") << "--" << QStringList{"Lean -- cut"};
        QTest::newRow("drop table") << "; DROP TABLE CSR14; --" << QStringList{};
        QTest::newRow("or true") << "' OR '1'='1" << QStringList{};
        QTest::newRow("accented") << "CRÈME" << QStringList{"Crème fraîche"};
        QTest::newRow("cjk") << "日本" << QStringList{"日本 rice cracker"};
        QTest::newRow("tab") << "\t" << QStringList{"Tab\there"};
        QTest::newRow("100000 characters") << QString(100000, u'a') << QStringList{};
        QTest::newRow("40 quotes") << QString(40, u'\'') << QStringList{};
        // Typed characters that are no text reach the engine as they are: never a wildcard.
        QTest::newRow("lone surrogate")
            << QStringLiteral("a") + QChar(0xD800) + "b" << QStringList{};
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + "b" << QStringList{};
    }
    void hostileTerms() {
        QFETCH(QString, term);
        QFETCH(QStringList, expected);
        MessageRecorder rec;
        AppFixture app(searchFoods());
        FormB& f = app.form();
        const QByteArray before = fileDigest(app.databasePath());
        search(f, term);
        if (expected == QStringList{"error"}) {
            QCOMPARE(rec.messages().size(), 1);
            QVERIFY(rec.messages()[0].text.startsWith(kSearchError));
            QVERIFY(f.searchBox()->text().isEmpty());
            QVERIFY(!f.searchMode());
        } else {
            QCOMPARE(rec.messages().size(), 0);
            QCOMPARE(sortedCaseBlind(app.listRows()), sortedCaseBlind(expected));
            QVERIFY(f.searchMode());
            if (expected.isEmpty()) {
                QVERIFY(f.Text1Text().isEmpty());
            } else {
                QCOMPARE(f.recordLabel()->text(),
                         QStringLiteral("Item 1 of %1 found in search").arg(expected.size()));
                QCOMPARE(f.Text1Text().section("\r\n", 1, 1), " Item:  " + app.listRows().first());
            }
        }
        reset(f);
        QCOMPARE(app.listRows().size(), 16);
        QCOMPARE(f.recordLabel()->text(), QStringLiteral("Food Database Item Number 1 of 16"));
        QCOMPARE(fileDigest(app.databasePath()), before);
    }

    void shippedTable() {
        const QString shipped = shippedDatabase();
        if (shipped.isEmpty()) QSKIP("the shipped food table was not built");
        QTemporaryDir dir;
        QVERIFY(QFile::copy(shipped, dir.filePath("Velmora.mdb")));
        // What SQLite's own engine counts, independently of the program's pattern matcher.
        auto count = [&](const char* where) {
            return query(dir.filePath("Velmora.mdb"),
                         QStringLiteral("SELECT count(*) FROM CSR14 WHERE ") + QLatin1String(where))
                .rows.value(0)
                .value(0)
                .toInt();
        };
        const int percent = count("instr(Description, '%') > 0");
        const int apostropheS = count("instr(lower(Description), '''s') > 0");
        QVERIFY(percent > 0);
        QVERIFY(apostropheS > 0);
        FormB f(dir.filePath("Velmora.mdb"));
        f.Form_Load();
        search(f, "%");
        QCOMPARE(f.data().recordset().RecordCount(), percent);
        search(f, "'S");
        QCOMPARE(f.data().recordset().RecordCount(), apostropheS);
    }
};

QTEST_MAIN(TestSearch)
#include "test_search.moc"
