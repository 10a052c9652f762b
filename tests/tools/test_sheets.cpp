// SPDX-License-Identifier: GPL-3.0-or-later
// The national tables published as workbooks, built by velmora-mkdb from workbooks written here in
// each agency's layout: CoFID's numbered sheets joined on Food Code, BLS's "TAG name [unit/100g]"
// columns and its two languages, AFCD's headers with the unit in parentheses; the markers, and the
// refusals naming file, sheet and row with the output untouched.
#include <QtTest>

#include "fixturedb.h"
#include "fooddb/foodtableid.h"
#include "testcase.h"
#include "toolrun.h"
#include "xlsxfixture.h"

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// A sheet's name and its rows, each row's cells separated by "|" ("" for none).
using Sheet = std::pair<QString, QStringList>;

// A cell placed by its reference: a number as a number, TRUE and FALSE as Booleans, anything
// else as an inline string.
QByteArray cellXml(int column, int row, const QString& text) {
    QByteArray ref;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) ref.prepend(char('A' + (c - 1) % 26));
    ref += QByteArray::number(row);
    bool number = false;
    text.toDouble(&number);
    if (number) return "<c r=\"" + ref + "\"><v>" + text.toUtf8() + "</v></c>";
    if (text == u"TRUE" || text == u"FALSE")
        return "<c r=\"" + ref + "\" t=\"b\"><v>" + (text == u"TRUE" ? "1" : "0") + "</v></c>";
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text.toHtmlEscaped().toUtf8() +
           "</t></is></c>";
}

QByteArray xlsx(const QList<Sheet>& sheets) {
    Parts names, parts;
    for (qsizetype s = 0; s < sheets.size(); ++s) {
        QByteArray rows;
        for (qsizetype r = 0; r < sheets[s].second.size(); ++r) {
            rows += "<row r=\"" + QByteArray::number(r + 1) + "\">";
            const QStringList cells = sheets[s].second[r].split(u'|');
            for (qsizetype c = 0; c < cells.size(); ++c)
                if (!cells[c].isEmpty()) rows += cellXml(int(c), int(r + 1), cells[c]);
            rows += "</row>";
        }
        const QByteArray part = "worksheets/sheet" + QByteArray::number(s + 1) + ".xml";
        names << std::pair(sheets[s].first.toHtmlEscaped().toUtf8(), part);
        parts << std::pair("xl/" + part, sheetXml(rows));
    }
    return zip(workbook(names, parts));
}

// A CoFID sheet: the seven identifying columns, then per nutrient ("Label=TAG") its label, tagname
// and short label; each food as "code|name|group|amounts...".
QStringList cofidSheet(const QString& nutrients, const QStringList& foods) {
    QStringList rows{
        u"Food Code|Food Name|Description|Group|Previous|Main data references|Footnote"_s,
        u"||||||"_s, u"||||||"_s};
    for (const QString& n : nutrients.split(u'|')) {
        rows[0] += u'|' + n.section(u'=', 0, 0);
        rows[1] += u'|' + n.section(u'=', 1);
        rows[2] += u'|' + n.section(u'=', 1).toLower();
    }
    for (const QString& f : foods)
        rows << f.section(u'|', 0, 1) + u"|desc|"_s + f.section(u'|', 2, 2) + u"||ref||"_s +
                    f.section(u'|', 3);
    return rows;
}

