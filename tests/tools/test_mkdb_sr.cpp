// velmora-mkdb --sr: import from a USDA SR release in its ASCII form (code page 1252, CRLF).
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "mkdbtestutil.h"

using namespace mkdbtest;
using namespace Qt::StringLiterals;

namespace {

QByteArray crlf(const QList<QByteArray>& lines) {
    QByteArray out;
    for (const QByteArray& line : lines) out += line + "\r\n";
    return out;
}

// A small release: foods with three (two used), one and no measures; a nutrient missing; a
// measured zero; Vitamin E given as 323 and 394 (323 wins) and as 394 only; 1252 characters.
const QByteArray kFoodDes = crlf({
    "~01001~^~0100~^~Butter, salted~^~BUTTER,WITH SALT~^~~^~~^~Y~^~~^0^~~^6.38^4.27^8.79^3.87",
    "~11457~^~1100~^~Spinach, raw~^~SPINACH,RAW~^~~^~~^~Y~^~Large stems and roots~^28^"
    "~Spinacia oleracea~^^2.44^8.37^3.57",
    "~14999~^~1400~^~Caf\xE9 au lait, \x93instant\x94~^~CAFE~^~~^~~^~~^~~^",
});
const QByteArray kNutData = crlf({
    "~01001~^~255~^15.87^7^0.12^~1~",
    "~01001~^~208~^717^0^^~4~",
    "~01001~^~291~^0.0^0^^~4~",
    "~01001~^~323~^2.32^1",
    "~01001~^~394~^9",
    "~01001~^~417~^3",
    "~01001~^~999~^42",  // no column for it
    "~11457~^~208~^23",
    "~11457~^~318~^9377",
    "~11457~^~404~^0.078",
    "~11457~^~394~^2.03",
    "~14999~^~208~^1",
});
const QByteArray kWeight = crlf({
    "~01001~^10^1^~stick~^113^^",  // Seq sorts as a number: 10 comes after 2
    "~01001~^2^1.000^~tbsp~^14.2^^",
    "~01001~^1^0.50^~cup~^113.5^^",
    "~11457~^1^1^~cup~^30^^",
});

QMap<QString, QByteArray> release() {
    return {
        {u"FOOD_DES.txt"_s, kFoodDes}, {u"NUT_DATA.txt"_s, kNutData}, {u"WEIGHT.txt"_s, kWeight}};
}

void writeRelease(const QString& folder, const QMap<QString, QByteArray>& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        writeFile(QDir(folder).filePath(it.key()), it.value());
}

}  // namespace

class TestMkdbSr : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cells_data();
    void cells();
    void fileNamesIgnoreCase();
    void malformed_data();
    void malformed();

  private:
    QTemporaryDir dir_;
    QString db_;
};

void TestMkdbSr::initTestCase() {
    const QString folder = dir_.filePath(u"sr"_s);
    QVERIFY(QDir().mkpath(folder));
    writeRelease(folder, release());
    db_ = dir_.filePath(u"sr.mdb"_s);
    const Run run = runMkdb({u"--sr"_s, folder, db_});
    QVERIFY2(run.exitCode == 0, qPrintable(run.standardError));
    QCOMPARE(query(db_, u"SELECT count(*) FROM CSR14"_s).rows.value(0).value(0),
             QVariant(qint64(3)));
}

void TestMkdbSr::cells_data() {
    QTest::addColumn<QString>("ndb");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");

    const QVariant null;
    const auto row = [](const char* name, const char* ndb, const char* column, QVariant value) {
        QTest::newRow(name) << QString::fromLatin1(ndb) << QString::fromLatin1(column) << value;
    };
    row("long description", "01001", "Description", u"Butter, salted"_s);
    row("food group code", "01001", "CODE", u"0100"_s);
    row("number", "01001", "NDB_NO", u"01001"_s);
    row("refuse zero", "01001", "REFUSE_PCT", 0.0);
    row("water 255", "01001", "WATER", 15.87);
    row("energy 208", "01001", "ENERG_KCAL", 717.0);
    row("measured zero", "01001", "FIBER_TD", 0.0);
    row("missing nutrient", "01001", "PROTEIN", null);
    row("vitamin E 323 wins", "01001", "VIT_E", 2.32);
    row("folate 417", "01001", "FOLATE", 3.0);
    row("lowest Seq first", "01001", "GMWT_1", 113.5);
    row("amount shortest", "01001", "GMWT_DESC1", u"0.5 cup"_s);
    row("second lowest Seq", "01001", "GMWT_2", 14.2);
    row("whole amount", "01001", "GMWT_DESC2", u"1 tbsp"_s);

    row("refuse", "11457", "REFUSE_PCT", 28.0);
    row("vitamin A 318", "11457", "VIT_A", 9377.0);
    row("thiamin 404", "11457", "THIAMIN", 0.078);
    row("vitamin E from 394", "11457", "VIT_E", 2.03);
    row("one measure", "11457", "GMWT_DESC1", u"1 cup"_s);
    row("no second measure", "11457", "GMWT_2", null);
    row("no second measure text", "11457", "GMWT_DESC2", null);

    row("code page 1252", "14999", "Description", u"Café au lait, \u201Cinstant\u201D"_s);
    row("refuse empty", "14999", "REFUSE_PCT", null);
    row("no measures", "14999", "GMWT_1", null);
    row("no vitamin E", "14999", "VIT_E", null);
}

