// SPDX-License-Identifier: GPL-3.0-or-later
// The workbook reader on workbooks this test writes with minizip: cells placed by reference,
// texts as stored, sheets found through the relationships, and every refusal naming the file, the
// part and the place.
#include <QtTest>
#include "testcase.h"
#include "xlsxfixture.h"

#include "tools/formats/xlsxreader.h"

using namespace velmora::mkdb;
using namespace velmora::test;
using namespace Qt::StringLiterals;

// One sheet "Data" with `rows` as its sheetData.
static Parts oneSheet(const QByteArray& rows, const QByteArray& strings = "") {
    return workbook({{"Data", "worksheets/sheet1.xml"}},
                    {{"xl/worksheets/sheet1.xml", sheetXml(rows)}}, strings);
}

// `bytes` with the 32-bit field at `offset` of every header with `signature` set to `value`.
static QByteArray patched(QByteArray bytes, const char* signature, int offset, quint32 value) {
    for (qsizetype at = 0; (at = bytes.indexOf(signature, at)) >= 0; ++at)
        qToLittleEndian(value, bytes.data() + at + offset);
    return bytes;
}

// Each row as "N: A=t:text", t one of n, t(ext), b, e, d.
static QString dump(XlsxSheet& sheet) {
    QStringList rows;
    while (sheet.next()) {
        QString row = QString::number(sheet.row()) + u':';
        for (const XlsxCell& c : sheet.cells())
            row += u' ' + columnName(c.column) + u'=' + QChar(u"ntbed"[int(c.type)]) + u':' +
                   QString::fromUtf8(c.text.data(), qsizetype(c.text.size()));
        rows << row;
    }
    return rows.join(u" | ");
}

class TestXlsx : public velmora::test::TestCase {
    Q_OBJECT
    QTemporaryDir dir_;
    QString write(const QByteArray& bytes) {
        const QString path = dir_.filePath(u"book.xlsx"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) qFatal("write");
        return path;
    }

