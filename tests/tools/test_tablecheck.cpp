// SPDX-License-Identifier: GPL-3.0-or-later
// A file given in place of a food table: what it is by its content, whatever it is called, and
// the velmora-mkdb command that builds a table from a download; both programs say so and end
// with status 1.
#include <QtTest>

#include "fixturedb.h"
#include "fooddb/foodcolumns.h"
#include "testcase.h"
#include "toolrun.h"
#include "tools/sources/tablecheck.h"
#include "xlsxfixture.h"

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kNevo =
    "NEVO-versie/NEVO-version|Voedingsmiddelgroep|Food group|NEVO-code|Engelse naam/Food name\r\n"
    "NEVO-Online 2023 8.0|Aardappelen|Potatoes|1|Potatoes raw\r\n";
const QByteArray kSr = "~01001~^~0100~^~Butter, salted~^~BUTTER,WITH SALT~\r\n";
const QByteArray kFdc =
    "\"fdc_id\",\"data_type\",\"description\"\n\"1\",\"foundation_food\","
    "\"Hummus\"\n";
const QByteArray kCnf = "FoodID,FoodCode,FoodGroupID,FoodSourceID,FoodDescription\r\n";
const QByteArray kCiqual =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<TABLE>\n<ALIM>\n"
    "<alim_code> 1000 </alim_code>\n</ALIM>\n</TABLE>\n";

// A workbook of one sheet called `sheet` whose first cell holds `first`.
QByteArray book(const QByteArray& sheet, const QByteArray& first) {
    return zip(workbook(
        {{sheet, "worksheets/s1.xml"}},
        {{"xl/worksheets/s1.xml", sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" +
                                           first + "</t></is></c></row>")}}));
}

QByteArray csvForm() {
    QByteArray header;
    for (const auto& column : velmora::kFoodColumns)
        header += (header.isEmpty() ? "" : ",") +
                  QByteArray(column.name.data(), qsizetype(column.name.size()));
    return header + "\r\n";
}

}  // namespace

class TestTableCheck : public TestCase {
    Q_OBJECT
    QTemporaryDir dir_;

    // Writes `files` ("folder/name", bytes; a name ending in "/" is an empty folder) in a fresh
    // folder and returns it.
    QString lay(const Parts& files) {
        const QString root = dir_.filePath(QString::number(++laid_));
        for (const auto& [name, bytes] : files) {
            const QString path = root + u'/' + QString::fromUtf8(name);
            QDir().mkpath(QFileInfo(path).path());
            if (name.endsWith('/')) continue;
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return {};
        }
        return root;
    }
    int laid_ = 0;

