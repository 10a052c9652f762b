// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables as a user builds and reads them: each agency layout and encoding
// arrives cell for cell (markers, units, energy from kJ, unique names, --names), a faulty download
// is refused naming file and line with the output untouched, and the source record reaches
// velmora-mkdb's output, velmora-report and the About window; a required notice ends every output.
#include <QtTest>

#include <QScrollBar>
#include <QTextEdit>

#include "fixturedb.h"
#include "fooddb/datacontrol.h"
#include "help/aboutwindow.h"
#include "testcase.h"
#include "tools/nationaltable.h"

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kBin = qEnvironmentVariable("VELMORA_TEST_BIN");

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

struct Run {
    int status;
    QString out, err;
};

// Runs a program of the build in `dir`: its exit status and output.
Run run(const QString& dir, const QString& program, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(kBin + u'/' + program, args);
    if (!p.waitForFinished(30000)) return {-1, {}, u"timed out"_s};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The cells `like` names ("COLUMN=value ...") of the food with this NDB_NO, as SQLite quotes them.
QString cellsOf(const QString& table, const QString& code, const QString& like) {
    QStringList parts;
    for (const auto& m : QRegularExpression(u"(\\w+)="_s).globalMatch(like))
        parts << u"'%1=' || quote(%1)"_s.arg(m.captured(1));
    return query(table, u"SELECT %1 FROM CSR14 WHERE NDB_NO = '%2'"_s.arg(
                            parts.join(u" || ' ' || "_s), code))
        .rows.value(0)
        .value(0)
        .toString();
}

}  // namespace

Q_DECLARE_METATYPE(Layout)

class TestNational : public TestCase {
    Q_OBJECT
    QTemporaryDir dir_;
    QStringList builds_;  // what velmora-mkdb printed for each layout

    QString path(const QString& name) const { return dir_.filePath(name); }