// The three workbooks, the agencies' layouts in small, by option.
QMap<QString, QList<Sheet>> books() {
    return {
        {u"cofid"_s,
         {{u"Front sheet"_s, {u"McCance and Widdowson's"_s}},
          {u"1.3 Proximates"_s,
           cofidSheet(u"Water (g)=WATER|Protein=PROT|Fat=FAT|Energy (kcal)=KCALS|Energy (kJ)=KJ|"
                      "Total sugars=TOTSUG|AOAC fibre=AOACFIB"_s,
                      {u"13-669|Oats, rolled|AI|8.2|Tr|(6.4)|374|1582|1.1|N"_s,
                       u"11-001|Apple|FA|84||||200"_s, u"13-669|Oats, rolled|AI|9"_s})},
          {u"1.10 (SFA /100g food)"_s,
           cofidSheet(u"Saturated=SATFOD"_s, {u"13-669|Oats, rolled|AI|1.2"_s})},
          {u"1.4 Inorganics"_s,
           cofidSheet(u"Sodium=NA|Selenium=SE|Calcium=CA"_s,
                      {u"13-669|Oats, rolled|AI|12|2.5|Tr"_s, u"99-999|Other|X|1"_s,
                       u"11-001|Apple|FA|1"_s, u"13-669|Oats, rolled|AI|99"_s})},
          {u"1.5 Vitamins"_s, cofidSheet(u"Vitamin C=VITC|Folate=FOLT"_s,
                                         {u"11-001|Apple|FA|6|4"_s, u"13-669|Oats|AI|N"_s})},
          {u"1.6 Vitamin Fractions"_s, cofidSheet(u"Retinol=RETOL"_s, {})}}},
        {u"bls"_s,
         {{u"BLS_4_0"_s,
           {u"BLS Code|Lebensmittelbezeichnung|ENERCC Energie (Kilokalorien) [kcal/100g]|ENERCC "
            "Referenz|ENERCJ Energie (Kilojoule) [kJ/100g]|PROT625 Protein (Nx6,25) [g/100g]|FAT "
            "Fett [g/100g]|CHO Kohlenhydrate, verfügbar [g/100g]|NA Natrium [mg/100g]|SE Selen "
            "[µg/100g]|VITC Vitamin C [mg/100g]|Food name"_s,
            u"C131000|Hafer ganzes Korn, roh|343|-||11.375|7.09|53.7|TR|<LOD|<LOQ|Oats whole "
            "grain, raw"_s,
            u"N110000|Wasser|-|ref|418.4||||<LOD or <LOQ"_s}}}},
        {u"afcd"_s,
         {{u"Index"_s, {u"AFCD Release 2 Nutrient file"_s}},
          {u"All solids & liquids per 100g"_s,
           {u"Public Food Key|Classification|Food Name|Energy with dietary fibre, equated \n(kJ)|"
            "Energy, without dietary fibre, equated \n(kJ)|Moisture (water) \n(g)|Protein \n(g)|"
            "Total sugars (g)|Calcium (Ca) \n(mg)|Selenium (Se) \n(ug)|Cholesterol \n(mg)|Survey "
            "flag"_s,
            u"F009901|31399|Poppy seed, dried, ground|1046|880|7.5|12.4||410|0.3|0|yes"_s}},
          {u"Liquids only per 100mL"_s, {u"Public Food Key"_s, u"F000001"_s}}}},
    };
}

}  // namespace

class TestSheets : public TestCase {
    Q_OBJECT
    QTemporaryDir dir_;
    QMap<QString, QString> out_;  // velmora-mkdb's output, by table

    QString build(const QString& option, const QStringList& extra, const QString& table) {
        QFile file(dir_.filePath(option + u".xlsx"_s));
        const QByteArray bytes = xlsx(books()[option]);
        if (!file.exists() &&
            (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()))
            return u"cannot write"_s;
        file.close();
        const Run r = run(dir_.path(), u"velmora-mkdb"_s,
                          QStringList{u"--"_s + option, option + u".xlsx"_s, table} + extra);
        out_[table] = r.out;
        return r.status == 0 ? QString() : r.err;
    }

  private slots:
    void initTestCase() {
        QCOMPARE(build(u"cofid"_s, {}, u"cofid.mdb"_s), QString());
        QCOMPARE(build(u"bls"_s, {}, u"bls.mdb"_s), QString());
        QCOMPARE(build(u"bls"_s, {u"--names"_s, u"de"_s}, u"de.mdb"_s), QString());
        QCOMPARE(build(u"afcd"_s, {}, u"afcd.mdb"_s), QString());
    }

