// SPDX-License-Identifier: GPL-3.0-or-later
// The food table layer: LIKE with the Jet engine's rules, the data control's queries, fields and
// find over a small table (read through a table's keys and, from a view, whole rows), and what
// a failed or hostile step leaves behind: nothing changed, nothing written.
#include "common/runtimeerror.h"
#include "fixturedb.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/foodlistmodel.h"
#include "fooddb/foodlookup.h"
#include "fooddb/jetlike.h"
#include "fooddb/sqlite.h"
#include "testcase.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunTimeError& e) {
        return e.number();
    }
    return 0;
}

QStringList descriptions(const DataControl& d) {
    QStringList out;
    for (int r = 0; r < d.recordset().RecordCount(); ++r) out << d.recordset().description(r);
    return out;
}

}  // namespace

class TestFoodDb : public velmora::test::TestCase {
    Q_OBJECT
    QTemporaryDir dir_, frenchDir_;
    QString path_;
    QByteArray digest_;

    void open(DataControl& d, const TableQuery& source = kLoadQuery, QString path = {}) {
        d.DatabaseName = path.isEmpty() ? path_ : path;
        d.RecordSource = source;
        d.Refresh();
    }

  private slots:
    void initTestCase() {
        path_ = dir_.filePath("Velmora.mdb");
        QCOMPARE(writeFixtureDb(path_, {{"Spinach, raw",
                                         {{"ENERG_KCAL", 23.0},
                                          {"PROTEIN", 2.86},
                                          {"VIT_B12", 0.0},
                                          {"GMWT_DESC1", "1 cup"},
                                          {"NDB_NO", "11457"}}},
                                        {"apple pie", {{"NDB_NO", "1"}}},
                                        {"Apple juice", {{"NDB_NO", "2"}}},
                                        {"Chef's salad", {{"NDB_NO", "3"}}},
                                        {QVariant(), {{"NDB_NO", "4"}}},
                                        {"", {{"NDB_NO", "5"}}},
                                        {"Bread", {{"NDB_NO", "6"}}},
                                        {"BREAD", {{"NDB_NO", "7"}}}}),
                 QString());
        QList<FixtureFood> french;
        for (const char* d :
             {"Épinard, cru", "Yogurt", "Epinard, surgelé", "Œuf dur", "Pâté", "Käse, Gouda",
              "Kase test", "Crème fraîche", "Creme dessert", "Échalote", "Agneau, viande",
              "Agneau, épaule", "Eggs, raw", "Epice", "Pate", "Weißbrot"})
            french.append({QString::fromUtf8(d)});
        const QString frenchPath = frenchDir_.filePath("f.mdb");
        QCOMPARE(writeFixtureDb(frenchPath, french), QString());
        QCOMPARE(execSql(frenchPath, "CREATE INDEX D ON CSR14 (Description COLLATE NOCASE)"),
                 QString());
        // A view has no row keys: it is read whole, and must behave the same.
        QCOMPARE(execSql(path_,
                         "CREATE VIEW Foods AS SELECT * FROM CSR14; "
                         "CREATE VIEW Pairs AS SELECT a.* FROM CSR14 a, CSR14 b"),
                 QString());
        digest_ = fileDigest(path_);
    }
    void cleanupTestCase() {
        QCOMPARE(fileDigest(path_), digest_);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"Velmora.mdb"});
    }

    void like_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("match");  // 1, 0, or -1 for a malformed pattern
        const QList<std::tuple<const char*, const char*, const char*, int>> rows = {
            {"star anywhere", "*chick*", "Soup, CHICKEN noodle", 1},
            {"case blind, not ASCII", "*CRÈME*", "Crème fraîche", 1},
            {"question: one character", "b?t", "bt", 0},
            {"hash: a digit", "*#%*", "Milk, 2% fat", 1},
            {"range", "[a-c]hicken", "chicken", 1},
            {"negated list", "[!a]*", "apple", 0},
            {"bracketed star is literal", "*[*]*", "ab", 0},
            {"empty brackets", "a[]b", "ab", 1},
            {"percent is literal", "%", "abc", 0},
            {"underscore is literal", "a_c", "abc", 0},
            {"backtracking", "*a*b*c", "aXbYaZbc", 1},
            {"Kelvin sign is a k", "*chicken*", "Chic\u212Aen soup", 1},
            {"long s is an s", "*soup", "Chicken \u017Foup", 1},
            {"umlaut and long s", "*soup", "Chicken \u017Fo\u00FCp", 1},
            {"accent in the text", "*creme*", "Crème fraîche", 1},
            {"accent far from the end", "*creme*", "Crème fraîche épaisse, au lait entier", 1},
            {"accent in the pattern", "*crème*", "CREME", 1},
            {"ligature in the text", "oeuf*", "Œuf dur", 1},
            {"ligature in the pattern", "*œuf*", "OEUF", 1},
            {"sharp s and stroke", "*weissbrot, smor*", "Weißbrot, smørrebrød", 1},
            {"list folds", "[e]pinard", "Épinard", 1},
            {"negated list folds", "[!e]pinard", "Épinard", 0},
            {"ligature in a list", "[œ]uf", "Œuf", 1},
            {"question takes a ligature", "?uf", "Œuf", 1},
            {"not half of one", "o?uf", "Œuf", 0},
            {"mark with its letter", "?pinard", "E\u0301pinard", 1},
            {"mark in the pattern", "*e\u0301*", "Crème", 1},
            {"full-width star is no wildcard", "a\uFF0Ab", "axb", 0},
            {"but a star", "a\uFF0Ab", "a*b", 1},
            {"open bracket", "*[a*", "a", -1},
        };
        for (const auto& [name, pattern, text, match] : rows)
            QTest::newRow(name) << QString::fromUtf8(pattern) << QString::fromUtf8(text) << match;
    }
    void like() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(int, match);
        const JetPattern p(pattern.toStdString());
        QCOMPARE(p.valid(), match >= 0);
        QCOMPARE(p.matches(text.toStdString()), match == 1);
    }

    // French and German foods, not in list order, with the builder's index: each way of reaching
    // a food compares them folded, ASCII before the others where they fold alike.
    void accents_data() {
        QTest::addColumn<QString>("kind");  // list, search, typed (type-ahead), find
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>(
            "expected");  // rows joined by "|"; found: food and how many share it
        const QList<std::tuple<const char*, const char*, const char*>> rows = {
            {"list", "",
             "Agneau, épaule|Agneau, viande|Creme dessert|Crème fraîche|Échalote|Eggs, raw|Epice|"
             "Épinard, cru|Epinard, surgelé|Kase test|Käse, Gouda|Œuf dur|Pate|Pâté|Weißbrot|"
             "Yogurt"},
            {"search", "creme", "Creme dessert|Crème fraîche"},
            {"search", "CRÈME", "Creme dessert|Crème fraîche"},
            {"search", "épinard", "Épinard, cru|Epinard, surgelé"},
            {"search", "kase", "Kase test|Käse, Gouda"},
            {"search", "oeuf", "Œuf dur"},
            {"search", "weissbrot", "Weißbrot"},
            {"search", "[e]pinard", "Épinard, cru|Epinard, surgelé"},
            {"search", "?uf", "Œuf dur"},
            {"typed", "a", "Agneau, épaule"},
            {"typed", "é", "Échalote"},
            {"typed", "epi", "Epice"},
            {"typed", "epin", "Épinard, cru"},
            {"typed", "kä", "Kase test"},
            {"typed", "oe", "Œuf dur"},
            {"typed", "PÂ", "Pate"},
            {"typed", "weiss", "Weißbrot"},
            {"typed", "z", ""},
            {"find", "creme fraiche", "Crème fraîche 1"},
            {"find", "ŒUF DUR", "Œuf dur 1"},
            {"find", "pâté", "Pâté 1"},
            {"find", "pâte", "Pate 2"},
        };
        for (const auto& [kind, text, expected] : rows)
            QTest::addRow("%s %s", kind, text)
                << kind << QString::fromUtf8(text) << QString::fromUtf8(expected);
    }
    void accents() {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        DataControl d;
        open(d, kind == "search" ? searchQuery(text) : kLoadQuery, frenchDir_.filePath("f.mdb"));
        if (kind == "list" || kind == "search") {
            QCOMPARE(descriptions(d).join('|'), expected);
        } else if (kind == "typed") {
            const int row = FoodListModel(d).firstRowWithPrefix(text);
            QCOMPARE(row < 0 ? QString() : d.recordset().description(row), expected);
        } else {
            // Through the index and through the whole list alike.
            for (const auto lookUp : {findFood, findFoodInList}) {
                const FoodMatch m = lookUp(d, text);
                QCOMPARE(QString("%1 %2").arg(d.txtFields(0)).arg(m.sharing), expected);
            }
        }
    }

    void queries_data() {
        QTest::addColumn<QString>("table");
        QTest::newRow("table") << "CSR14";
        QTest::newRow("view") << "Foods";
    }
    void queries() {
        QFETCH(QString, table);
        DataControl d;
        const auto source = [&](TableQuery q) {
            q.table = table;
            return q;
        };
        open(d, source(kLoadQuery));
        // A Null description is listed after the start-up query, first; order ignores case.
        const QStringList all = descriptions(d);
        QCOMPARE(all.mid(0, 4), (QStringList{"", "", "Apple juice", "apple pie"}));
        QCOMPARE(all.mid(6), (QStringList{"Chef's salad", "Spinach, raw"}));
        // Of equal descriptions the find lands on the first listed.
        d.FindFirst("description = 'bread' ");
        QCOMPARE(d.recordset().AbsolutePosition(), 4);
        QCOMPARE(d.txtFields(0), all[4]);
        d.FindFirst("NDB_NO = '11457' ");
        QCOMPARE(d.txtFields(0), QStringLiteral("Spinach, raw"));
        QCOMPARE(d.txtFields(2), QStringLiteral("23"));
        QCOMPARE(d.txtFields(3), QStringLiteral("2.86"));
        QCOMPARE(d.txtFields(14), QString());            // not measured
        QCOMPARE(d.txtFields(26), QStringLiteral("0"));  // measured, none found
        QCOMPARE(d.txtFields(33), QStringLiteral("1 cup"));

        // Reset refills the list with every food, one without a description too.
        open(d, source(kResetQuery));
        QCOMPARE(descriptions(d), all);
        open(d, source(searchQuery("chef's")));
        QCOMPARE(descriptions(d), QStringList{"Chef's salad"});
        QSignalSpy moves(&d, &DataControl::reposition);
        open(d, source(searchQuery("zzz")));
        QCOMPARE(moves.count(), 1);  // an empty result still repositions, to no record
        QCOMPARE(d.recordset().AbsolutePosition(), -1);
        QCOMPARE(d.txtFields(0), QString());
    }

    void find() {
        DataControl d;
        open(d);
        QString svFindName;
        QCOMPARE(FindFoodByDescription(d, "CHEF'S SALAD", svFindName), FindOutcome::Found);
        QCOMPARE(d.txtFields(0), QStringLiteral("Chef's salad"));
        QSignalSpy moves(&d, &DataControl::reposition);
        QCOMPARE(FindFoodByDescription(d, "Cook's pie", svFindName), FindOutcome::NotFound);
        QCOMPARE(notFoundText(svFindName), QStringLiteral("Item Cook''s pie was not found."));
        QCOMPARE(moves.count(), 0);
        QCOMPARE(d.txtFields(0), QStringLiteral("Chef's salad"));
        QCOMPARE(FindFoodByDescription(d, "", svFindName), FindOutcome::NothingToFind);
        QCOMPARE(SrchReplace("CAP'N CRUNCH'S"), QStringLiteral("CAP''N CRUNCH''S"));
        for (const char* unreadable :
             {"description = Bread", "description = 'Bread", "description = 'Bread' OR 1=1", ""})
            QCOMPARE(errorNumber([&] { d.FindFirst(QString::fromLatin1(unreadable)); }), 3077);
    }

    void failedRefreshKeepsEverything_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("number");
        QTest::newRow("malformed pattern") << "CSR14" << searchQuery("[").condition << 93;
        QTest::newRow("no such table") << "Fish" << QString() << 3078;
        QTest::newRow("syntax") << "CSR14"
                                << "description LIKE" << 3075;
        QTest::newRow("second statement") << "CSR14"
                                          << "1; DROP TABLE CSR14" << 3142;
        QTest::newRow("refused by the engine")
            << "CSR14"
            << "rowid IN (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
               "SELECT i FROM n)"
            << 3112;
        QTest::newRow("missing column") << "sqlite_schema" << QString() << 3265;
        QTest::newRow("more rows than a record set holds") << "Pairs" << QString() << 7;
    }
    void failedRefreshKeepsEverything() {
        QFETCH(QString, table);
        QFETCH(QString, condition);
        // Room for the table's foods, not for the 64 whole rows of their pairs.
        DataControl d(nullptr, 8192);
        open(d);
        d.FindFirst("description = 'Spinach, raw' ");
        QSignalSpy changes(&d, &DataControl::recordsetChanged);
        d.RecordSource = TableQuery().where(condition);
        d.RecordSource.table = table;
        QTEST(errorNumber([&] { d.Refresh(); }), "number");
        QCOMPARE(changes.count(), 0);
        QCOMPARE(d.recordset().RecordCount(), 8);
        QCOMPARE(d.recordset().AbsolutePosition(), 7);
        QCOMPARE(d.txtFields(0), QStringLiteral("Spinach, raw"));
    }

    void missingTableIsNotCreated() {
        DataControl d;
        QCOMPARE(errorNumber([&] { open(d, kLoadQuery, dir_.filePath("absent.mdb")); }), 3024);
        QVERIFY(!QFile::exists(dir_.filePath("absent.mdb")));
    }

    // Text that only looks odd is data: a leading byte order mark, a folder name with URI
    // characters for a table opened as it stands (write-ahead log, nobody writing).
    void unusualButValid() {
        const QString folder = dir_.filePath("a %41 b?c#d é");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/Velmora.mdb";
        const QString marked = QStringLiteral("\uFEFF\uFEFFMarked");
        QCOMPARE(writeFixtureDb(path, {{"Bread"}, {marked}}), QString());
        QCOMPARE(execSql(path, "PRAGMA journal_mode=WAL"), QString());
        const QByteArray before = fileDigest(path);
        {
            DataControl d;
            open(d, kLoadQuery, path);
            QCOMPARE(descriptions(d), (QStringList{"Bread", marked}));
            QString name;
            QCOMPARE(FindFoodByDescription(d, marked, name), FindOutcome::Found);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"Velmora.mdb"});
        }
        QCOMPARE(fileDigest(path), before);
        QVERIFY(QDir(folder).removeRecursively());
    }

    // A table another program writes, interleaved with that writer step by step. A record set and
    // its rows read later show the state of one commit; the next Refresh shows the newest. A writer
    // that takes up a table read as it stands is seen from then on.
    void tableBeingWritten_data() {
        QTest::addColumn<bool>("logFirst");  // the writer is connected before the first read
        QTest::newRow("writer connected") << true;
        QTest::newRow("writer comes later") << false;
    }
    void tableBeingWritten() {
        QFETCH(bool, logFirst);
        QTemporaryDir folder;
        const QString path = folder.filePath("Velmora.mdb");
        QCOMPARE(writeFixtureDb(path, {{"Bread", {{"ENERG_KCAL", 1.0}}}}), QString());
        QCOMPARE(execSql(path, "PRAGMA journal_mode=WAL"), QString());
        auto writer =
            std::make_unique<sqlite::Database>(QFile::encodeName(path), SQLITE_OPEN_READWRITE);
        writer->exec("PRAGMA wal_autocheckpoint=0; SELECT 1 FROM CSR14");  // opens its log
        const auto write = [&](const char* sql) {
            writer->exec(sql);
            writer->exec("PRAGMA wal_checkpoint(TRUNCATE)");  // as far as the readers let it
        };
        if (!logFirst) writer.reset();
        DataControl d;
        open(d, kLoadQuery, path);
        if (!writer) {
            writer =
                std::make_unique<sqlite::Database>(QFile::encodeName(path), SQLITE_OPEN_READWRITE);
            write("INSERT INTO CSR14 (Description, ENERG_KCAL) VALUES ('Aaa', 2)");
            open(d, kLoadQuery, path);
        }
        QCOMPARE(descriptions(d).size(), logFirst ? 1 : 2);
        write("UPDATE CSR14 SET ENERG_KCAL = 3; INSERT INTO CSR14 (Description) VALUES ('Zzz')");
        d.moveToRow(0);
        QCOMPARE(d.txtFields(2), QStringLiteral("%1").arg(logFirst ? 1 : 2));
        open(d, kLoadQuery, path);
        QCOMPARE(descriptions(d).size(), logFirst ? 2 : 3);
        QCOMPARE(d.txtFields(2), QStringLiteral("3"));
        // The table laid out anew, its columns the other way round: the fields are found again.
        QStringList reversed;
        for (const FoodColumn& c : kFoodColumns)
            reversed.prepend(QLatin1StringView(c.name.data(), qsizetype(c.name.size())));
        write(qPrintable("CREATE TABLE T AS SELECT " + reversed.join(',') +
                         " FROM CSR14; DROP TABLE CSR14; ALTER TABLE T RENAME TO CSR14; "
                         "UPDATE CSR14 SET ENERG_KCAL = 4"));
        open(d, kLoadQuery, path);
        QCOMPARE(d.txtFields(0), descriptions(d).value(0));
        QCOMPARE(d.txtFields(2), QStringLiteral("4"));
    }
};

QTEST_GUILESS_MAIN(TestFoodDb)
#include "test_fooddb.moc"
