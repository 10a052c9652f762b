// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables as a user builds and reads them: each agency layout and encoding
// arrives cell for cell (markers, units, energy from kJ, unique names, --names), a faulty download
// is refused naming file and line with the output untouched, and the source record reaches
// velmora-mkdb's output, velmora-report and the About window; a required notice ends every output.
#include <QtTest>

#include <sys/resource.h>

#include <QScrollBar>
#include <QTextEdit>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "fixturedb.h"
#include "fooddb/datacontrol.h"
#include "fooddb/foodtableid.h"
#include "fooddb/opentable.h"
#include "help/aboutwindow.h"
#include "testcase.h"
#include "toolrun.h"
#include "tools/formats/xmlfilter.h"
#include "tools/formats/xmlrecords.h"
#include "tools/sources/nationaltable.h"

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// How an Anses release writes its files.
struct Layout {
    QString date;  // as in the file names
    bool cp1252 = false, crlf = false, bom = false, upper = false;
    bool bare = false;  // "<" and "&" in names unescaped, as the 2020 release
};
const Layout k2017{u"2017 11 21"_s, true, true, false, true, false};
const Layout k2020{u"2020_07_07"_s, true, true, false, false, true};
const Layout k2025{u"2025_11_03"_s, false, false, true, false, false};

// One record, its values padded with blanks and an empty one written as "missing".
QString record(const Layout& layout, const char* kind,
               const QList<std::pair<const char*, QString>>& fields) {
    const auto name = [&](const char* n) {
        return layout.upper ? QString::fromLatin1(n).toUpper() : QString::fromLatin1(n);
    };
    QString r = u"<%1>\n"_s.arg(name(kind));
    for (const auto& [field, value] : fields)
        r += value.isEmpty() ? u"<%1 missing=\" \" />\n"_s.arg(name(field))
                             : u"<%1> %2 </%1>\n"_s.arg(name(field), value);
    return r + u"</%1>\n"_s.arg(name(kind));
}

// The three files of a release in `layout`, by kind. Foods: a kcal beside kJ, kJ only, names
// missing or taken, entity references, one without amounts; constituents in each unit, one
// without a column, one whose unit is not given; every marker Ciqual writes, and an amount of a
// food the release lacks.
QMap<QString, QString> releaseTexts(const Layout& l) {
    const QString lt = l.bare ? u"<"_s : u"&lt;"_s, amp = l.bare ? u"&"_s : u"&amp;"_s;
    QMap<QString, QString> texts;
    for (const auto& [code, fr, en, group] : QList<std::array<QString, 4>>{
             {u"1000"_s, u"Pastis"_s, u"Pastis"_s, u"06"_s},
             {u"1001"_s, u"Panaché ("_s + lt + u"1° alcool)"_s,
              u"Shandy ("_s + lt + u"1° alcohol)"_s, u"06"_s},
             {u"1002"_s, u"Laitue "_s + amp + u" tomate"_s, u""_s, u"05"_s},
             {u"1003"_s, u"pastis"_s, u"PASTIS"_s, u"06"_s},
             {u"1004"_s, u"Eau &amp; sel"_s, u"Water &#38; salt"_s, u""_s},
             {u"1005"_s, u"Aliment sans teneur"_s, u"Food without amounts"_s, u"11"_s}})
        texts[u"alim"_s] += record(l, "ALIM",
                                   {{"alim_grp_code", group},
                                    {"alim_code", code},
                                    {"alim_nom_fr", fr},
                                    {"ALIM_NOM_INDEX_FR", fr},
                                    {"alim_nom_eng", en},
                                    {"alim_nom_sci", {}}});
    for (const auto& [code, name] :
         QList<std::pair<QString, QString>>{{u"327"_s, u"Energy (kJ/100g)"_s},
                                            {u"328"_s, u"Energy (kcal/100g)"_s},
                                            {u"25000"_s, u"Protein (g/100g)"_s},
                                            {u"10340"_s, u"Selenium (µg/100g)"_s},
                                            {u"10110"_s, u"Sodium (mg/100g)"_s},
                                            {u"10200"_s, u"Calcium (g/100g)"_s},
                                            {u"56700"_s, u"Folate (mg/100g)"_s},
                                            {u"56600"_s, u"Vitamin B12 (µg/100g)"_s},
                                            {u"32000"_s, u"Sugars (g/100g)"_s},
                                            {u"10120"_s, u"Magnesium"_s}})
        texts[u"const"_s] += record(l, "CONST",
                                    {{"const_code", code},
                                     {"const_nom_fr", name},
                                     {"const_nom_eng", name},
                                     {"code_INFOODS", u"X"_s}});
    for (const auto& [food, constituent, amount] :
         QList<std::array<QString, 3>>{{u"1000"_s, u"328"_s, u"274"_s},
                                       {u"1000"_s, u"327"_s, u"1144"_s},
                                       {u"1000"_s, u"25000"_s, u"traces"_s},
                                       {u"1000"_s, u"10340"_s, lt + u" 0,5"_s},
                                       {u"1000"_s, u"10110"_s, u"12,5"_s},
                                       {u"1000"_s, u"10200"_s, u"0,0012"_s},
                                       {u"1000"_s, u"56700"_s, u"0,07"_s},
                                       {u"1000"_s, u"56600"_s, u"(1,5)"_s},
                                       {u"1000"_s, u"32000"_s, u"3"_s},
                                       {u"1000"_s, u"10120"_s, u"5"_s},
                                       {u"1001"_s, u"327"_s, u"100"_s},
                                       {u"1001"_s, u"25000"_s, u"-"_s},
                                       {u"1001"_s, u"10110"_s, u""_s},
                                       {u"1002"_s, u"328"_s, u"-"_s},
                                       {u"1002"_s, u"327"_s, u"418,4"_s},
                                       {u"9999"_s, u"328"_s, u"1"_s}})
        texts[u"compo"_s] += record(l, "COMPO",
                                    {{"alim_code", food},
                                     {"const_code", constituent},
                                     {"teneur", amount},
                                     {"min", {}},
                                     {"code_confiance", u"D"_s}});
    return texts;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Writes the release in `layout` into `folder` (alim_DATE.xml, ...); the path of each kind.
QMap<QString, QString> writeRelease(const QString& folder, const Layout& l) {
    QDir().mkpath(folder);
    QMap<QString, QString> paths;
    const QMap<QString, QString> texts = releaseTexts(l);
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        QString text = u"<?xml version=\"1.0\" encoding=\"%1\"?>\n<TABLE>\n%2</TABLE>\n"_s.arg(
            l.cp1252 ? u"windows-1252"_s : u"UTF-8"_s, it.value());
        if (l.crlf) text.replace(u"\n"_s, u"\r\n"_s);
        // The fixtures hold nothing beyond Latin-1, which code page 1252 writes the same.
        const QByteArray bytes = l.cp1252 ? text.toLatin1() : "\xEF\xBB\xBF" + text.toUtf8();
        paths[it.key()] = folder + u'/' + it.key() + u'_' + l.date + u".xml"_s;
        writeFile(paths[it.key()], bytes);
    }
    return paths;
}