  private slots:
    void message_data() {
        QTest::addColumn<Parts>("files");
        QTest::addColumn<QString>("given");  // as the user names it, inside the laid folder
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const Parts& files, const QString& given,
                            const QString& message) {
            QTest::newRow(name) << files << given << message;
        };
        const QString build = u", not a food table: build one with velmora-mkdb "_s;
        row("NEVO", {{"NEVO2023_8.0.csv", kNevo}}, u"NEVO2023_8.0.csv"_s,
            u"NEVO2023_8.0.csv is a NEVO download"_s + build +
                u"--nevo NEVO2023_8.0.csv nevo.mdb"_s);
        // The content decides: a name that says nothing, or one of a table, and one to quote.
        row("NEVO as nevo.mdb", {{"nevo.mdb", kNevo}}, u"nevo.mdb"_s,
            u"nevo.mdb is a NEVO download"_s + build + u"--nevo nevo.mdb new-nevo.mdb"_s);
        row("NEVO named oddly", {{"my foods (1).txt", kNevo}}, u"my foods (1).txt"_s,
            u"my foods (1).txt is a NEVO download"_s + build +
                u"--nevo 'my foods (1).txt' nevo.mdb"_s);
        row("SR folder", {{"sr28/FOOD_DES.txt", kSr}, {"sr28/NUT_DATA.txt", kSr}}, u"sr28"_s,
            u"sr28 is a USDA SR release"_s + build + u"--sr sr28 sr.mdb"_s);
        row("SR file", {{"sr28/FOOD_DES.txt", kSr}}, u"sr28/FOOD_DES.txt"_s,
            u"sr28/FOOD_DES.txt is a file of a USDA SR release, not a food table: build one from "
            "its folder with velmora-mkdb --sr sr28 sr.mdb"_s);
        row("FoodData Central", {{"fdc/food.csv", kFdc}}, u"fdc"_s,
            u"fdc is a FoodData Central download"_s + build + u"--fdc fdc fdc.mdb"_s);
        row("CNF", {{"cnf/FOOD NAME.csv", kCnf}}, u"cnf"_s,
            u"cnf is a Canadian Nutrient File download"_s + build + u"--cnf cnf cnf.mdb"_s);
        row("Ciqual", {{"XML_2020/alim_2020_07_07.xml", kCiqual}}, u"XML_2020"_s,
            u"XML_2020 is a Ciqual download"_s + build + u"--ciqual XML_2020 ciqual.mdb"_s);
        row("CoFID", {{"cofid.xlsx", book("1.3 Proximates", "Food Code")}}, u"cofid.xlsx"_s,
            u"cofid.xlsx is a CoFID workbook"_s + build + u"--cofid cofid.xlsx cofid.mdb"_s);
        row("BLS", {{"BLS_4_0.xlsx", book("BLS_4_0", "BLS Code")}}, u"BLS_4_0.xlsx"_s,
            u"BLS_4_0.xlsx is a BLS workbook"_s + build + u"--bls BLS_4_0.xlsx bls.mdb"_s);
        row("AFCD", {{"afcd.xlsx", book("All solids &amp; liquids per 100g", "Public Food Key")}},
            u"afcd.xlsx"_s,
            u"afcd.xlsx is an AFCD workbook"_s + build + u"--afcd afcd.xlsx afcd.mdb"_s);
        row("the CSV form", {{"mine.csv", csvForm()}}, u"mine.csv"_s,
            u"mine.csv is a list of foods in velmora-mkdb's CSV form"_s + build +
                u"mine.csv mine.mdb"_s);
        row("a folder holding a download", {{"dl/nevo.csv", kNevo}, {"dl/readme.txt", "hi\n"}},
            u"dl"_s,
            u"dl is a folder that holds a NEVO download"_s + build +
                u"--nevo dl/nevo.csv nevo.mdb"_s);
        row("ZIP of a file", {{"NEVO.zip", zip({{"NEVO2023/NEVO2023_8.0.csv", kNevo}})}},
            u"NEVO.zip"_s,
            u"NEVO.zip is a ZIP archive of a NEVO download, not a food table: unpack it and build "
            "one with velmora-mkdb --nevo NEVO2023/NEVO2023_8.0.csv nevo.mdb"_s);
        row("ZIP of a folder",
            {{"FoodData.zip", zip({{"FoodData_Central_csv/food.csv", kFdc},
                                   {"FoodData_Central_csv/nutrient.csv", "id,name\n"}})}},
            u"FoodData.zip"_s,
            u"FoodData.zip is a ZIP archive of a FoodData Central download, not a food table: "
            "unpack it and build one with velmora-mkdb --fdc FoodData_Central_csv fdc.mdb"_s);
        row("ZIP of a folder's files", {{"ciqual.zip", zip({{"alim_2020.xml", kCiqual}})}},
            u"ciqual.zip"_s,
            u"ciqual.zip is a ZIP archive of a Ciqual download, not a food table: unpack it into "
            "a folder and build one with velmora-mkdb --ciqual FOLDER ciqual.mdb"_s);
        row("ZIP of a workbook", {{"c.zip", zip({{"c/cofid.xlsx", book("1.3 Proximates", "x")}})}},
            u"c.zip"_s,
            u"c.zip is a ZIP archive of a CoFID workbook, not a food table: unpack it and build "
            "one with velmora-mkdb --cofid c/cofid.xlsx cofid.mdb"_s);
        // Not a download: what it is, in one line.
        row("Access",
            {{"old.mdb", QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(200, 0)}},
            u"old.mdb"_s,
            u"old.mdb is a Microsoft Access database, not a food table: Velmora reads the tables "
            "velmora-mkdb builds."_s);
        row("empty", {{"e.mdb", ""}}, u"e.mdb"_s, u"e.mdb is an empty file, not a food table."_s);
        row("text", {{"notes.mdb", "Apple,52\r\n"}}, u"notes.mdb"_s,
            u"notes.mdb is a text file, not a food table."_s);
        row("other", {{"x.mdb", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)}}, u"x.mdb"_s,
            u"x.mdb holds data of a kind Velmora does not know, not a food table."_s);
        row("folder", {{"empty/", ""}}, u"empty"_s,
            u"empty is a folder that holds no download velmora-mkdb reads, not a food table."_s);
        row("workbook", {{"w.xlsx", book("Sheet1", "Name")}}, u"w.xlsx"_s,
            u"w.xlsx is a workbook of none of the tables velmora-mkdb reads, not a food table."_s);
        row("ZIP", {{"z.zip", zip({{"a.txt", "hello\n"}})}}, u"z.zip"_s,
            u"z.zip is a ZIP archive that holds no download velmora-mkdb reads, not a food "
            "table."_s);
        // What only opening it can judge is left to the opening: its errors say it.
        row("missing", {}, u"gone.mdb"_s, QString());
    }
    void message() {
        QFETCH(Parts, files);
        QFETCH(QString, given);
        QFETCH(QString, message);
        const QString root = lay(files);
        QVERIFY(!root.isEmpty() || files.isEmpty());
        QVERIFY(QDir::setCurrent(files.isEmpty() ? dir_.path() : root));
        QCOMPARE(velmora::mkdb::notATableMessage(QDir::current().filePath(given), given), message);
    }

    // SQLite files by their tables: a food table, or a database without one.
    void sqlite() {
        const QString table = dir_.filePath(u"t.bin"_s), other = dir_.filePath(u"o.db"_s);
        QCOMPARE(writeFixtureDb(table, {{u"Pear"_s}}), QString());
        QCOMPARE(velmora::mkdb::notATableMessage(table, table), QString());
        QCOMPARE(execSql(other, u"CREATE TABLE T (a)"_s), QString());
        QCOMPARE(velmora::mkdb::notATableMessage(other, u"o.db"_s),
                 u"o.db is an SQLite database without the table CSR14, not a food table."_s);
    }

    // Both programs say it and end with status 1, before any window or report.
    void programs_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("error");
        const QString nevo =
            u"NEVO2023_8.0.csv is a NEVO download, not a food table: build one "
            "with velmora-mkdb --nevo NEVO2023_8.0.csv nevo.mdb\n"_s;
        QTest::newRow("velmora FILE")
            << u"velmora"_s << u"NEVO2023_8.0.csv"_s << u"Velmora: "_s + nevo;
        QTest::newRow("velmora --database")
            << u"velmora"_s << u"--database|NEVO2023_8.0.csv"_s << u"Velmora: "_s + nevo;
        QTest::newRow("velmora-report") << u"velmora-report"_s << u"--database|NEVO2023_8.0.csv|1"_s
                                        << u"velmora-report: "_s + nevo;
    }
    void programs() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(QString, error);
        const QString root = lay({{"NEVO2023_8.0.csv", kNevo}});
        const Run r = run(root, program, args.split(u'|'));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.endsWith(error), qPrintable(r.err));
        QCOMPARE(r.out, QString());
    }
};

QTEST_MAIN(TestTableCheck)
#include "test_tablecheck.moc"
