// The food table file that the build ships beside the program (bin/Velmora.mdb).
#include <QtTest>

#include "mkdbtestutil.h"

using namespace mkdbtest;
using namespace Qt::StringLiterals;

namespace {

QString shippedTable() {
    return qEnvironmentVariable("VELMORA_TEST_BIN") + u"/Velmora.mdb"_s;
}

QString sqlText(QString text) {
    return u'\'' + text.replace(u'\'', u"''"_s) + u'\'';
}

// SQLite's NOCASE: ASCII letters folded to lower case, then bytes compared.
QByteArray foldAscii(const QString& text) {
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return bytes;
}

}  // namespace

class TestMkdbTable : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void holdsEveryFood();
    void knownCells_data();
    void knownCells();
    void listQueryOrdersIgnoringCase();
    void listQueryNeedsNoSort();
};

void TestMkdbTable::initTestCase() {
    QVERIFY2(QFile::exists(shippedTable()), qPrintable(shippedTable()));
}

void TestMkdbTable::holdsEveryFood() {
    const Query q = query(shippedTable(), u"SELECT count(*), count(DISTINCT NDB_NO) FROM CSR14"_s);
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.rows.value(0), (QVariantList{qint64(7907), qint64(7907)}));
}

void TestMkdbTable::knownCells_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");

    const QVariant null;
    const QString spinachCooked = u"Spinach, cooked, boiled, drained, without salt"_s;
    QTest::newRow("first measure grams") << spinachCooked << u"GMWT_1"_s << QVariant(180.0);
    QTest::newRow("first measure text") << spinachCooked << u"GMWT_DESC1"_s << QVariant(u"1 cup"_s);
    QTest::newRow("no second measure") << spinachCooked << u"GMWT_DESC2"_s << null;

    // Units as the reports label them: kcal, IU, micrograms, milligrams.
    const QString spinach = u"Spinach, raw"_s;
    QTest::newRow("energy kcal") << spinach << u"ENERG_KCAL"_s << QVariant(23.0);
    QTest::newRow("vitamin A IU") << spinach << u"VIT_A"_s << QVariant(9377.0);
    QTest::newRow("folate ug") << spinach << u"FOLATE"_s << QVariant(194.0);
    QTest::newRow("thiamin mg") << spinach << u"THIAMIN"_s << QVariant(0.078);
    QTest::newRow("measured zero") << spinach << u"VIT_B12"_s << QVariant(0.0);
    QTest::newRow("second measure") << spinach << u"GMWT_DESC2"_s << QVariant(u"1 bunch"_s);
    QTest::newRow("refuse unknown") << spinach << u"REFUSE_PCT"_s << null;
    QTest::newRow("food number") << u"Butter, salted"_s << u"NDB_NO"_s << QVariant(u"01001"_s);
    QTest::newRow("food group") << u"Butter, salted"_s << u"CODE"_s << QVariant(u"01"_s);

    QTest::newRow("not measured") << u"Candies, TWIZZLERS Strawberry Twists Candy"_s << u"WATER"_s
                                  << null;
    QTest::newRow("leading blank kept")
        << u" Cereals ready-to-eat, QUAKER, CAP'N CRUNCH'S Halloween Crunch"_s << u"COPPER"_s
        << null;
    QTest::newRow("quotes in measure")
        << u"Turkey patties, breaded, battered, fried"_s << u"GMWT_DESC1"_s
        << QVariant(u"1 medium slice (approx 3\" x 2\" x 1/4\")"_s);
}

void TestMkdbTable::knownCells() {
    QFETCH(QString, description);
    QFETCH(QString, column);
    QFETCH(QVariant, value);

    // "=" on Description ignores case, so insist on the exact text too.
    const Query q =
        query(shippedTable(),
              u"SELECT %1 FROM CSR14 WHERE Description = %2 AND Description GLOB %2"_s.arg(
                  column, sqlText(description)));
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.rows.size(), 1);
    QCOMPARE(q.rows[0][0], value);
}

void TestMkdbTable::listQueryOrdersIgnoringCase() {
    const Query q = query(shippedTable(), u"Select ALL * From CSR14 Order by description"_s);
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.columns.size(), 39);
    QCOMPARE(q.columns[0], u"Description"_s);
    QCOMPARE(q.rows.size(), 7907);

    int caseMatters = 0;  // neighbours that a byte order would swap
    QString firstAlco;
    for (qsizetype i = 0; i < q.rows.size(); ++i) {
        const QString text = q.rows[i][0].toString();
        if (firstAlco.isEmpty() && text.startsWith(u"alco"_s, Qt::CaseInsensitive))
            firstAlco = text;
        if (i == 0) continue;
        const QString previous = q.rows[i - 1][0].toString();
        QVERIFY2(foldAscii(previous) <= foldAscii(text), qPrintable(previous + u" > "_s + text));
        if (previous.toUtf8() > text.toUtf8()) ++caseMatters;
    }
    QVERIFY(caseMatters > 0);
    QCOMPARE(firstAlco, u"Alcoholic beverage, beer, light"_s);
}

void TestMkdbTable::listQueryNeedsNoSort() {
    const Query plan =
        query(shippedTable(), u"EXPLAIN QUERY PLAN Select ALL * From CSR14 Order by description"_s);
    QVERIFY2(plan.error.isEmpty(), qPrintable(plan.error));
    QString details;
    for (const QVariantList& r : plan.rows) details += r.last().toString() + u'\n';
    QVERIFY2(!details.contains(u"TEMP B-TREE"_s), qPrintable(details));
    QVERIFY2(details.contains(u"USING INDEX"_s), qPrintable(details));
}

QTEST_GUILESS_MAIN(TestMkdbTable)
#include "test_mkdb_table.moc"
