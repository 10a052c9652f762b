// The data control over a food table made by the test: query texts, bound field texts, the find
// step, failures that must leave everything as it was, and the read-only guarantee.
#include "common/vberror.h"
#include "fixturedb.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "msgrecorder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {
const QString kLoad = QStringLiteral("Select ALL * From CSR14 Order by description");
const QString kReset =
    QStringLiteral("Select ALL * From CSR14 WHERE description LIKE  '*' Order by description");
QString searchText(const QString& cleaned) {
    return QStringLiteral("Select ALL * From CSR14 WHERE description LIKE") + "'*" + cleaned +
           "*'" + QStringLiteral("Order by description");
}
}  // namespace

class TestDataControl : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path_;
    QByteArray digest_;

    QStringList descriptions(const DataControl& d) {
        QStringList out;
        for (int r = 0; r < d.recordset().RecordCount(); ++r) out << d.recordset().description(r);
        return out;
    }
    int errorNumber(const std::function<void()>& f) {
        try {
            f();
        } catch (const VbError& e) {
            return e.number();
        }
        return 0;
    }
    void open(DataControl& d, const QString& source = kLoad) {
        d.DatabaseName = path_;
        d.RecordSource = source;
        d.Refresh();
    }

  private slots:
    void initTestCase() {
        path_ = dir_.filePath("Velmora.mdb");
        const QString err = writeFixtureDb(path_, {{"Spinach, raw",
                                                    {{"ENERG_KCAL", 23.0},
                                                     {"PROTEIN", 2.86},
                                                     {"VIT_B12", 0.0},
                                                     {"GMWT_1", 30.0},
                                                     {"GMWT_DESC1", "1 cup"},
                                                     {"NDB_NO", "11457"},
                                                     {"VIT_A", 9377.0}}},
                                                   {"apple pie", {{"NDB_NO", "1"}}},
                                                   {"Apple juice", {{"NDB_NO", "2"}}},
                                                   {"Chef's salad", {{"NDB_NO", "3"}}},
                                                   {QVariant(), {{"NDB_NO", "4"}}},
                                                   {"", {{"NDB_NO", "5"}}},
                                                   {"Bread", {{"NDB_NO", "6"}}},
                                                   {"BREAD", {{"NDB_NO", "7"}}}});
        QVERIFY2(err.isEmpty(), qPrintable(err));
        digest_ = fileDigest(path_);
    }
    void cleanupTestCase() {
        // Nothing the program did wrote to the file, or left a journal beside it.
        QCOMPARE(fileDigest(path_), digest_);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"Velmora.mdb"});
    }

    void queryTexts() {
        DataControl d;
        open(d);
        // A Null description is listed after the start-up query, first; order ignores case.
        QStringList all = descriptions(d);
        QCOMPARE(all.size(), 8);
        QCOMPARE(all.mid(0, 4), (QStringList{"", "", "Apple juice", "apple pie"}));
        QCOMPARE(all.mid(4, 2).join(u'|').toLower(), QStringLiteral("bread|bread"));
        QCOMPARE(all.mid(6), (QStringList{"Chef's salad", "Spinach, raw"}));

        d.RecordSource = kReset;
        d.Refresh();
        QCOMPARE(d.recordset().RecordCount(), 7);  // the Null description is gone, "" stays
        QCOMPARE(descriptions(d).first(), QString());

        d.RecordSource = searchText("chef''s");
        d.Refresh();
        QCOMPARE(descriptions(d), QStringList{"Chef's salad"});

        d.RecordSource = searchText("APPLE");
        d.Refresh();
        QCOMPARE(descriptions(d), (QStringList{"Apple juice", "apple pie"}));
    }

    void boundFieldTexts() {
        DataControl d;
        open(d, searchText("spinach"));
        QCOMPARE(d.recordset().AbsolutePosition(), 0);
        QCOMPARE(d.txtFields(0), QStringLiteral("Spinach, raw"));
        QCOMPARE(d.txtFields(2), QStringLiteral("23"));
        QCOMPARE(d.txtFields(3), QStringLiteral("2.86"));
        QCOMPARE(d.txtFields(18), QStringLiteral("9377"));
        QCOMPARE(d.txtFields(14), QString());            // not measured
        QCOMPARE(d.txtFields(26), QStringLiteral("0"));  // measured, none found
        QCOMPARE(d.txtFields(33), QStringLiteral("1 cup"));
        QCOMPARE(d.txtFields(37), QStringLiteral("11457"));
    }

    void repositionEvents() {
        DataControl d;
        QSignalSpy spy(&d, &DataControl::reposition);
        open(d);
        QCOMPARE(spy.count(), 1);
        d.FindFirst("description = 'Spinach, raw' ");
        QCOMPARE(spy.count(), 2);
        d.FindFirst("description = 'Nothing like it' ");
        QCOMPARE(spy.count(), 2);  // no match: no reposition
        d.RecordSource = searchText("zzz");
        d.Refresh();
        QCOMPARE(spy.count(), 3);  // an empty result still repositions, to no record
        QCOMPARE(d.recordset().AbsolutePosition(), -1);
        QCOMPARE(d.txtFields(0), QString());
    }

    void findFirst() {
        DataControl d;
        open(d);
        d.FindFirst("description = 'CHEF''S SALAD' ");
        QVERIFY(!d.recordset().NoMatch());
        QCOMPARE(d.txtFields(0), QStringLiteral("Chef's salad"));
        const int pos = d.recordset().AbsolutePosition();

        d.FindFirst("description = 'Chef''s pie' ");
        QVERIFY(d.recordset().NoMatch());
        QCOMPARE(d.recordset().AbsolutePosition(), pos);
        QCOMPARE(d.txtFields(0), QStringLiteral("Chef's salad"));

        // Of two equal descriptions the find lands on the first in the record set's order.
        d.FindFirst("description = 'bread' ");
        const int first = d.recordset().AbsolutePosition();
        QCOMPARE(d.txtFields(0), d.recordset().description(4));
        QCOMPARE(first, 4);
    }

    void unreadableCriterion_data() {
        QTest::addColumn<QString>("criterion");
        QTest::newRow("no quotes") << "description = Bread";
        QTest::newRow("unterminated") << "description = 'Bread";
        QTest::newRow("trailing text") << "description = 'Bread' OR 1=1";
        QTest::newRow("no operator") << "description 'Bread'";
        QTest::newRow("empty") << "";
    }
    void unreadableCriterion() {
        QFETCH(QString, criterion);
        DataControl d;
        open(d);
        d.FindFirst("description = 'Spinach, raw' ");
        QCOMPARE(errorNumber([&] { d.FindFirst(criterion); }), 3077);
        QCOMPARE(d.txtFields(0), QStringLiteral("Spinach, raw"));
    }

    void findFoodByDescription() {
        DataControl d;
        open(d);
        QString svFindName;
        QCOMPARE(FindFoodByDescription(d, "Chef's salad", svFindName), FindOutcome::Found);
        QCOMPARE(svFindName, QStringLiteral("Chef''s salad"));

        QCOMPARE(FindFoodByDescription(d, "Chef's pie", svFindName), FindOutcome::NotFound);
        QCOMPARE(notFoundText(svFindName), QStringLiteral("Item Chef''s pie was not found."));
        QCOMPARE(d.txtFields(0), QStringLiteral("Chef's salad"));

        QCOMPARE(FindFoodByDescription(d, "", svFindName), FindOutcome::NothingToFind);
    }

    void srchReplace_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("one") << "Chef's"
                             << "Chef''s";
        QTest::newRow("two") << "CAP'N CRUNCH'S"
                             << "CAP''N CRUNCH''S";
        QTest::newRow("none") << "Bread"
                              << "Bread";
        QTest::newRow("only quotes") << "''"
                                     << "''''";
        QTest::newRow("long") << QString(40000, u'\'') << QString(80000, u'\'');
    }
    void srchReplace() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(SrchReplace(in), out);
    }

    void failedRefreshKeepsEverything_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("number");
        QTest::newRow("malformed pattern") << searchText("[") << 93;
        QTest::newRow("no such table") << "Select ALL * From Foods" << 3078;
        QTest::newRow("syntax") << "Select ALL * Frm CSR14" << 3075;
        QTest::newRow("second statement") << kLoad + "; DROP TABLE CSR14" << 3142;
        QTest::newRow("write") << "DELETE FROM CSR14" << 3112;
    }
    void failedRefreshKeepsEverything() {
        QFETCH(QString, source);
        QFETCH(int, number);
        DataControl d;
        open(d);
        d.FindFirst("description = 'Spinach, raw' ");
        const int pos = d.recordset().AbsolutePosition();
        QSignalSpy spy(&d, &DataControl::recordsetChanged);
        d.RecordSource = source;
        QCOMPARE(errorNumber([&] { d.Refresh(); }), number);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(d.recordset().RecordCount(), 8);
        QCOMPARE(d.recordset().AbsolutePosition(), pos);
        QCOMPARE(d.txtFields(0), QStringLiteral("Spinach, raw"));
    }

    void missingDatabaseIsNotCreated() {
        DataControl d;
        d.DatabaseName = dir_.filePath("absent.mdb");
        d.RecordSource = kLoad;
        QCOMPARE(errorNumber([&] { d.Refresh(); }), 3024);
        QVERIFY(!QFile::exists(d.DatabaseName));
    }

    void missingColumnIsNamed() {
        const QString path = dir_.filePath("nozinc.db");
        QVERIFY(writeFixtureDb(path, {{"Bread"}}, "ZINC").isEmpty());
        DataControl d;
        d.DatabaseName = path;
        d.RecordSource = kLoad;
        try {
            d.Refresh();
            QFAIL("refresh of a table without ZINC succeeded");
        } catch (const VbError& e) {
            QCOMPARE(e.number(), 3265);
            QVERIFY(e.description().contains("ZINC"));
        }
        QFile::remove(path);
    }

    void byteOrderMarkStartsADescription() {
        // Invisible, but part of the text: the listed text must find its own row again.
        const QString path = dir_.filePath("marked.db");
        const QString marked = QStringLiteral("\uFEFF\uFEFFMarked");
        QVERIFY(writeFixtureDb(path, {{"Bread"}, {marked}}).isEmpty());
        MessageRecorder rec;
        DataControl d;
        d.DatabaseName = path;
        d.RecordSource = kLoad;
        d.Refresh();
        QString found;
        QCOMPARE(descriptions(d), (QStringList{"Bread", marked}));
        QCOMPARE(FindFoodByDescription(d, "Bread", found), FindOutcome::Found);
        QCOMPARE(FindFoodByDescription(d, d.recordset().description(1), found), FindOutcome::Found);
        QCOMPARE(d.txtFields(0), marked);
        QVERIFY(rec.messages().isEmpty());
        QFile::remove(path);
    }

    void writeAheadLogTable() {
        // Such a table is opened through a URI: characters that mean something there must
        // still name the file.
        const QString folder = dir_.filePath(QStringLiteral("a %41 b?c#d é"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/Velmora.mdb");
        QVERIFY(writeFixtureDb(path, {{"Bread"}, {"Apple"}}).isEmpty());
        QCOMPARE(execSql(path, "PRAGMA journal_mode=WAL"), QString());
        const QByteArray before = fileDigest(path);
        {
            DataControl d;
            d.DatabaseName = path;
            d.RecordSource = kLoad;
            d.Refresh();
            QCOMPARE(descriptions(d), (QStringList{"Apple", "Bread"}));
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"Velmora.mdb"});
        }
        QCOMPARE(fileDigest(path), before);
        QVERIFY(QDir(folder).removeRecursively());
    }

    void shippedTable() {
        const QString shipped = shippedDatabase();
        if (shipped.isEmpty()) QSKIP("the shipped food table was not built");
        const QByteArray before = fileDigest(shipped);
        DataControl d;
        d.DatabaseName = shipped;
        d.RecordSource = kLoad;
        d.Refresh();
        QCOMPARE(d.recordset().RecordCount(), 7907);
        QString found;
        QCOMPARE(FindFoodByDescription(d, "Spinach, cooked, boiled, drained, without salt", found),
                 FindOutcome::Found);
        QCOMPARE(d.txtFields(32), QStringLiteral("180"));
        QCOMPARE(d.txtFields(33), QStringLiteral("1 cup"));
        QCOMPARE(FindFoodByDescription(d, "Spinach, raw", found), FindOutcome::Found);
        QCOMPARE(d.txtFields(2), QStringLiteral("23"));
        QCOMPARE(d.txtFields(3), QStringLiteral("2.86"));
        QCOMPARE(d.txtFields(20), QStringLiteral("0.078"));
        QCOMPARE(d.txtFields(26), QStringLiteral("0"));  // B12 measured as zero
        QCOMPARE(d.txtFields(36), QString());            // refuse not in the source
        QCOMPARE(fileDigest(shipped), before);
    }
};

QTEST_GUILESS_MAIN(TestDataControl)
#include "test_datacontrol.moc"