    void layouts_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("cells");
        const auto row = [](const char* table, const char* code, const char* cells) {
            QTest::addRow("%s %s", table, code)
                << QString(table) << QString(code) << QString(cells);
        };
        row("cofid", "13-669",
            "Description='Oats, rolled' CODE='AI' WATER=8.2 PROTEIN=0.0 TOT_LIPID=6.4 "
            "ENERG_KCAL=374.0 FIBER_TD=NULL SODIUM=12.0 SELENIUM=2.5 CALCIUM=0.0 VIT_C=NULL "
            "FA_SAT=1.2");
        row("cofid", "11-001",
            "Description='Apple' ENERG_KCAL=48.0 PROTEIN=NULL SODIUM=1.0 VIT_C=6.0 FOLATE=4.0");
        row("bls", "C131000",
            "Description='Oats whole grain, raw' CODE='C' ENERG_KCAL=343.0 PROTEIN=11.375 "
            "TOT_LIPID=7.09 CARBOHYDRT=53.7 SODIUM=0.0 SELENIUM=0.0 VIT_C=0.0");
        row("bls", "N110000", "Description='Wasser' ENERG_KCAL=100.0 PROTEIN=NULL SODIUM=0.0");
        row("de", "C131000", "Description='Hafer ganzes Korn, roh'");
        row("afcd", "F009901",
            "Description='Poppy seed, dried, ground' CODE='31399' ENERG_KCAL=250.0 WATER=7.5 "
            "PROTEIN=12.4 CALCIUM=410.0 SELENIUM=0.3 CHOLESTRL=0.0 TOT_LIPID=NULL");
    }
    void layouts() {
        QFETCH(QString, table);
        QFETCH(QString, code);
        QFETCH(QString, cells);
        QCOMPARE(cellsOf(dir_.filePath(table + u".mdb"_s), code, cells), cells);
    }

    // The second food of a code CoFID lists twice: kept, its amounts its own, its name unique.
    void countsAndJoins() {
        const auto twice = query(dir_.filePath(u"cofid.mdb"_s),
                                 u"SELECT Description, SODIUM FROM CSR14 WHERE NDB_NO = '13-669' "
                                 "ORDER BY rowid"_s);
        QCOMPARE(twice.rows.value(1), QVariantList({u"Oats, rolled [13-669]"_s, 99.0}));
        QVERIFY2(out_[u"cofid.mdb"_s].startsWith(
                     u"cofid.mdb: 3 foods; 2 traces and 0 amounts below a limit stored as 0; kcal "
                     "from kJ for 1 food; 1 description made unique; 1 nutrient without a column "
                     "skipped; 1 row of sheet \"1.4 Inorganics\" of foods not in \"1.3 "
                     "Proximates\" skipped\nSource: McCance"_s),
                 qPrintable(out_[u"cofid.mdb"_s]));
        QVERIFY(out_[u"cofid.mdb"_s].contains(u"Open Government Licence"_s));
        QVERIFY2(
            out_[u"bls.mdb"_s].contains(
                u"1 trace and 3 amounts below a limit stored as 0; kcal from kJ for 1 food; 0 "
                "descriptions made unique; 0 nutrients without a column skipped; 1 food without a "
                "name in \"en\" named in the other language\n"_s),
            qPrintable(out_[u"bls.mdb"_s]));
        QVERIFY(out_[u"bls.mdb"_s].contains(
            u"\nCitation: Max Rubner-Institut (2025). Bundeslebensmittelschlüssel (BLS) 4.0\n"_s));
        QVERIFY(
            out_[u"afcd.mdb"_s].contains(u"; 6 of 30 mapped columns found (not found, not "
                                         "measured: \"fat, total\", "_s));
        QVERIFY(out_[u"afcd.mdb"_s].contains(
            u"\nCitation: Food Standards Australia New Zealand (Release 2). Australian Food "
            "Composition Database\n"_s));
        QVERIFY(out_[u"afcd.mdb"_s].contains(u"CC BY-SA"_s));
        const QString mark = QString::number(velmora::kFoodTableApplicationId) + u' ';
        for (const auto& [table, name] : {std::pair(u"cofid.mdb"_s, u"CoFID"_s),
                                          {u"bls.mdb"_s, u"BLS"_s},
                                          {u"afcd.mdb"_s, u"AFCD"_s}})
            QCOMPARE(tableMark(dir_.filePath(table)), mark + name);
    }

    // Workbooks of one BLS sheet (a header and foods): what each builds, or how it is refused.
    void blsSheets_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("expected");  // a line of the output, or the refusal
        const QString head =
            u"BLS Code|Lebensmittelbezeichnung|ENERCC E [kcal/100g]|ENERCJ E "
            "[kJ/100g]|TOCPHA T [mg/100g]|VITE E [mg/100g]|XYZ X [g/100g]|"
            "CA Calcium [g/100g]"_s;
        // The counts are those of the cells the columns take, each once: energy in kJ only
        // where kcal is none, vitamin E activity only where alpha-tocopherol is none, an
        // unmapped column never.
        QTest::newRow("counts")
            << QStringList{head, u"A1|a|TR|<LOD|TR|<LOD|TR|TR"_s, u"A2|b|-|TR|-|<LOD|<LOD|1"_s,
                           u"A3|c|1|<LOD|<LOD|TR|TR|<LOD"_s}
            << u"bls.mdb: 3 foods; 4 traces and 3 amounts below a limit stored as 0;"_s;
        QStringList twins{head};
        for (int i = 0; i < 2000; ++i) twins << u"C131000|Hafer|1"_s;
        QTest::newRow("twins") << twins << u"1999 descriptions made unique"_s;
        QTest::newRow("beyond the bound once in mg")
            << QStringList{head, u"A1|a|1||||1|9e14"_s}
            << u"bls.xlsx:2:8: sheet \"S\", cell H2: CA Calcium [g/100g]: \"9e14\" is out of "
               "range once in mg (beyond ±10^15)"_s;
        QTest::newRow("Boolean") << QStringList{head, u"A1|a|TRUE"_s}
                                 << u"bls.xlsx:2:3: sheet \"S\", cell C2: ENERCC E [kcal/100g]: "
                                    "TRUE (a Boolean cell) is not a number"_s;
        QTest::newRow("NUL") << QStringList{head, u"A1|Hafer_x0000_Bad|1"_s}
                             << u"(sheet \"S\"): cell B2: NUL character"_s;
    }
    void blsSheets() {
        QFETCH(QStringList, rows);
        QFETCH(QString, expected);
        QTemporaryDir temp;
        QFile file(temp.filePath(u"bls.xlsx"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(xlsx({{u"S"_s, rows}}));
        file.close();
        const Run r =
            run(temp.path(), u"velmora-mkdb"_s, {u"--bls"_s, u"bls.xlsx"_s, u"bls.mdb"_s});
        QVERIFY2((r.status == 0 ? r.out : r.err).contains(expected), qPrintable(r.out + r.err));
        if (QTest::currentDataTag() == "twins"_L1)
            QCOMPARE(query(temp.filePath(u"bls.mdb"_s),
                           u"SELECT Description FROM CSR14 ORDER BY rowid DESC LIMIT 1"_s)
                         .rows.value(0),
                     QVariantList{u"Hafer [C131000 1999]"_s});
    }

    // A renamed column is read under the names releases give it, or named on standard error.
    void columnNames() {
        QTemporaryDir temp;
        QList<Sheet> cofid = books()[u"cofid"_s];
        cofid[4].second = cofidSheet(u"Vitamin C=VITC|Folate=FOLT|Riboflavin=RIBF"_s,
                                     {u"11-001|Apple|FA|6|4|0.03"_s});
        QList<Sheet> afcd = books()[u"afcd"_s];
        afcd[1].second[0].replace(u"Protein \n(g)"_s, u"Ascorbic acid, total (mg)"_s);
        for (const auto& [option, book] : {std::pair(u"cofid"_s, cofid), {u"afcd"_s, afcd}}) {
            QFile file(temp.filePath(option + u".xlsx"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(xlsx(book));
        }
        Run r = run(temp.path(), u"velmora-mkdb"_s, {u"--cofid"_s, u"cofid.xlsx"_s, u"c.mdb"_s});
        QCOMPARE(r.status, 0);
        QCOMPARE(cellsOf(temp.filePath(u"c.mdb"_s), u"11-001"_s, u"RIBOFLAVIN=0.03"_s),
                 u"RIBOFLAVIN=0.03"_s);
        QVERIFY2(r.err.contains(u"velmora-mkdb: cofid.xlsx: no column for Niacin (NIAC or NIA): "
                                "not measured\n"_s),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(u"Riboflavin"_s));
        r = run(temp.path(), u"velmora-mkdb"_s, {u"--afcd"_s, u"afcd.xlsx"_s, u"a.mdb"_s});
        QCOMPARE(r.status, 0);
        QCOMPARE(cellsOf(temp.filePath(u"a.mdb"_s), u"F009901"_s, u"VIT_C=12.4"_s),
                 u"VIT_C=12.4"_s);
        QVERIFY2(r.err.contains(u"velmora-mkdb: afcd.xlsx: no column for Protein (protein): not "
                                "measured\n"_s),
                 qPrintable(r.err));
    }

    void refusals_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("from");  // a cell or sheet name, replaced by `to`
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("err");
        const auto bad = [](const char* name, const char* option, const QString& from,
                            const QString& to, const QString& err) {
            QTest::newRow(name) << QString(option) << from << to << err;
        };
        bad("cofid sheet", "cofid", u"1.5 Vitamins"_s, u"Vitamins"_s,
            u"cofid.xlsx:1:1: the workbook has no sheet \"1.5 Vitamins\" (one whose name starts "
            "with \"1.5\"; its sheets: \"Front sheet\", "_s);
        bad("cofid column", "cofid", u"Food Code"_s, u"Code"_s,
            u"cofid.xlsx:1:1: sheet \"1.3 Proximates\": no column \"Food Code\" in the header row"_s);
        bad("cofid number", "cofid", u"374"_s, u"37 4"_s,
            u"cofid.xlsx:4:11: sheet \"1.3 Proximates\", cell K4: Energy (kcal): \"37 4\" is not "
            "a number"_s);
        bad("bls column", "bls", u"Lebensmittelbezeichnung"_s, u"Name"_s,
            u"bls.xlsx:1:1: sheet \"BLS_4_0\": no column \"Lebensmittelbezeichnung\""_s);
        bad("bls number", "bls", u"53.7"_s, u"53,7"_s,
            u"bls.xlsx:2:8: sheet \"BLS_4_0\", cell H2: CHO Kohlenhydrate, verfügbar [g/100g]: "
            "\"53,7\" is not a number"_s);
        bad("bls code", "bls", u"N110000"_s, u" "_s,
            u"bls.xlsx:3:1: sheet \"BLS_4_0\", cell A3: no BLS Code"_s);
        bad("afcd sheet", "afcd", u"All solids & liquids per 100g"_s, u"Solids"_s,
            u"afcd.xlsx:1:1: the workbook has no sheet \"All solids & liquids per 100g\""_s);
        bad("afcd column", "afcd", u"Public Food Key"_s, u"Key"_s,
            u"afcd.xlsx:1:1: sheet \"All solids & liquids per 100g\": no column \"Public Food "
            "Key\""_s);
        bad("--names", "cofid", u"--names"_s, u"de"_s,
            u"velmora-mkdb: --names is en with --cofid, not \"de\""_s);
    }
    void refusals() {
        QFETCH(QString, option);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, err);
        QTemporaryDir temp;
        QList<Sheet> book = books()[option];
        const QRegularExpression cell(u"(?<=^|\\|)"_s + QRegularExpression::escape(from) +
                                      u"(?=$|\\|)"_s);
        for (Sheet& sheet : book) {
            if (sheet.first == from) sheet.first = to;
            sheet.second.replaceInStrings(cell, to);
        }
        QFile file(temp.filePath(option + u".xlsx"_s)), out(temp.filePath(u"o.mdb"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && out.open(QIODevice::WriteOnly));
        file.write(xlsx(book));
        out.write("previous");
        file.close();
        out.close();
        QStringList args{u"--"_s + option, option + u".xlsx"_s, u"o.mdb"_s};
        if (from.startsWith(u"--"_s)) args << from << to;
        const Run refused = run(temp.path(), u"velmora-mkdb"_s, args);
        QCOMPARE(refused.status, args.size() > 3 ? 2 : 1);
        QVERIFY2(refused.err.startsWith(err), qPrintable(refused.err));
        QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("previous"));
    }
};

QTEST_GUILESS_MAIN(TestSheets)
#include "test_sheets.moc"