// A Canadian Nutrient File release in the 2026 layout (UTF-8 with a byte order mark, LF; the
// amount column by its other name) or the 2015 one (Latin-1, CR LF, a name over two lines, rows
// padded with empty columns, a nutrient whose ID is not its code). Foods: names equal but for case
// (é, the Kelvin sign), kJ only, one without amounts, one without an English name; measures of
// each type, in an order that is not the measures' own.
const QList<std::pair<const char*, const char*>> kCnf2026{
    {"Food_Name.csv",
     "Food_Code,Food_Description_EN,Food_Description_FR,Alternate_Description_EN,"
     "Alternate_Description_FR,Food_Source_Code,USDA_NDB_Code,CNF_Food_Group_Code,Comment_EN,"
     "Comment_FR,ScientificName,Food_Last_Updated_Date\n"
     "2,\"Cheese, blue\",\"Fromage, bleu\",,,1,1004,1,,,,2019-03-01\n"
     "3,Café au lait,Café au lait,,,1,,14,,,,2024-06-30\n"
     "4,CAFÉ AU LAIT,Café,,,1,,14,,,,1997-05-01\n"
     "5,\"Kale, raw\",\"Chou frisé, cru\",,,1,,11,,,,1997-05-01\n"
     "6,\"\u212Aale, RAW\",Chou,,,1,,11,,,,1997-05-01\n"
     "7,,Pain,,,1,,18,,,,1997-05-01\n"},
    {"Nutrient_Name.csv",
     "Nutrient_Code,Nutrient_Symbol,Nutrient_Unit,Nutrient_Name_EN,Nutrient_Name_FR,Tagname,"
     "Nutrient_Decimals\n"
     "208,KCAL,kilocalorie,ENERGY (KILOCALORIES),ÉNERGIE (KILOCALORIES),ENERC_KCAL,0\n"
     "268,KJ,kilojoule,ENERGY (KILOJOULES),ÉNERGIE (KILOJOULES),ENERC_KJ,0\n"
     "203,PROT,Gram,PROTEIN,PROTÉINES,PROCNT,2\n"
     "205,CHO,Gram,\"CARBOHYDRATE, TOTAL (BY DIFFERENCE)\",GLUCIDES,CHOCDF,2\n"
     "301,CA,Milligram,CALCIUM,CALCIUM,CA,0\n"
     "317,SE,Microgram,SELENIUM,SÉLÉNIUM,SE,1\n"
     "318,VITA,International Unit,VITAMIN A,VITAMINE A,VITA_IU,0\n"
     "320,RAE,Microgram,RETINOL ACTIVITY EQUIVALENTS,ÉAR,VITA_RAE,0\n"},
    {"Nutrient_Amount.csv",
     "Food_Code,Nutrient_Code,Nutrient_Value,Standard_Error,Number_of_Observations,"
     "Nutrient_Source_Code,Nutrient_Date_of_Entry\n"
     "2,208,353,,,1,2019-03-01\n2,203,21.4,0.3,12,1,2019-03-01\n2,205,2.34,,,1,2019-03-01\n"
     "2,301,528,,,1,2019-03-01\n2,317,14.5,,,1,2019-03-01\n2,318,721,,,1,2019-03-01\n"
     "2,320,198,,,1,2019-03-01\n3,268,209,,,1,2019-03-01\n4,208,40,,,1,2019-03-01\n"
     "99,208,1,,,1,2019-03-01\n"},
    {"Measure_Name.csv",
     "Measure_Code,Measure_Description_and_Unit_EN,Measure_Description_and_Unit_FR\n"
     "341,100 ml,100 ml\n1001,\"1 cup, crumbled\",\"250 ml, émietté\"\n1002,1 oz,1 oz\n"},
    {"Measure_Weight_Conversion.csv",
     "Food_Code,Measure_Type_Code,Measure_Code,Measure_Weight_Conversion,Date\n"
     "2,3,341,10,1997-05-01\n2,6,1001,135,1997-05-01\n2,9,341,90,1997-05-01\n"
     "2,6,1002,28.35,1997-05-01\n2,6,341,40.152,1997-05-01\n"}};
const QList<std::pair<const char*, const char*>> kCnf2015{
    {"FOOD NAME.csv",
     "FoodID,FoodCode,FoodGroupID,FoodSourceID,FoodDescription,FoodDescriptionF,"
     "FoodDateOfEntry,FoodDateOfPublication,CountryCode,ScientificName,,\n"
     "2,2,1,1,\"Cheese, blue\",\"Fromage, bleu\",1981-01-01,,1004,,,\n"
     "3,3,14,1,\"Café au lait,\nwith milk\",Café au lait,1981-01-01,,,,,\n"
     "4,4,14,1,\"Café, black\",Café,1981-01-01,,,,,\n"},
    {"NUTRIENT NAME.csv",
     "NutrientID,NutrientCode,NutrientSymbol,NutrientUnit,NutrientName,NutrientNameF,Tagname,"
     "NutrientDecimals\n"
     "208,208,KCAL,kCal,ENERGY (KILOCALORIES),ÉNERGIE,ENERC_KCAL,0\n"
     "268,268,KJ,kJ,ENERGY (KILOJOULES),ÉNERGIE,ENERC_KJ,0\n"
     "203,203,PROT,g,PROTEIN,PROTÉINES,PROCNT,2\n301,301,CA,mg,CALCIUM,CALCIUM,CA,0\n"
     "834,317,SE,µg,SELENIUM,SÉLÉNIUM,SE,1\n318,318,VITA,µg RAE,VITAMIN A,VITAMINE A,,0\n"
     "814,320,RAE,µg,RETINOL ACTIVITY EQUIVALENTS,ÉAR,VITA_RAE,0\n"},
    {"NUTRIENT AMOUNT.csv",
     "FoodID,NutrientID,NutrientValue,StandardError,NumberofObservations,NutrientSourceID,"
     "NutrientDateofEntry\n"
     "2,208,353,,,1,1981-01-01\n2,203,21.4,0.3,12,1,1981-01-01\n2,301,528,,,1,1981-01-01\n"
     "2,834,14.5,,,1,1981-01-01\n2,318,198,,,1,1981-01-01\n2,814,198,,,1,1981-01-01\n"
     "3,268,209,,,1,1981-01-01\n"},
    {"MEASURE NAME.csv",
     "MeasureID,MeasureDescription,MeasureDescriptionF\n"
     "341,100 ml,100 ml\n1001,\"1 cup, crumbled\",\"250 ml, émietté\"\n"},
    {"CONVERSION FACTOR.csv",
     "FoodID,MeasureID,ConversionFactorValue,ConvFactorDateOfEntry\n"
     "2,1001,1.35,1997-05-01\n2,341,0.40152,1997-05-01\n"}};

// Writes a Canadian Nutrient File release into `folder`; the path of each file by its name.
QMap<QString, QString> writeCnf(const QString& folder, bool layout2015) {
    QDir().mkpath(folder);
    QMap<QString, QString> paths;
    for (const auto& [name, content] : layout2015 ? kCnf2015 : kCnf2026) {
        QString text = QString::fromUtf8(content);
        if (layout2015) text.replace(u"\n"_s, u"\r\n"_s);
        paths[name] = folder + u'/' + QString::fromUtf8(name);
        writeFile(paths[name], layout2015 ? text.toLatin1() : "\xEF\xBB\xBF" + text.toUtf8());
    }
    return paths;
}