void TestMkdbSr::cells() {
    QFETCH(QString, ndb);
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    const Query q = query(db_, u"SELECT %1 FROM CSR14 WHERE NDB_NO = '%2'"_s.arg(column, ndb));
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.rows.size(), 1);
    QCOMPARE(q.rows[0][0], value);
}

void TestMkdbSr::fileNamesIgnoreCase() {
    QTemporaryDir dir;
    QMap<QString, QByteArray> files;
    for (const auto& [name, bytes] : release().asKeyValueRange()) files[name.toUpper()] = bytes;
    writeRelease(dir.path(), files);
    const Run run = runMkdb({u"--sr"_s, dir.path(), dir.filePath(u"out.mdb"_s)});
    QVERIFY2(run.exitCode == 0, qPrintable(run.standardError));
}

void TestMkdbSr::malformed_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");  // a null array leaves the file out
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("what");

    const QByteArray butter = kFoodDes.left(kFoodDes.indexOf('\n') + 1);
    const QByteArray goodNutrient = "~01001~^~208~^717\r\n";
    const QByteArray goodWeight = "~01001~^1^1^~cup~^227\r\n";

    QTest::newRow("missing FOOD_DES")
        << u"FOOD_DES.txt"_s << QByteArray() << 1 << 1 << u"cannot read"_s;

    QTest::newRow("short food row")
        << u"FOOD_DES.txt"_s << butter + "~01002~^~0100~^~Butter, whipped~\r\n"
        << 2 << 33 << u"row has 3 fields, expected at least 9"_s;
    QTest::newRow("short nutrient row") << u"NUT_DATA.txt"_s << goodNutrient + "~01001~^~208~\r\n"
                                        << 2 << 14 << u"row has 2 fields, expected at least 3"_s;

    QTest::newRow("value not a number")
        << u"NUT_DATA.txt"_s << goodNutrient + "~01001~^~203~^abc" << 2 << 15
        << u"Nutr_Val (field 3): \"abc\" is not a number"_s;
    QTest::newRow("value empty") << u"NUT_DATA.txt"_s << QByteArray("~01001~^~203~^^4") << 1 << 15
                                 << u"Nutr_Val (field 3): empty, expected a number"_s;
    QTest::newRow("refuse not a number")
        << u"FOOD_DES.txt"_s << QByteArray("~01001~^~0100~^~B~^~~^~~^~~^~~^~~^1O") << 1 << 35
        << u"Refuse (field 9): \"1O\" is not a number"_s;
    QTest::newRow("grams decimal comma") << u"WEIGHT.txt"_s << QByteArray("~01001~^1^1^~cup~^2,5")
                                         << 1 << 19 << u"Gm_Wgt (field 5): \"2,5\""_s;

    QTest::newRow("unknown food in NUT_DATA")
        << u"NUT_DATA.txt"_s << goodNutrient + "~99999~^~208~^1\r\n"
        << 2 << 1 << u"NDB_No (field 1): food 99999 is not in"_s;
    QTest::newRow("unknown food in WEIGHT") << u"WEIGHT.txt"_s << QByteArray("~99999~^1^1^~cup~^2")
                                            << 1 << 1 << u"NDB_No (field 1): food 99999"_s;
    QTest::newRow("food twice") << u"FOOD_DES.txt"_s << butter + butter << 2 << 1
                                << u"NDB_No (field 1): food 01001 listed twice"_s;
    QTest::newRow("nutrient twice")
        << u"NUT_DATA.txt"_s << goodNutrient + goodNutrient << 2 << 9
        << u"Nutr_No (field 2): nutrient 208 of food 01001 given twice"_s;
    QTest::newRow("measure twice") << u"WEIGHT.txt"_s << goodWeight + goodWeight << 2 << 9
                                   << u"Seq (field 2): measure 1 of food 01001 given twice"_s;
    QTest::newRow("undefined 1252 byte")
        << u"FOOD_DES.txt"_s << butter + "~01002~^~0100~^~Bad \x81 byte~^~~^~~^~~^~~^~~^" << 2 << 21
        << u"byte 0x81 is not a code page 1252 character"_s;
    QTest::newRow("unterminated tilde") << u"NUT_DATA.txt"_s << QByteArray("~01001~^~208^717") << 1
                                        << 9 << u"unterminated ~text~ field"_s;
    QTest::newRow("text after tilde") << u"NUT_DATA.txt"_s << QByteArray("~01001~x^~208~^717") << 1
                                      << 8 << u"unexpected character after closing ~"_s;
    QTest::newRow("tilde inside field") << u"NUT_DATA.txt"_s << QByteArray("~01001~^2~08^717") << 1
                                        << 10 << u"~ inside a field not enclosed in ~"_s;
}

void TestMkdbSr::malformed() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, what);

    QTemporaryDir dir;
    const QString folder = dir.filePath(u"sr"_s);
    QVERIFY(QDir().mkpath(folder));
    QMap<QString, QByteArray> files = release();
    if (content.isNull())
        files.remove(file);
    else
        files[file] = content;
    writeRelease(folder, files);

    const Run run = runMkdb({u"--sr"_s, folder, dir.filePath(u"out.mdb"_s)});
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    const QString position = u"%1:%2:%3: "_s.arg(QDir(folder).filePath(file)).arg(line).arg(column);
    QVERIFY2(run.standardError.startsWith(position + what), qPrintable(run.standardError));
    QCOMPARE(folderEntries(dir.path()), QStringList{u"sr"_s});
}

QTEST_GUILESS_MAIN(TestMkdbSr)
#include "test_mkdb_sr.moc"