  private slots:
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
        row("1.5", true, int(M::Value), 1.5);
        row("-0.43", false, int(M::Value), -0.43);
        row("1e15", false, int(M::Value), 1e15);
        for (const char* text : {"12,5", "1e16", "1 000", "<", "n/a", "()", "1,2,3"})
            row(text, text[0] == '1' && text[1] == ',', -1);
    }
    void markedAmounts() {
        QFETCH(QString, text);
        QFETCH(bool, decimalComma);
        QFETCH(int, marker);
        QFETCH(double, value);
        QString problem;
        const auto amount = mkdb::readMarkedAmount(text, decimalComma, problem);
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
    }
    void layouts() {
        QFETCH(QString, table);
        QFETCH(QString, code);
        QFETCH(QString, cells);
        QCOMPARE(cellsOf(path(table), code, cells), cells);
    }

    // The counts line, then the source record.
    void counts() {
        QCOMPARE(builds_.value(1).split(u"; "_s),
                 u"c2020.mdb: 6 foods; 1 traces and 1 amounts below a limit stored as 0; kcal "
                 "from kJ for 2 foods; 1 descriptions made unique; 1 nutrients without a column "
                 "skipped; 1 foods without a name in \"en\" named in their other language; not "
                 "measured: 10120 in a unit their column cannot take; 5 bare \"<\" or \"&\" in "
                 "c2020/alim_2020_07_07.xml read as characters; 1 amounts of foods not in "
                 "c2020/alim_2020_07_07.xml skipped; 1 bare \"<\" or \"&\" in "
                 "c2020/compo_2020_07_07.xml read as characters\n"
                 "Source: Ciqual French food composition table\n"
                 "Version: 2020-07-07\n"
                 "Citation: Anses. 2020-07-07. Ciqual French food composition table\n"
                 "Energy: kcal as published; for 2 foods with kJ only, kJ / 4.184 rounded to a "
                 "whole kcal\n"
                 "Carbohydrate: available carbohydrate (Ciqual 31000, Glucides), as published\n"
                 "Traces: 1 amounts, stored as 0\n"
                 "Below a limit: 1 amounts, stored as 0\n"
                 "Required notice: no\n"_s.split(u"; "_s));
        for (const QString& version : {u"2017-11-21"_s, u"2025-11-03"_s})
            QVERIFY(builds_.join(u"").contains(u"\nVersion: "_s + version + u'\n'));
        QVERIFY(!builds_.value(2).contains(u"read as characters"));
    }

    // A download at fault, and a wrong command line: refused, naming file and line; the output
    // and the folder as they were.
    void refusals_data() {
        QTest::addColumn<QString>("kind");     // the file changed: alim, const, compo
        QTest::addColumn<QByteArray>("from");  // replaced (first only) by `to`; "" removes the file
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const auto bad = [](const char* name, const char* kind, const QByteArray& from,
                            const QByteArray& to, const char* err) {
            QTest::newRow(name) << QString(kind) << from << to << u"--ciqual|c|o.mdb"_s << 1
                                << u"c/%1_2020_07_07.xml:"_s.arg(QLatin1StringView(kind)) + err;
        };
        bad("tag mismatch", "alim", "</alim_nom_fr>", "</alim_nom_frx>",
            "6:37: not well-formed XML: Opening and ending tag mismatch.");
        bad("undefined entity", "alim", "&amp; sel", "&ampx; sel",
            "38:25: not well-formed XML: Entity 'ampx' not declared.");
        bad("bare < in a tag", "alim", "<alim_code> 1000", "<alim_code <x> 1000",
            "5:13: not well-formed XML:");
        bad("unknown encoding", "const", "windows-1252", "EBCDIC",
            "1:21: unknown encoding \"EBCDIC\"");
        bad("UTF-16", "const", "<?xml", "\xFF\xFE<?xml", "1:1: the file is UTF-16");
        bad("not UTF-8", "alim", "windows-1252", "UTF-8", "14:21: invalid UTF-8 (byte 0xE9)");
        bad("undefined byte", "alim", "Pastis", "Pas\x81tis", "6:18: byte 0x81 is not a code page");
        bad("cut short", "compo", "</TABLE>", "", "116:1: the file ends inside the XML document");
        bad("teneur", "compo", "12,5", "12,5x", "34:1: teneur: \"12,5x\" is not an amount");
        bad("beyond 10^15", "compo", "12,5", "2e15", "34:1: teneur: \"2e15\" is beyond");
        bad("food twice", "alim", "1003", "1000", "29:1: food 1000 listed twice");
        bad("no code", "alim", "<alim_code> 1005 </alim_code>", "<alim_code/>",
            "45:1: <ALIM> without <alim_code>");
        bad("no name", "alim", "Laitue & tomate </alim_nom_fr>", "</alim_nom_fr>",
            "22:1: food 1002 has no name");
        bad("amount twice", "compo", "<const_code> 327", "<const_code> 328",
            "12:1: food 1000: constituent 328 given twice");
        QTest::newRow("missing const")
            << u"const"_s << QByteArray() << QByteArray() << u"--ciqual|c|o.mdb"_s << 1
            << u"c/const_*.xml:1:1: cannot read: no such file"_s;
        QTest::newRow("two releases")
            << u"alim"_s << QByteArray() << QByteArray("alim_2019.xml") << u"--ciqual|c|o.mdb"_s
            << 1 << u"c/alim_2020_07_07.xml:1:1: a second alim_ file"_s;
        QTest::newRow("no folder")
            << QString() << QByteArray() << QByteArray() << u"--ciqual|none|o.mdb"_s << 1
            << u"none:1:1: cannot read: No such file or directory"_s;
        QTest::newRow("--names de")
            << QString() << QByteArray() << QByteArray() << u"--ciqual|c|o.mdb|--names|de"_s << 2
            << u"velmora-mkdb: --names is en|fr with --ciqual, not \"de\""_s;
        QTest::newRow("--names alone")
            << QString() << QByteArray() << QByteArray() << u"in.csv|o.mdb|--names|fr"_s << 2
            << u"velmora-mkdb: --names goes with a national table only"_s;
    }
    void refusals() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QTemporaryDir temp;
        const QMap<QString, QString> files = writeRelease(temp.filePath(u"c"_s), k2020);
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

    // velmora-report: --source, the JSON forms, and a required notice at the end of every output.
    void sourceRecord() {
        const QString table = path(u"c2020.mdb"_s), notice = path(u"notice.mdb"_s);
        const auto report = [&](const QString& database, const QString& args) {
            return run(path({}), u"velmora-report"_s,
                       QStringList{u"--database"_s, database} + args.split(u'|'))
                .out;
        };
        QCOMPARE(report(table, u"--source"_s), builds_.value(1).section(u'\n', 1));
        QCOMPARE(run(path({}), u"velmora-report"_s, {u"--source"_s}).out, u"no source record\n"_s);
        const QJsonObject json =
            QJsonDocument::fromJson(report(table, u"--json|1000"_s).toUtf8()).object();
        QCOMPARE(json[u"description"_s].toString(), u"Pastis"_s);
        QCOMPARE(json[u"source"_s][u"version"_s].toString(), u"2020-07-07"_s);
        QCOMPARE(json[u"source"_s][u"traces"_s].toInt(), 1);
        QVERIFY(!json.contains(u"notice"_s));
        QVERIFY(!report(table, u"1000"_s).contains(u"Anses"_s));

        const QString terms = u"Based on data from NEVO online version 2023 8.0, RIVM, Bilthoven"_s;
        QVERIFY(QFile::copy(table, notice));
        QCOMPARE(
            execSql(notice, u"UPDATE Source SET NoticeRequired = 1, Citation = '%1'"_s.arg(terms)),
            QString());
        for (const QString& args : {u"1000"_s, u"--search|a"_s, u"--source"_s, u"--rank|sodium"_s})
            QVERIFY2(report(notice, args).endsWith(u"\n"_s + terms + u"\n"_s), qPrintable(args));
        QVERIFY(report(notice, u"--csv|--compare|1000|1001"_s)
                    .endsWith(u"\r\n\""_s + terms + u"\"\r\n"_s));  // quoted: it holds commas
        const QJsonObject list =
            QJsonDocument::fromJson(report(notice, u"--json|--search|pastis"_s).toUtf8()).object();
        QCOMPARE(list[u"foods"_s].toArray().size(), 2);
        QCOMPARE(list[u"notice"_s].toString(), terms);
        QCOMPARE(list[u"source"_s][u"notice_required"_s].toBool(), true);
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
            const auto source = data.sourceRecord();
            frmAbout about(nullptr, source ? sourceAboutLines(*source) : QStringList());
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTextEdit* box = about.findChild<QTextEdit*>(u"RichTextBox1"_s);
            if (!source) {
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