// A NEVO download: the header, then foods per 100 g and per 100 ml (the quantity written with and
// without a blank), a traces list naming a tagname, names in either language and a nutrient
// without a column, kJ only, a name taken in the other case, one without an English name.
QString nevoText() {
    const QStringList header =
        u"NEVO-versie/NEVO-version|Voedingsmiddelgroep|Food group|"
        "NEVO-code|Voedingsmiddelnaam/Dutch food name|Engelse naam/Food "
        "name|Synoniem|Hoeveelheid/Quantity|Opmerking|Bevat sporen "
        "van/Contains traces of|Is verrijkt met/Is fortified with|ENERCJ "
        "(kJ)|ENERCC (kcal)|PROT (g)|CHO (g)|SUGAR (g)|NA (mg)|SE (µg)|"
        "VITA_RAE (µg)|VITB12 (µg)"_s.split(u'|');
    QString text = header.join(u'|') + u'\n';
    for (QStringList row :
         {u"|Aardappelen|Potatoes|1|Aardappelen rauw|Potatoes raw||per 100g||||371|88|2|18,4|"
          "0,6|7|0,3|0|1,5"_s.split(u'|'),
          u"|Dranken|Beverages|2|Cola|Cola||per 100ml||SE, natrium; SUGAR, vitamine B12, "
          "suiker||176|42|0|10,4|10,4"_s.split(u'|'),
          u"|Dranken|Beverages|3|Café au lait|Coffee with milk||per 100 ml|||"
          "|100"_s.split(u'|'),
          u"|Dranken|Beverages|4|CAFÉ AU LAIT|||per 100g"_s.split(u'|')}) {
        row[0] = u"NEVO-Online 2023 8.0"_s;
        while (row.size() < header.size()) row << QString();
        text += row.join(u'|') + u'\n';
    }
    return text;
}

// The download `kind` names ("ciqual", "cnf26", "cnf15", "nevo") in `folder`: its files' paths.
QMap<QString, QString> writeDownload(const QString& folder, const QString& kind) {
    if (kind.startsWith(u"cnf")) return writeCnf(folder, kind == u"cnf15");
    if (kind == u"nevo") {
        QDir().mkpath(folder);
        writeFile(folder + u"/nevo.txt"_s, nevoText().toLatin1());  // as code page 1252 writes it
        return {{u"nevo.txt"_s, folder + u"/nevo.txt"_s}};
    }
    return writeRelease(folder, k2020);
}

}  // namespace

Q_DECLARE_METATYPE(Layout)

namespace {

// Counts the records <R> of a document, suspending the reading at the end of each.
class RecordCounter final : public mkdb::XmlHandler {
  public:
    int records = 0;

  private:
    void startElement(std::string_view, const mkdb::XmlAttributes&) override {}
    void endElement(std::string_view name) override {
        if (name != "R") return;
        ++records;
        parser().suspend();
    }
    void text(std::string_view) override {}
};

// A code page 1252 document of `count` records, one a line from line 3, with `at` replacing the
// text of the records in it.
QByteArray recordsXml(int count, const QMap<int, QByteArray>& at) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<T>\r\n";
    for (int r = 1; r <= count; ++r)
        xml += "<R><a>" + at.value(r, QByteArray::number(r)) + "</a></R>\r\n";
    return xml + "</T>";
}

}  // namespace

class TestNational : public TestCase {
    Q_OBJECT
    QTemporaryDir dir_;
    QStringList builds_;  // what velmora-mkdb printed for each layout

    QString path(const QString& name) const { return dir_.filePath(name); }