  private slots:
    void cells_data() {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& rows, const QString& expected) {
            QTest::newRow(name) << rows << expected;
        };
        row("gaps",
            R"(<row r="2"><c r="B2"><v>1.5</v></c><c r="AA2"><v>-2E-3</v></c></row>)"
            R"(<row r="7"><c r="XFD7" t="b"><v>1</v></c></row>)",
            u"2: B=n:1.5 AA=n:-2E-3 | 7: XFD=b:1"_s);
        row("no references",
            R"(<row><c><v>1</v></c><c r="C1"><v>3</v></c><c><v>4</v></c></row>)"
            R"(<row><c t="e"><v>#N/A</v></c></row><row r="9"><c><v>9</v></c></row>)",
            u"1: A=n:1 C=n:3 D=n:4 | 2: A=e:#N/A | 9: A=n:9"_s);
        row("row from its cells", R"(<row><c r="B4"><v>1</v></c></row><row><c><v>2</v></c></row>)",
            u"4: B=n:1 | 5: A=n:2"_s);
        row("shared strings",
            R"(<row r="1"><c r="A1" t="s"><v>1</v></c><c r="B1" t="s"><v>0</v>)"
            R"(</c><c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c></row>)",
            u"1: A=t:Energy\r\n(kJ) B=t:BLS Code C=t:_x D=t:Ünïcode"_s);
        row("inline and formula texts",
            R"(<row r="3"><c r="A3" t="inlineStr"><is><t>in</t><r><t xml:space="preserve"> )"
            R"(line</t></r><rPh><t>x</t></rPh></is></c><c r="B3" t="str"><f>A3</f><v>a&amp;b</v></c>)"
            R"(<c r="C3" t="d"><v>2025-01-31</v></c></row>)",
            u"3: A=t:in line B=t:a&b C=d:2025-01-31"_s);
        row("empty cells and rows",
            R"(<row r="1"><c r="A1" s="3"/><c r="B1" t="inlineStr"><is><t/>)"
            R"(</is></c></row><row r="2"/><row r="3"><c r="C3" t="s"><v>4)"
            R"(</v></c><c r="D3"><v>0</v></c></row>)",
            u"3: D=n:0"_s);
        row("prefixed", R"(<x:row xmlns:x="urn:x" r="2"><x:c r="B2"><x:v>5</x:v></x:c></x:row>)",
            u"2: B=n:5"_s);
        // Rows in comments and CDATA are none.
        row("comment and CDATA",
            R"(<row r="1"><c><v>1</v></c></row><!-- <row r="5"/><row r="6"/> -->)"
            R"(<row r="7"><c><v>7</v></c></row><row r="8"><c><v>8</v></c></row>)"
            R"(<row r="9"><c t="inlineStr"><is><t><![CDATA[<row r="10"/><row r="11">]]></t></is>)"
            R"(</c></row><row r="12"><c><v>12</v></c></row><row r="13"><c><v>13</v></c></row>)",
            u"1: A=n:1 | 7: A=n:7 | 8: A=n:8 | 9: A=t:<row r=\"10\"/><row r=\"11\"> | "
            "12: A=n:12 | 13: A=n:13"_s);
    }
    void cells() {
        QFETCH(QByteArray, rows);
        QFETCH(QString, expected);
        // Rich-text runs make one text, the phonetic guide is no part of it, _xHHHH_ is a
        // character.
        const QByteArray strings =
            "<si><t>BLS Code</t></si><si><r><t>Energy_x000D_</t></r><r><rPr><b/></rPr><t>\n(kJ)</t>"
            "</r><rPh sb=\"0\" eb=\"1\"><t>ene</t></rPh></si><si><t>_x005F_x</t></si>"
            "<si><t>Ünïcode</t></si><si><t></t></si>";
        const XlsxWorkbook book(write(zip(oneSheet(rows, strings))));
        XlsxSheet sheet = book.sheet(u"Data"_s);
        QCOMPARE(dump(sheet), expected);
    }

    // The part's declared encoding, a byte order mark, line ends as XML reads them.
    void encodings_data() {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QString>("expected");
        const QByteArray text = "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>";
        const QByteArray end = "</t></is></c></row></sheetData></worksheet>";
        QTest::newRow("windows-1252")
            << "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + text + "\x80\x96\xE9" + end
            << u"1: A=t:€–é"_s;
        // Files that say ISO-8859-1 mean windows-1252.
        QTest::newRow("ISO-8859-1")
            << "<?xml version='1.0' encoding='ISO-8859-1'?>\n" + text + "\x96\xFF" + end
            << u"1: A=t:–ÿ"_s;
        QTest::newRow("BOM, CRLF")
            << "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n" + text + "\xC3\xA9\r\nx" + end
            << u"1: A=t:é\nx"_s;
    }
    void encodings() {
        QFETCH(QByteArray, part);
        QFETCH(QString, expected);
        const XlsxWorkbook book(write(zip(
            workbook({{"Data", "worksheets/sheet1.xml"}}, {{"xl/worksheets/sheet1.xml", part}}))));
        XlsxSheet sheet = book.sheet(u"Data"_s);
        QCOMPARE(dump(sheet), expected);
    }

    // Sheets by name through the relationships, targets relative, absolute or differing in case
    // from the entry; two read side by side; a cell's fault as readers report it.
    void sheets() {
        const QString path = write(zip(workbook(
            {{"Index", "worksheets/Sheet1.xml"},
             {"1.3 Proximates", "/xl/a/b.xml"},
             {"1.4 Inorganics", "./x/../worksheets/s2.xml"}},
            {{"xl/worksheets/sheet1.xml", sheetXml("<row><c><v>1</v></c></row>")},
             {"xl/a/b.xml", sheetXml("<row><c><v>2</v></c></row><row><c><v>3</v></c></row>")},
             {"xl/worksheets/s2.xml", sheetXml("<row><c><v>4</v></c></row>")}})));
        const XlsxWorkbook book(path);
        QCOMPARE(book.sheetNames(),
                 QStringList({u"Index"_s, u"1.3 Proximates"_s, u"1.4 Inorganics"_s}));
        QCOMPARE(book.sheetStartingWith(u"1.4"), u"1.4 Inorganics"_s);
        QCOMPARE(book.sheetStartingWith(u"2."), QString());
        XlsxSheet a = book.sheet(u"1.3 Proximates"_s), b = book.sheet(u"1.4 Inorganics"_s);
        QVERIFY(a.next() && b.next());
        QVERIFY(a.cells()[0].text == "2");
        QCOMPARE(b.cell(0)->amount().value, 4.0);
        QVERIFY(!b.cell(1) && !b.next() && a.next() && !a.next());
        XlsxSheet index = book.sheet(u"Index"_s);
        QCOMPARE(dump(index), u"1: A=n:1"_s);
        QCOMPARE(a.at(27, u"\"x\" is not a number"_s).toString(),
                 path + u":2:28: sheet \"1.3 Proximates\", cell AB2: \"x\" is not a number"_s);
    }

    // A fault far into a sheet names its place and part, after the rows before it.
    void largeSheet() {
        QByteArray rows;
        for (int r = 1; r <= 60000; ++r) {
            const QByteArray n = QByteArray::number(r);
            rows += "<row r=\"" + n + "\"><c r=\"" + (r == 50000 ? "a1" : "B" + n) + "\"><v>" + n +
                    "</v></c></row>\n";
        }
        const QString path = write(zip(oneSheet(rows)));
        qsizetype read = 0;
        QString fault;
        try {
            const XlsxWorkbook book(path);
            XlsxSheet sheet = book.sheet(u"Data"_s);
            while (sheet.next() && sheet.row() == read + 1 &&
                   sheet.cell(1)->amount().value == read + 1)
                ++read;
        } catch (const Fault& f) {
            fault = f.diagnostic.toString();
        }
        QCOMPARE(read, 49999);
        QCOMPARE(fault, path +
                            u":50001:16: xl/worksheets/sheet1.xml (sheet \"Data\"): cell "
                            "reference \"a1\" is not valid"_s);
    }

    // A workbook's work is bounded by the workbook, whatever it lists: the bytes of all its
    // parts, its sheets, each part read once, its shared strings; a message names a few sheets.
    void bounds_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("open");  // the sheets opened, "|" apart
        QTest::addColumn<QString>("expected");
        const auto sheets = [](int count, bool onePart) {
            Parts names;
            for (int s = 0; s < count; ++s)
                names << std::pair("S" + QByteArray::number(s),
                                   onePart ? QByteArray("worksheets/sheet1.xml")
                                           : "worksheets/s" + QByteArray::number(s) + ".xml");
            return zip(workbook(names, {{"xl/worksheets/sheet1.xml", sheetXml("")}}));
        };
        QTest::newRow("one part for two sheets")
            << sheets(2, true) << u"S0|S1"_s
            << u"1:1: sheet \"S1\": its part xl/worksheets/sheet1.xml is sheet \"S0\"'s too"_s;
        QTest::newRow("sheets") << sheets(21, true) << QString()
                                << u"workbook.xml: the workbook lists more than 20 sheets"_s;
        QTest::newRow("a few named")
            << sheets(15, false) << u"T"_s << u"\"S8\", \"S9\", and 5 more)"_s;
        QTest::newRow("bytes") << zip(oneSheet(QByteArray(5000, ' '))) << u"Data"_s
                               << u"inflate to more than 0 MB in all"_s;
        QTest::newRow("shared strings")
            << zip(oneSheet("", QByteArray("<si/>").repeated(101))) << QString()
            << u"xl/strings.xml: more than 100 shared strings"_s;
        QTest::newRow("their text")
            << zip(oneSheet("", "<si><t>" + QByteArray(1001, 'x') + "</t></si>")) << QString()
            << u"xl/strings.xml: the shared strings hold more than 1000 "
               "bytes of text"_s;
        Parts twice = oneSheet("<row><c><v>1</v></c></row>");
        twice << twice.first();
        QTest::newRow("two entries of one name")
            << zip(twice) << QString()
            << u"1:1: damaged ZIP archive: two entries named \"xl/worksheets/sheet1.xml\""_s;
    }
    void bounds() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, open);
        QFETCH(QString, expected);
        const QString path = write(bytes);
        QString fault;
        try {
            const XlsxWorkbook book(path, {4096, 20, 100, 1000});
            for (const QString& name : open.split(u'|', Qt::SkipEmptyParts)) {
                XlsxSheet sheet = book.sheet(name);
                while (sheet.next()) {
                }
            }
        } catch (const Fault& f) {
            fault = f.diagnostic.toString();
        }
        QVERIFY2(fault.contains(expected), qPrintable(fault));
    }

    void refusals_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("expected");
        const auto refuse = [](const char* name, const QByteArray& bytes, const QString& expected,
                               const QString& sheet = u"Data"_s) {
            QTest::newRow(name) << bytes << sheet << expected;
        };
        const QString sheet1 = u"xl/worksheets/sheet1.xml (sheet \"Data\"): "_s;
        const QByteArray good = zip(oneSheet("<row><c><v>1</v></c></row>"), 0);
        refuse("CSV", "Code,Name\n1,Oats\n",
               u"1:1: not an .xlsx workbook: the file is not a ZIP archive"_s);
        const QByteArray ole =
            QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8).leftJustified(1024, '\0');
        refuse(".xls", ole, u"1:1: not an .xlsx workbook: an Excel 97-2003 (.xls)"_s);
        QByteArray encrypted = ole;
        encrypted.replace(640, 34,
                          QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0\0\0", 34));
        encrypted[704] = 34;
        refuse("password-protected", encrypted,
               u"1:1: the workbook is encrypted (password-protected)"_s);
        // Flags and method of every entry: encrypted, deflated.
        refuse("encrypted entry",
               patched(patched(zip(oneSheet("")), "PK\3\4", 6, 0x80001), "PK\1\2", 8, 0x80001),
               u"1:1: xl/workbook.xml: encrypted ZIP entry: the workbook is password-protected"_s);
        refuse("cut short", good.chopped(30), u"1:1: damaged ZIP archive (its directory"_s);
        refuse("bad CRC", QByteArray(good).replace("<v>1</v>", "<v>7</v>"),
               u"1:1: xl/worksheets/sheet1.xml: damaged ZIP entry (bad CRC)"_s);
        // A size header that lies cannot make an entry inflate past it unnoticed.
        const QByteArray big = zip(oneSheet(QByteArray("<row><c><v>1</v></c></row>").repeated(9)));
        refuse("over 1 GB",
               patched(patched(big, "PK\1\2", 24, 0x7FFFFFFF), "PK\3\4", 22, 0x7FFFFFFF),
               u"1:1: xl/workbook.xml: the part inflates to more than 1 GB"_s);
        refuse("size understated", patched(patched(big, "PK\1\2", 24, 90), "PK\3\4", 22, 90),
               u"1:1: xl/_rels/workbook.xml.rels: damaged ZIP entry (bad CRC)"_s);
        refuse("no workbook part", zip({{"xl/worksheets/sheet1.xml", sheetXml("")}}),
               u"1:1: not an .xlsx workbook: the archive has no part xl/workbook.xml"_s);
        refuse("no sheet part", zip(oneSheet("").mid(1)),
               u"1:1: sheet \"Data\": missing part xl/worksheets/sheet1.xml"_s);
        refuse("no such sheet", good,
               u"1:1: the workbook has no sheet \"Dat\" (its sheets: \"Data\")"_s, u"Dat"_s);
        refuse("damaged XML", zip(oneSheet("<row><c><v>1</c></row>")),
               u"2:37: "_s + sheet1 + u"not well-formed XML: mismatched tag"_s);
        refuse("damaged shared strings", zip(oneSheet("", "<si><t>a</si>")),
               u"1:16: xl/strings.xml: not well-formed XML: mismatched tag"_s);
        refuse(
            "shared string", zip(oneSheet(R"(<row><c t="s"><v>1</v></c></row>)", "<si/>")),
            u"2:45: "_s + sheet1 + u"cell A1: shared string \"1\" does not exist (there are 1)"_s);
        refuse("reference", zip(oneSheet(R"(<row><c r="a1"/></row>)")),
               u"2:28: "_s + sheet1 + u"cell reference \"a1\" is not valid"_s);
        refuse("columns", zip(oneSheet(R"(<row><c r="B1"/><c r="A1"/></row>)")),
               u"2:39: "_s + sheet1 + u"cell \"A1\" after column B: cells out of order"_s);
        refuse("rows", zip(oneSheet(R"(<row r="2"/><row r="2"/>)")),
               u"2:35: "_s + sheet1 + u"row 2 after row 2: rows out of order"_s);
        // Entities would let a few bytes grow into gigabytes, or read files outside the workbook.
        const auto raw = [](const QByteArray& part) {
            return zip(workbook({{"Data", "worksheets/sheet1.xml"}},
                                {{"xl/worksheets/sheet1.xml", part}}));
        };
        refuse("entity expansion",
               raw("<!DOCTYPE w [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;\">]><w>&b;</w>"),
               u"1:25: "_s + sheet1 + u"entity declaration \"a\" refused: entities are not read"_s);
        refuse(
            "external entity",
            raw("<!DOCTYPE w SYSTEM \"/etc/passwd\"><w><row><c t=\"str\"><v>&x;</v></c></row></w>"),
            u"1:56: "_s + sheet1 + u"entity \"x\" is not defined"_s);
        refuse(
            "encoding", raw("<?xml version=\"1.0\" encoding=\"EBCDIC\"?><w/>"),
            u"1:31: "_s + sheet1 +
                u"unknown encoding \"EBCDIC\": UTF-8, UTF-16, windows-1252 and ISO-8859-1 are read"_s);
        refuse("type", zip(oneSheet(R"(<row><c t="x"/></row>)")),
               u"2:28: "_s + sheet1 + u"cell type \"x\" is not known"_s);
    }
    void refusals() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, sheet);
        QFETCH(QString, expected);
        const QString path = write(bytes);
        try {
            const XlsxWorkbook book(path);
            XlsxSheet s = book.sheet(sheet);
            while (s.next()) {
            }
            QFAIL("not refused");
        } catch (const Fault& fault) {
            QVERIFY2(fault.diagnostic.toString().startsWith(path + u':' + expected),
                     qPrintable(fault.diagnostic.toString()));
        }
    }
};

QTEST_GUILESS_MAIN(TestXlsx)
#include "test_xlsx.moc"