  private slots:
    // A fault far into a file names its place, after the records before it, the first in the
    // file first.
    void largeXml_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("fault");
        const auto row = [](const char* name, const QMap<int, QByteArray>& at, int records,
                            const QString& fault) {
            QTest::newRow(name) << recordsXml(200000, at) << records << fault;
        };
        row("whole", {{7, "M&M's <1"}}, 200000, {});
        row("XML", {{150000, "x</b>"}}, 149999,
            u"x.xml:150002:10: not well-formed XML: mismatched tag"_s);
        row("byte", {{150000, "x\x81"}}, 149999,
            u"x.xml:150002:8: byte 0x81 is not a code page 1252 character"_s);
        row("XML before byte", {{150000, "x</b>"}, {150001, "\x81"}}, 149999,
            u"x.xml:150002:10: not well-formed XML: mismatched tag"_s);
    }
    void largeXml() {
        QFETCH(QByteArray, xml);
        QFETCH(int, records);
        QFETCH(QString, fault);
        RecordCounter counter;
        QString thrown;
        try {
            mkdb::XmlInput in(xml, u"x.xml"_s, counter);
            while (in.advance()) {
            }
            QCOMPARE(in.repaired(), 2);
        } catch (const mkdb::Fault& f) {
            thrown = f.diagnostic.toString();
        }
        QCOMPARE(thrown, fault);
        QCOMPARE(counter.records, records);
    }

    // The records an XML file holds, each with its line, or the fault that ends the reading; a
    // document type declaration reads as if it were not there.
    void records_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("same");  // a file read alike, or none
        // Records ending lines as CR LF, LF, CR, or none.
        QByteArray mixed = "<?xml version=\"1.0\"?>\n<T>\r\n";
        for (int r = 1; r <= 3000; ++r)
            mixed += "<R><a>" + QByteArray::number(r) + "</a></R>" +
                     std::array<const char*, 4>{"\r\n", "\n", "\r", ""}[std::size_t(r % 4)];
        mixed += "</T>";
        QTest::newRow("line ends") << mixed << QString() << QByteArray();
        QTest::newRow("repaired") << recordsXml(3000, {{7, "M&M's <1"}, {2999, "a & b"}})
                                  << QString() << QByteArray();
        QTest::newRow("XML") << recordsXml(3000, {{2500, "x</b>"}})
                             << u"x.xml:2502:10: not well-formed XML: mismatched tag"_s
                             << QByteArray();
        QTest::newRow("byte") << recordsXml(3000, {{2500, "x\x81"}})
                              << u"x.xml:2502:8: byte 0x81 is not a code page 1252 character"_s
                              << QByteArray();
        QTest::newRow("root ends") << recordsXml(3000, {{1500, "1</a></R></T><T><R><a>"}})
                                   << u"x.xml:1502:20: not well-formed XML: junk after document "
                                      u"element"_s
                                   << QByteArray();
        // Brackets and ">" in a comment, a literal or an instruction of the internal subset.
        const QByteArray plain = recordsXml(30, {{7, "M&M's <1"}});
        for (const char* doctype :
             {"<!DOCTYPE T [ <!-- [ --> ]>", "<!DOCTYPE T [ <!ATTLIST R s CDATA \"[draft\"> ]>",
              "<!DOCTYPE T SYSTEM \"t]>.dtd\">", "<!DOCTYPE T [ <?pi ] > ?> <!ELEMENT T ANY> ]>"})
            QTest::newRow(doctype) << QByteArray(plain).replace("<T>", doctype + "\r\n<T>"_ba)
                                   << QString() << QByteArray(plain).replace("<T>", "\r\n<T>");
        const QByteArray utf8 = "\xEF\xBB\xBF<T>\n<R><a>\xC3\xA9\xF0\x9F\x8D\x8F</a></R>\n</T>";
        QTest::newRow("UTF-8") << utf8 << QString() << QByteArray();
        QTest::newRow("U+FFFE") << QByteArray(utf8).insert(13, "\xEF\xBF\xBE")
                                << u"x.xml:2:7: not well-formed XML: not well-formed (invalid "
                                   u"token)"_s
                                << QByteArray();
        for (const auto& [name, value, fault] :
             {std::tuple("attribute twice", "1</a><b x='1' x='2'/><a>",
                         u"x.xml:1502:21: not well-formed XML: duplicate attribute"_s),
              {"CDATA end", "]]>",
               u"x.xml:1502:9: not well-formed XML: not well-formed (invalid token)"_s},
              {"control", "\x01",
               u"x.xml:1502:7: not well-formed XML: not well-formed (invalid token)"_s},
              {"entity", "&nbsp;", u"x.xml:1502:7: not well-formed XML: undefined entity"_s},
              {"less in attribute", "1</a><b x='<'/><a>",
               u"x.xml:1502:18: not well-formed XML: not well-formed (invalid token)"_s}})
            QTest::newRow(name) << recordsXml(3000, {{1500, value}}) << fault << QByteArray();
        // What is no XML this reader takes, said so.
        QTest::newRow("UTF-16") << QByteArray("<\0?\0x\0m\0l\0", 10)
                                << u"x.xml:1:1: the file is UTF-16; only UTF-8 and code page 1252 "
                                   u"are read"_s
                                << QByteArray();
        for (const char* declaration : {"<?xml version=\"9.9\"?>", "<?xml encodin=\"UTF-8\"?>",
                                        "<?xml version=\"1.0\" standalone=\"maybe\"?>"})
            QTest::newRow(declaration)
                << declaration + "<T><R><a>1</a></R></T>"_ba
                << u"x.xml:1:1: not well-formed XML: XML declaration not well-formed"_s
                << QByteArray();
        QTest::newRow("empty") << QByteArray()
                               << u"x.xml:1:1: the file ends inside the XML document"_s
                               << QByteArray();
        QTest::newRow("root open")
            << recordsXml(3000, {}).chopped(4)
            << u"x.xml:3003:1: the file ends inside the XML document"_s << QByteArray();
    }
    void records() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, fault);
        QFETCH(QByteArray, same);
        // Each record's text and line, as one string; the fault, if any, last.
        const auto read = [](const QByteArray& bytes) {
            QString seen;
            try {
                mkdb::XmlRecords<1> in(bytes, u"x.xml"_s, "R", {"a"});
                while (in.next())
                    seen += fromUtf8(in[0]) + u'@' +
                            QString::number(in.fault(0, {}).diagnostic.line) + u' ';
            } catch (const mkdb::Fault& f) {
                seen += f.diagnostic.toString();
            }
            return seen;
        };
        const QString whole = read(xml);
        QVERIFY2(whole.endsWith(fault.isEmpty() ? u" "_s : fault), qPrintable(whole.right(80)));
        // CR LF, LF and a lone CR each end a line; record 3000 follows 2,999 of which 750 end none.
        if (QTest::currentDataTag() == "line ends"_L1)
            QVERIFY2(whole.endsWith(u"3000@2252 "_s), qPrintable(whole.right(40)));
        if (!same.isEmpty()) QCOMPARE(whole, read(same));
    }

    void initTestCase() {
        for (const auto& [name, layout] :
             {std::pair(u"c2017"_s, k2017), {u"c2020"_s, k2020}, {u"c2025"_s, k2025}}) {
            writeRelease(path(name), layout);
            const Run built =
                run(path({}), u"velmora-mkdb"_s, {u"--ciqual"_s, name, name + u".mdb"_s});
            QVERIFY2(built.status == 0, qPrintable(built.err));
            builds_ << built.out;
        }
        QCOMPARE(run(path({}), u"velmora-mkdb"_s,
                     {u"--names"_s, u"fr"_s, u"--ciqual"_s, u"c2020"_s, u"fr.mdb"_s})
                     .status,
                 0);
        for (const auto& [name, layout2015, names] : {std::tuple(u"cnf26"_s, false, u"en"_s),
                                                      {u"cnf15"_s, true, u"en"_s},
                                                      {u"cnf15fr"_s, true, u"fr"_s}}) {
            writeCnf(path(name), layout2015);
            const Run built = run(path({}), u"velmora-mkdb"_s,
                                  {u"--cnf"_s, name, name + u".mdb"_s, u"--names"_s, names});
            QVERIFY2(built.status == 0, qPrintable(built.err));
            builds_ << built.out;
        }
        writeDownload(path(u"n"_s), u"nevo"_s);
        writeFile(path(u"nevo-utf8.txt"_s), nevoText().toUtf8());
        for (const auto& [file, names] :
             {std::pair(u"n/nevo.txt"_s, u"nl"_s), {u"nevo-utf8.txt"_s, u"en"_s}}) {
            const Run built =
                run(path({}), u"velmora-mkdb"_s,
                    {u"--nevo"_s, file, u"nevo-"_s + names + u".mdb"_s, u"--names"_s, names});
            QVERIFY2(built.status == 0, qPrintable(built.err));
            builds_ << built.out;
        }
    }

    // The shared reading of amount cells, as every agency writes them.
    void markedAmounts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decimalComma");
        QTest::addColumn<int>("marker");  // -1: refused
        QTest::addColumn<double>("value");
        using M = mkdb::Marker;
        const auto row = [](const char* text, bool comma, int marker, double value = 0) {
            QTest::addRow("%s%s", text, comma ? " (comma)" : "")
                << QString::fromUtf8(text) << comma << marker << value;
        };
        for (const char* text : {"", " ", "-", "N"}) row(text, false, int(M::NotMeasured));
        for (const char* text : {"traces", "Tr", "TR"}) row(text, true, int(M::Trace));
        for (const char* text : {"< 0,5", "<LOD", "<LOQ", "<LOD or <LOQ"})
            row(text, true, int(M::BelowLimit));
        row("(1.2)", false, int(M::Estimate), 1.2);
        row("(1,2)", true, int(M::Estimate), 1.2);
        row(" 12,5 ", true, int(M::Value), 12.5);
        row("-0.43", false, int(M::Value), -0.43);
        row("1e15", false, int(M::Value), 1e15);
        for (const char* text : {"12,5", "1e16", "1 000", "<", "n/a", "()", "1,2,3", "1.5"})
            row(text, text[1] == ',' || text[1] == '.', -1);
    }
    void markedAmounts() {
        QFETCH(QString, text);
        QFETCH(bool, decimalComma);
        QFETCH(int, marker);
        QFETCH(double, value);
        QString problem;
        const QByteArray utf8 = text.toUtf8();
        const auto amount = mkdb::readMarkedAmount(std::string_view(utf8.constData(), utf8.size()),
                                                   decimalComma ? ',' : '.', problem);
        QCOMPARE(amount ? int(amount->marker) : -1, marker);
        if (amount) QCOMPARE(amount->value, value);
        QCOMPARE(problem.isEmpty(), bool(amount));
    }

    void units() {
        using U = mkdb::Unit;
        for (const auto& [text, unit] :
             QList<std::pair<QString, U>>{{u"Gram"_s, U::Gram},
                                          {u" mg "_s, U::Milligram},
                                          {u"µg"_s, U::Microgram},
                                          {u"μg"_s, U::Microgram},
                                          {u"mcg"_s, U::Microgram},
                                          {u"kCal"_s, U::Kilocalorie},
                                          {u"kilojoule"_s, U::Kilojoule},
                                          {u"International Unit"_s, U::InternationalUnit},
                                          {u"µg RAE"_s, U::Unknown},
                                          {u"ml"_s, U::Unknown}})
            QVERIFY2(mkdb::unitNamed(text) == unit, qPrintable(text));
    }

    // Each layout gives the same table; --names fr the French names.
    void layouts_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("cells");
        const QList<std::pair<const char*, const char*>> foods{
            {"1000",
             "Description='Pastis' ENERG_KCAL=274.0 PROTEIN=0.0 SELENIUM=0.0 SODIUM=12.5 "
             "MAGNESIUM=NULL CALCIUM=1.2 FOLATE=70.0 VIT_B12=1.5 CODE='06' GMWT_1=NULL "
             "REFUSE_PCT=NULL"},
            {"1001", "Description='Shandy (<1° alcohol)' ENERG_KCAL=24.0 PROTEIN=NULL SODIUM=NULL"},
            {"1002", "Description='Laitue & tomate' ENERG_KCAL=100.0 CODE='05'"},
            {"1003", "Description='PASTIS [1003]'"},
            {"1004", "Description='Water & salt' CODE=NULL"},
            {"1005", "Description='Food without amounts' ENERG_KCAL=NULL WATER=NULL"}};
        for (const char* table : {"c2017.mdb", "c2020.mdb", "c2025.mdb"})
            for (const auto& [code, cells] : foods)
                QTest::addRow("%s %s", table, code) << table << code << cells;
        for (const auto& [code, cells] : QList<std::pair<const char*, const char*>>{
                 {"1000", "Description='Pastis'"},
                 {"1001", "Description='Panaché (<1° alcool)'"},
                 {"1003", "Description='pastis [1003]'"}})
            QTest::addRow("fr %s", code) << "fr.mdb" << code << cells;
        for (const auto& [table, code, cells] : QList<std::array<const char*, 3>>{
                 {"cnf26", "2",
                  "Description='Cheese, blue' ENERG_KCAL=353.0 PROTEIN=21.4 CARBOHYDRT=2.34 "
                  "CALCIUM=528.0 SELENIUM=14.5 VIT_A=721.0 CODE='1' GMWT_1=135.0 "
                  "GMWT_DESC1='1 cup, crumbled' GMWT_2=28.35 GMWT_DESC2='1 oz' REFUSE_PCT=NULL"},
                 {"cnf26", "3", "Description='Café au lait' ENERG_KCAL=50.0 CODE='14'"},
                 {"cnf26", "4", "Description='CAFÉ AU LAIT [4]' ENERG_KCAL=40.0"},
                 {"cnf26", "6", "Description='\u212Aale, RAW [6]' GMWT_1=NULL"},
                 {"cnf26", "7", "Description='Pain' ENERG_KCAL=NULL WATER=NULL CODE='18'"},
                 {"cnf15", "2",
                  "Description='Cheese, blue' ENERG_KCAL=353.0 SELENIUM=14.5 VIT_A=NULL "
                  "GMWT_1=135.0 GMWT_DESC1='1 cup, crumbled' GMWT_2=40.152 GMWT_DESC2='100 ml'"},
                 {"cnf15", "3", "Description='Café au lait, with milk' ENERG_KCAL=50.0"},
                 {"cnf15fr", "2", "Description='Fromage, bleu' GMWT_DESC1='250 ml, émietté'"},
                 {"cnf15fr", "4", "Description='Café'"},
                 {"nevo-nl", "1",
                  "Description='Aardappelen rauw' CODE='Aardappelen' ENERG_KCAL=88.0 "
                  "PROTEIN=2.0 CARBOHYDRT=18.4 SODIUM=7.0 SELENIUM=0.3 VIT_A=NULL VIT_B12=1.5"},
                 {"nevo-nl", "2",
                  "Description='Cola' ENERG_KCAL=42.0 SODIUM=0.0 SELENIUM=0.0 VIT_B12=0.0 "
                  "PROTEIN=0.0 TOT_LIPID=NULL"},
                 {"nevo-nl", "4", "Description='CAFÉ AU LAIT [4]' ENERG_KCAL=NULL"},
                 {"nevo-en", "1", "Description='Potatoes raw' CODE='Potatoes'"},
                 {"nevo-en", "3", "Description='Coffee with milk' ENERG_KCAL=24.0"},
                 {"nevo-en", "4", "Description='CAFÉ AU LAIT'"}})
            QTest::addRow("%s %s", table, code) << table + u".mdb"_s << code << cells;
    }
    void layouts() {
        QFETCH(QString, table);
        QFETCH(QString, code);
        QFETCH(QString, cells);
        QCOMPARE(cellsOf(path(table), code, cells), cells);
    }

    // A release of FIFOs, which cannot be read twice: expat reads the names with bare "&" and "<"
    // from the start, not after the plain reader, and the build is the regular files' build.
    void fifoRelease() {
        const QMap<QString, QString> files = writeRelease(path(u"fifo"_s), k2020);
        std::signal(SIGPIPE, SIG_IGN);  // a writer whose reader went away fails instead
        std::vector<std::thread> writers;
        for (const QString& file : files) {
            QFile in(file);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            in.remove();
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            writers.emplace_back([file, bytes] {
                const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY);
                for (qsizetype at = 0; fd >= 0 && at < bytes.size();) {
                    const ssize_t n =
                        ::write(fd, bytes.data() + at, std::size_t(bytes.size() - at));
                    if (n <= 0) break;
                    at += n;
                }
                if (fd >= 0) ::close(fd);
            });
        }
        const Run built =
            run(path({}), u"velmora-mkdb"_s, {u"--ciqual"_s, u"fifo"_s, u"fifo.mdb"_s});
        // A writer whose FIFO was not read is let go.
        for (const QString& file : files) {
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        for (std::thread& writer : writers) writer.join();
        QCOMPARE(built.err, QString());
        QCOMPARE(built.out, QString(builds_.value(1)).replace(u"c2020"_s, u"fifo"_s));
    }

    // The counts line, then the source record.
    void counts() {
        QCOMPARE(builds_.value(1).split(u"; "_s),
                 u"c2020.mdb: 6 foods; 1 trace and 1 amount below a limit stored as 0; kcal "
                 "from kJ for 2 foods; 1 description made unique; 1 nutrient without a column "
                 "skipped; 1 food without a name in \"en\" named in the other language; not "
                 "measured: 10120 in a unit their column cannot take; 5 bare \"<\" or \"&\" in "
                 "c2020/alim_2020_07_07.xml read as characters; 1 amount of foods not in "
                 "c2020/alim_2020_07_07.xml skipped; 1 bare \"<\" or \"&\" in "
                 "c2020/compo_2020_07_07.xml read as characters\n"
                 "Source: Ciqual French food composition table\n"
                 "Version: 2020-07-07\n"
                 "Citation: Anses. 2020-07-07. Ciqual French food composition table\n"
                 "Energy: kcal as published; for 2 foods with kJ only, kJ / 4.184 rounded to a "
                 "whole kcal\n"
                 "Carbohydrate: available carbohydrate (Ciqual 31000, Glucides), as published\n"
                 "Traces: 1 amount, stored as 0\n"
                 "Below a limit: 1 amount, stored as 0\n"
                 "Required notice: no\n"_s.split(u"; "_s));
        for (const QString& version : {u"2017-11-21"_s, u"2025-11-03"_s})
            QVERIFY(builds_.join(u"").contains(u"\nVersion: "_s + version + u'\n'));
        QVERIFY(!builds_.value(2).contains(u"read as characters"));
        // Every table carries Velmora's mark and names its source for the caption.
        const QString mark = QString::number(kFoodTableApplicationId) + u' ';
        for (const auto& [table, name] : {std::pair(u"c2017.mdb"_s, u"Ciqual"_s),
                                          {u"cnf15.mdb"_s, u"CNF"_s},
                                          {u"nevo-nl.mdb"_s, u"NEVO"_s}})
            QCOMPARE(tableMark(path(table)), mark + name);
        QCOMPARE(builds_.value(3).section(u'\n', 0, 2),
                 u"cnf26.mdb: 6 foods; 0 traces and 0 amounts below a limit stored as 0; kcal "
                 "from kJ for 1 food; 2 descriptions made unique; 1 nutrient without a column "
                 "skipped; 1 food without a name in \"en\" named in the other language; 1 "
                 "amount of foods or nutrients not listed skipped (cnf26/Nutrient_Amount.csv)\n"
                 "Source: Canadian Nutrient File (CNF)\n"
                 "Version: 2024"_s);
        QVERIFY(builds_.value(3).contains(u"\nCarbohydrate: carbohydrate by difference"_s));
        QVERIFY(
            builds_.value(4).contains(u"; not measured: 318 in a unit their column cannot "
                                      "take\nSource: Canadian Nutrient File (CNF)\n"
                                      "Version: 2015\n"
                                      "Citation: Canadian Nutrient File (CNF), Health "
                                      "Canada, 2015\n"_s));
    }

    // A download at fault, and a wrong command line: refused, naming file and line; the output
    // and the folder as they were.
    void refusals_data() {
        QTest::addColumn<QString>("download");  // as writeDownload writes it
        QTest::addColumn<QString>("kind");      // the file changed: alim, const, compo; its name
        QTest::addColumn<QByteArray>("from");  // replaced (first only) by `to`; "" removes the file
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const auto bad = [](const char* name, const char* kind, const QByteArray& from,
                            const QByteArray& to, const char* err) {
            QTest::newRow(name) << u"ciqual"_s << QString(kind) << from << to
                                << u"--ciqual|c|o.mdb"_s << 1
                                << u"c/%1_2020_07_07.xml:"_s.arg(QLatin1StringView(kind)) + err;
        };
        bad("tag mismatch", "alim", "</alim_nom_fr>", "</alim_nom_frx>",
            "6:24: not well-formed XML: mismatched tag");
        bad("undefined entity", "alim", "&amp; sel", "&ampx; sel",
            "38:19: not well-formed XML: undefined entity");
        bad("bare < in a tag", "alim", "<alim_code> 1000", "<alim_code <x> 1000",
            "5:12: not well-formed XML:");
        bad("unknown encoding", "const", "windows-1252", "EBCDIC",
            "1:21: unknown encoding \"EBCDIC\"");
        bad("UTF-16", "const", "<?xml", "\xFF\xFE<?xml", "1:1: the file is UTF-16");
        bad("not UTF-8", "alim", "windows-1252", "UTF-8", "14:21: invalid UTF-8 (byte 0xE9)");
        bad("undefined byte", "alim", "Pastis", "Pas\x81tis", "6:18: byte 0x81 is not a code page");
        bad("cut short", "compo", "</TABLE>", "", "116:1: the file ends inside the XML document");
        bad("teneur", "compo", "12,5", "12,5x", "34:1: teneur: \"12,5x\" is not a number");
        bad("beyond 10^15", "compo", "12,5", "2e15",
            "34:1: teneur: \"2e15\" is out of range (beyond ±10^15)");
        bad("food twice", "alim", "1003", "1000", "29:1: food 1000 listed twice");
        bad("no code", "alim", "<alim_code> 1005 </alim_code>", "<alim_code/>",
            "45:1: <ALIM> without <alim_code>");
        bad("no name", "alim", "Laitue & tomate </alim_nom_fr>", "</alim_nom_fr>",
            "22:1: food 1002 has no name");
        bad("amount twice", "compo", "<const_code> 327", "<const_code> 328",
            "12:1: food 1000: constituent 328 given twice");
        QTest::newRow("missing const")
            << u"ciqual"_s << u"const"_s << QByteArray() << QByteArray() << u"--ciqual|c|o.mdb"_s
            << 1 << u"c/const_*.xml:1:1: cannot read: no such file"_s;
        QTest::newRow("two releases")
            << u"ciqual"_s << u"alim"_s << QByteArray() << QByteArray("alim_2019.xml")
            << u"--ciqual|c|o.mdb"_s << 1 << u"c/alim_2020_07_07.xml:1:1: a second alim_ file"_s;
        QTest::newRow("no folder")
            << u"ciqual"_s << QString() << QByteArray() << QByteArray() << u"--ciqual|none|o.mdb"_s
            << 1 << u"none:1:1: cannot read: No such file or directory"_s;
        QTest::newRow("--names de")
            << u"ciqual"_s << QString() << QByteArray() << QByteArray()
            << u"--ciqual|c|o.mdb|--names|de"_s << 2
            << u"velmora-mkdb: --names is en|fr with --ciqual, not \"de\""_s;
        QTest::newRow("--names alone")
            << u"ciqual"_s << QString() << QByteArray() << QByteArray()
            << u"in.csv|o.mdb|--names|fr"_s << 2
            << u"velmora-mkdb: --names goes with a national table only"_s;
        const auto cnf = [](const char* name, const char* download, const char* file,
                            const QByteArray& from, const QByteArray& to, const char* err) {
            QTest::newRow(name) << QString(download) << QString(file) << from << to
                                << u"--cnf|c|o.mdb"_s << 1 << u"c/"_s + QString::fromUtf8(err);
        };
        cnf("cnf no foods", "cnf26", "Food_Name.csv", {}, {},
            "Food_Name.csv:1:1: cannot read: no such file in the folder (nor \"FOOD NAME.csv\")");
        cnf("cnf no measures", "cnf15", "MEASURE NAME.csv", {}, {},
            "MEASURE NAME.csv:1:1: cannot read: no such file in the folder");
        cnf("cnf no amount column", "cnf26", "Nutrient_Amount.csv", "Nutrient_Value", "Value",
            "Nutrient_Amount.csv:1:112: the header has no column \"Nutrient_Amount\" or "
            "\"Nutrient_Value\"");
        cnf("cnf fields", "cnf26", "Nutrient_Amount.csv", "2,203,21.4,0.3,12,1,", "2,203,21.4,",
            "Nutrient_Amount.csv:3:22: row has 4 fields, expected 7");
        cnf("cnf number", "cnf26", "Nutrient_Amount.csv", "21.4", "21.4x",
            "Nutrient_Amount.csv:3:7: Nutrient_Value: \"21.4x\" is not a number");
        cnf("cnf not UTF-8", "cnf26", "Food_Name.csv", "Pain", "P\xE2in",
            "Food_Name.csv:7:5: invalid UTF-8 (byte 0xE2)");
        cnf("cnf15 fields", "cnf15", "CONVERSION FACTOR.csv", ",0.40152,", ",0.40152",
            "CONVERSION FACTOR.csv:3:24: row has 3 fields, expected 4");
        cnf("cnf15 food twice", "cnf15", "FOOD NAME.csv", "4,4,14", "2,4,14",
            "FOOD NAME.csv:5:1: food \"2\" listed twice");
        const auto nevo = [](const char* name, const QByteArray& from, const QByteArray& to,
                             const char* err) {
            QTest::newRow(name) << u"nevo"_s << u"nevo.txt"_s << from << to
                                << u"--nevo|c/nevo.txt|o.mdb"_s << 1
                                << u"c/nevo.txt:"_s + QString::fromUtf8(err);
        };
        nevo("nevo number", "18,4", "18.4", "2:97: CHO (g): \"18.4\" is not a number");
        nevo("nevo fields", "|per 100g||||371", "|per 100g|||371",
             "2:116: row has 19 fields, expected 20");
        nevo("nevo column", "Hoeveelheid/", "",
             "1:317: the header has no column \"Hoeveelheid/Quantity\"");
        nevo("nevo encoding", "Cola|Cola", "Cola|Co\x81la",
             "3:49: byte 0x81 is not a code page 1252 character");
        nevo("nevo quantity", "per 100g||||371", "per stuk||||371",
             "2:76: Hoeveelheid/Quantity: \"per stuk\" is neither \"per 100g\" nor \"per 100ml\"");
        nevo("nevo food twice", "|4|", "|1|", "5:40: food \"1\" listed twice");
        nevo("nevo no file", {}, {}, "1:1: cannot read: No such file or directory");
        QTest::newRow("--names nl") << u"cnf26"_s << QString() << QByteArray() << QByteArray()
                                    << u"--cnf|c|o.mdb|--names|nl"_s << 2
                                    << u"velmora-mkdb: --names is en|fr with --cnf, not \"nl\""_s;
    }
    void refusals() {
        QFETCH(QString, download);
        QFETCH(QString, kind);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QTemporaryDir temp;
        const QMap<QString, QString> files = writeDownload(temp.filePath(u"c"_s), download);
        writeFile(temp.filePath(u"o.mdb"_s), "previous");
        if (!kind.isEmpty()) {
            QFile file(files[kind]);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            if (from.isEmpty() && !to.isEmpty()) {
                QVERIFY(file.copy(temp.filePath(u"c/"_s + to)));
            } else if (from.isEmpty()) {
                QVERIFY(file.remove());
            } else {
                const qsizetype at = bytes.indexOf(from);
                QVERIFY(at >= 0);
                file.resize(0);
                file.write(bytes.replace(at, from.size(), to));
            }
        }
        const QStringList before = QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden);
        const Run refused = run(temp.path(), u"velmora-mkdb"_s, args.split(u'|'));
        QCOMPARE(refused.status, status);
        QVERIFY2(refused.err.startsWith(err), qPrintable(refused.err));
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
        QFile out(temp.filePath(u"o.mdb"_s));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("previous"));
    }

    // Downloads changed in a few places (file, what, what for: tabs apart): what velmora-mkdb says
    // of each, on standard output when it builds, on standard error when it refuses.
    void changedDownloads_data() {
        QTest::addColumn<QString>("download");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const char* download, const QStringList& changes,
                            const QString& said) {
            QTest::newRow(name) << QString(download) << changes << said;
        };
        // An amount within the bound as published, beyond it in the column's unit.
        row("ciqual beyond once in mg", "ciqual",
            {u"const\tSodium (mg\tSodium (g"_s, u"compo\t12,5\t9e14"_s},
            u"c/compo_2020_07_07.xml:34:1: teneur: \"9e14\" is out of range once in mg (beyond "
            "±10^15)"_s);
        row("cnf beyond once in mg", "cnf26",
            {u"Nutrient_Name.csv\t301,CA,Milligram\t301,CA,Gram"_s,
             u"Nutrient_Amount.csv\t2,301,528\t2,301,9e14"_s},
            u"Nutrient_Value: \"9e14\" is out of range once in mg"_s);
        row("nevo beyond once in mg", "nevo",
            {u"nevo.txt\tNA (mg)\tNA (g)"_s, u"nevo.txt\t|0,6|7|\t|0,6|9e14|"_s},
            u"NA (g): \"9e14\" is out of range once in mg (beyond ±10^15)"_s);
        // A nutrient listed as traces: 0 or nothing is a trace; an amount is kept, and said.
        row("nevo traces", "nevo", {u"nevo.txt\tSE, natrium;\tSE, natrium, PROT, CHO;"_s},
            u"4 traces and 0 amounts below a limit stored as 0;"_s);
        row("nevo tagname in lower case", "nevo", {u"nevo.txt\tPROT (g)\tprot (g)"_s},
            u"nevo.mdb: 4 foods; "_s);
        row("nevo column twice", "nevo", {u"nevo.txt\tSUGAR (g)\tPROT (g)"_s}, u"c/nevo.txt:1:"_s);
        // A date the 2026 layout's version is read from; a cell that is no date says nothing.
        row("cnf version", "cnf26", {u"Food_Name.csv\t2024-06-30\t<img src=x>"_s},
            u"\nVersion: 2019\n"_s);
    }
    void changedDownloads() {
        QFETCH(QString, download);
        QFETCH(QStringList, changes);
        QFETCH(QString, said);
        QTemporaryDir temp;
        const QMap<QString, QString> files = writeDownload(temp.filePath(u"c"_s), download);
        for (const QString& change : changes) {
            const QStringList parts = change.split(u'\t');
            QFile file(files.value(parts[0]));
            QVERIFY2(file.open(QIODevice::ReadWrite), qPrintable(parts[0]));
            QByteArray bytes = file.readAll();
            QVERIFY2(bytes.contains(parts[1].toUtf8()), qPrintable(parts[1]));
            bytes.replace(parts[1].toUtf8(), parts[2].toUtf8());
            file.resize(0);
            file.write(bytes);
        }
        const QString option = download.startsWith(u"cnf") ? u"cnf"_s : download;
        const QString input = download == u"nevo" ? u"c/nevo.txt"_s : u"c"_s;
        const Run r =
            run(temp.path(), u"velmora-mkdb"_s, {u"--"_s + option, input, option + u".mdb"_s});
        QVERIFY2((r.status == 0 ? r.out : r.err).contains(said), qPrintable(r.out + r.err));
        if (QTest::currentDataTag() == "nevo traces"_L1)
            QVERIFY2(r.out.contains(u"; 1 amount of a nutrient listed as traces kept as "
                                    "published;"_s),
                     qPrintable(r.out));
        if (QTest::currentDataTag() == "nevo column twice"_L1)
            QVERIFY2(r.err.contains(u"the column of PROT given twice"_s), qPrintable(r.err));
        if (QTest::currentDataTag() == "nevo tagname in lower case"_L1)
            QCOMPARE(cellsOf(temp.filePath(u"nevo.mdb"_s), u"1"_s, u"PROTEIN=2.0"_s),
                     u"PROTEIN=2.0"_s);
    }

    // What a release costs grows with what it holds, not with its foods times its constituents:
    // 20,000 foods and 5,000 constituents with one amount build in little memory.
    void manyFoodsFewAmounts() {
        QTemporaryDir temp;
        QDir().mkpath(temp.filePath(u"c"_s));
        QByteArray alim = "<TABLE>", constituents = "<TABLE>";
        for (int f = 0; f < 20000; ++f)
            alim += "<ALIM><alim_code>" + QByteArray::number(f) + "</alim_code><alim_nom_fr>F" +
                    QByteArray::number(f) + "</alim_nom_fr></ALIM>\n";
        for (int c = 0; c < 5000; ++c)
            constituents += "<CONST><const_code>" + QByteArray::number(c) +
                            "</const_code><const_nom_fr>C (g/100 g)</const_nom_fr></CONST>\n";
        writeFile(temp.filePath(u"c/alim_1.xml"_s), alim + "</TABLE>");
        writeFile(temp.filePath(u"c/const_1.xml"_s), constituents + "</TABLE>");
        writeFile(temp.filePath(u"c/compo_1.xml"_s),
                  "<TABLE><COMPO><alim_code>7</alim_code><const_code>4999</const_code><teneur>1"
                  "</teneur></COMPO></TABLE>");
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the sanitizers' own memory is counted against the limit");
#endif
        // Run under a limit of its data memory: a table of every food's every constituent (100
        // million cells) cannot be made in it. A limit, not a measured peak: a child's peak
        // counts the test's own pages it was forked from.
        QProcess p;
        p.setWorkingDirectory(temp.path());
        p.setChildProcessModifier([] {
            const rlimit limit{200 << 20, 200 << 20};
            setrlimit(RLIMIT_DATA, &limit);
        });
        p.start(qEnvironmentVariable("VELMORA_TEST_BIN") + u"/velmora-mkdb"_s,
                {u"--ciqual"_s, u"c"_s, u"o.mdb"_s});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                 p.readAllStandardError().constData());
    }

    // velmora-report: --source, the JSON forms, and a required notice at the end of every output.
    void sourceRecord() {
        const QString table = path(u"c2020.mdb"_s), notice = path(u"nevo-nl.mdb"_s);
        const auto report = [&](const QString& database, const QString& args) {
            return run(path({}), u"velmora-report"_s,
                       QStringList{u"--database"_s, database} + args.split(u'|'))
                .out;
        };
        QCOMPARE(report(table, u"--source"_s), builds_.value(1).section(u'\n', 1));
        // The shipped table's record is its CSV file's; a table built before records were
        // written for every source has none.
        QVERIFY(run(path({}), u"velmora-report"_s, {u"--source"_s})
                    .out.startsWith(u"Source: foods.csv\nEnergy: as given in the file\n"_s));
        QCOMPARE(writeFixtureDb(path(u"plain.mdb"_s), {{u"Pear"_s}}), QString());
        QCOMPARE(report(path(u"plain.mdb"_s), u"--source"_s), u"no source record\n"_s);
        const QJsonObject json =
            QJsonDocument::fromJson(report(table, u"--json|1000"_s).toUtf8()).object();
        QCOMPARE(json[u"description"_s].toString(), u"Pastis"_s);
        QCOMPARE(json[u"source"_s][u"version"_s].toString(), u"2020-07-07"_s);
        QCOMPARE(json[u"source"_s][u"traces"_s].toInt(), 1);
        QVERIFY(!json.contains(u"notice"_s));
        QVERIFY(!report(table, u"1000"_s).contains(u"Anses"_s));

        const QString terms = u"Based on data from NEVO online version 2023 8.0, RIVM, Bilthoven"_s;
        for (const QString& args : {u"1"_s, u"--search|a"_s, u"--source"_s, u"--rank|sodium"_s})
            QVERIFY2(report(notice, args).endsWith(u"\n"_s + terms + u"\n"_s), qPrintable(args));
        // CSV stays rectangular: the notice is the last field of every record, quoted as it holds
        // commas.
        for (const QString& args : {u"--csv|--compare|1|2"_s, u"--csv|--source"_s}) {
            const QStringList records = report(notice, args).split(u"\r\n"_s);
            QCOMPARE(records.last(), QString());
            QVERIFY2(records.first().endsWith(u",notice"_s), qPrintable(records.first()));
            for (const QString& record : records.sliced(1, records.size() - 2))
                QVERIFY2(record.endsWith(u",\""_s + terms + u'"'), qPrintable(record));
        }
        const QJsonObject list =
            QJsonDocument::fromJson(report(notice, u"--json|--search|café au lait"_s).toUtf8())
                .object();
        QCOMPARE(list[u"foods"_s].toArray().size(), 2);
        QCOMPARE(list[u"notice"_s].toString(), terms);
        QCOMPARE(list[u"source"_s][u"notice_required"_s].toBool(), true);
    }

    // Own foods and a recipe onto a national table built before: its source record goes along,
    // its notes saying what was added; from the download itself, the counts line keeps the
    // source's own counts after the total.
    void ownFoodsOntoTheTable() {
        writeFile(path(u"mine.csv"_s), "Description,ENERG_KCAL\nMy stamppot,120\n");
        writeFile(path(u"mine.txt"_s), "[Stamppot twice]\nMy stamppot @ 200 g\nU1 @ 200 g\n");
        const int foods = builds_.value(6).section(u' ', 1, 1).toInt();
        QVERIFY2(foods > 0, qPrintable(builds_.value(6)));
        const Run onto = run(path({}), u"velmora-mkdb"_s,
                             {u"nevo-nl.mdb"_s, u"--add"_s, u"mine.csv"_s, u"--recipes"_s,
                              u"mine.txt"_s, u"mine.mdb"_s});
        QVERIFY2(onto.status == 0, qPrintable(onto.err));
        QCOMPARE(
            onto.out.section(u'\n', 0, 0),
            u"mine.mdb: %1 foods (%2 from nevo-nl.mdb, 1 added, 1 recipe)"_s.arg(foods + 2).arg(
                foods));
        QVERIFY2(onto.out.contains(u"\nNotes: Added by velmora-mkdb: 1 own food from mine.csv, 1 "
                                   "recipe from mine.txt.\nRequired notice: yes"_s),
                 qPrintable(onto.out));
        const Run source = run(path({}), u"velmora-report"_s,
                               {u"--database"_s, path(u"mine.mdb"_s), u"--source"_s});
        QVERIFY2(source.out.startsWith(onto.out.section(u'\n', 1)), qPrintable(source.out));
        QCOMPARE(cellsOf(path(u"mine.mdb"_s), u"R1"_s, u"Description= ENERG_KCAL="_s),
                 u"Description='Stamppot twice' ENERG_KCAL=120.0"_s);
        const Run direct = run(path({}), u"velmora-mkdb"_s,
                               {u"--nevo"_s, u"n/nevo.txt"_s, u"--names"_s, u"nl"_s, u"--add"_s,
                                u"mine.csv"_s, u"direct.mdb"_s});
        QCOMPARE(
            direct.out.section(u'\n', 0, 0),
            u"direct.mdb: %1 foods (%2 from nevo.txt, 1 added); nevo.txt: "_s.arg(foods + 1).arg(
                foods) +
                builds_.value(6).section(u'\n', 0, 0).section(u": "_s, 1));
    }

    // A table built from a national food table gives its country's percents and says so, unless
    // --daily-values names another rule.
    void dailyValuesOfTheTable() {
        const auto report = [&](const QString& table, const QString& args) {
            return run(path({}), u"velmora-report"_s,
                       QStringList{u"--database"_s, path(table)} + args.split(u'|'))
                .out;
        };
        const auto rule = [&](const QString& table, const QString& args) {
            return QJsonDocument::fromJson(report(table, u"--json|"_s + args).toUtf8())
                .object()
                .value(u"daily_values"_s)
                .toString(u"none"_s);
        };
        QCOMPARE(rule(u"c2020.mdb"_s, u"1000"_s), u"eu"_s);
        QCOMPARE(rule(u"nevo-nl.mdb"_s, u"1"_s), u"eu"_s);
        QCOMPARE(rule(u"cnf26.mdb"_s, u"2"_s), u"ca"_s);
        QCOMPARE(rule(u"c2020.mdb"_s, u"--daily-values|1993|1000"_s), u"none"_s);
        QCOMPARE(rule(u"cnf26.mdb"_s, u"--daily-values|anz|2"_s), u"anz"_s);
        QVERIFY(report(u"c2020.mdb"_s, u"--dv|1000"_s)
                    .startsWith(u"Percent of the reference intakes of Regulation (EU) No "
                                "1169/2011\n"_s));
        QVERIFY(report(u"cnf26.mdb"_s, u"--csv|--dv|2"_s).contains(u",ca\r\n"_s));
    }

    // The About window adds the table's name, version and citation below its text; for the
    // shipped table it stays as designed.
    void aboutWindow() {
        const frmAbout designed;
        const auto textOf = [](const frmAbout& about) {
            return about.findChild<QTextEdit*>(u"RichTextBox1"_s)->toPlainText();
        };
        for (const QString& table : {shippedDatabase(), path(u"c2020.mdb"_s)}) {
            DataControl data;
            data.DatabaseName = table;
            data.RecordSource = TableQuery();
            data.Refresh();
            const OpenTable open{table, isDefaultTable(table), data.sourceRecord()};
            frmAbout about(nullptr, tableAboutLines(open));
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTextEdit* box = about.findChild<QTextEdit*>(u"RichTextBox1"_s);
            if (open.shipped) {
                QCOMPARE(textOf(about), textOf(designed));
                QCOMPARE(about.size(), designed.sizeHint());
                continue;
            }
            QCOMPARE(textOf(about),
                     textOf(designed) +
                         u"\n\n Food table: Ciqual French food composition table"
                         "\n Version: 2020-07-07"
                         "\n Anses. 2020-07-07. Ciqual French food composition table"_s);
            QCOMPARE(box->verticalScrollBar()->maximum(), 0);  // taller: the lines show whole
        }
    }
};

QTEST_MAIN(TestNational)
#include "test_national.moc"
