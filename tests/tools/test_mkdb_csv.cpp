// velmora-mkdb on CSV input: every malformed file is refused with its position and leaves no
// file behind; a well-formed file arrives cell for cell; an output it must not replace is refused
// before any work.
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "mkdbtestutil.h"

using namespace mkdbtest;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kHeader =
    "Description,WATER,ENERG_KCAL,PROTEIN,TOT_LIPID,CARBOHYDRT,FIBER_TD,ASH,CALCIUM,PHOSPHORUS,"
    "IRON,SODIUM,POTASSIUM,MAGNESIUM,ZINC,COPPER,MANGANESE,SELENIUM,VIT_A,VIT_E,THIAMIN,RIBOFLAVIN,"
    "NIACIN,PANTO_ACID,VIT_B6,FOLATE,VIT_B12,VIT_C,FA_SAT,FA_MONO,FA_POLY,CHOLESTRL,GMWT_1,"
    "GMWT_DESC1,GMWT_2,GMWT_DESC2,REFUSE_PCT,NDB_NO,CODE";

// A valid row: "Food", then one-character cells, so cell k (from 0) starts at column 2k+4 for
// k >= 1 as long as no earlier cell is changed.
QByteArray row(const QMap<int, QByteArray>& changes = {}) {
    QList<QByteArray> cells{"Food"};
    for (int k = 1; k < 39; ++k) cells << (k == 33 || k == 35 || k >= 37 ? "x" : "1");
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) cells[it.key()] = it.value();
    return cells.join(',') + '\n';
}

QByteArray headerWith(const QByteArray& from, const QByteArray& to) {
    QByteArray header = kHeader;
    return header.replace(from, to) + '\n';
}

// Makes the entries a case starts from. Steps, separated by ";": "write NAME" (the text
// "previous table"), "mkdir NAME", "mkfifo NAME", "ln NAME LINK", "ln -s TARGET LINK".
void prepare(const QDir& dir, const QString& steps) {
    for (const QString& step : steps.split(u';', Qt::SkipEmptyParts)) {
        const QStringList w = step.split(u' ', Qt::SkipEmptyParts);
        const QByteArray last = QFile::encodeName(dir.filePath(w.last()));
        bool done = true;
        if (w[0] == "write"_L1)
            writeFile(dir.filePath(w[1]), "previous table");
        else if (w[0] == "mkdir"_L1)
            done = dir.mkdir(w[1]);
        else if (w[0] == "mkfifo"_L1)
            done = mkfifo(last, 0644) == 0;
        else if (w[1] == "-s"_L1)
            done = symlink(QFile::encodeName(w[2]), last) == 0;
        else
            done = link(QFile::encodeName(dir.filePath(w[1])), last) == 0;
        if (!done) qFatal("cannot %s", qPrintable(step));
    }
}

// Every entry under `path` with what it is, hidden ones included: a left-over temporary file, or a
// link or FIFO replaced by a file, shows up.
QStringList snapshot(const QString& path) {
    QStringList entries;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        const QString name = QDir(path).relativeFilePath(entry.filePath());
        entries << (entry.isSymLink() ? name + u" -> "_s + entry.symLinkTarget()
                    : entry.isDir()   ? name + u'/'
                    : entry.isFile()  ? name
                                      : name + u" (other)"_s);
    }
    entries.sort();
    return entries;
}

}  // namespace

class TestMkdbCsv : public QObject {
    Q_OBJECT

  private slots:
    void malformedInput_data();
    void malformedInput();
    void missingInput();
    void refusedOutput_data();
    void refusedOutput();
    void failureKeepsPreviousOutput_data();
    void failureKeepsPreviousOutput();
    void successReplacesPreviousOutput_data();
    void successReplacesPreviousOutput();

    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void schemaAndStorage();
    void ordersIgnoringCase();

  private:
    QTemporaryDir built_;
    QString builtDb_;
};

void TestMkdbCsv::malformedInput_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("what");

    const QByteArray h = kHeader + '\n';
    QTest::newRow("too few cells") << h + "Food,1,2\n"
                                   << 2 << 9 << "row has too few cells (3, expected 39)";
    QTest::newRow("too many cells") << h + row().chopped(1) + ",9\n"
                                    << 2 << 82 << "row has too many cells (more than 39)";
    QTest::newRow("blank line") << h + row() + '\n' + row() << 3 << 1
                                << "row has too few cells (1,";
    QTest::newRow("text in number")
        << h + row({{2, "abc"}}) << 2 << 8 << "ENERG_KCAL: \"abc\" is not a number";
    QTest::newRow("decimal comma") << h + row({{1, "\"0,5\""}}) << 2 << 6 << "WATER: \"0,5\"";

    QTest::newRow("out of range") << h + row({{5, "1e999"}}) << 2 << 14 << "CARBOHYDRT: \"1e999\"";
    QTest::newRow("lone dot") << h + row({{32, "."}}) << 2 << 68 << "GMWT_1: \".\"";
    QTest::newRow("unterminated quote") << h + row() + "\"Open, never closed,1\n"
                                        << 3 << 1 << "unterminated quoted field";
    QTest::newRow("quote in unquoted")
        << h + row({{0, "Sp\"inach"}}) << 2 << 3 << "quote inside an unquoted field";
    QTest::newRow("text after quote") << h + row({{0, "\"Spinach\"raw"}}) << 2 << 10
                                      << "unexpected character after closing quote";
    QTest::newRow("bare CR") << h + row({{0, "a\rb"}}) << 2 << 2
                             << "carriage return without line feed";
    QTest::newRow("NUL") << h + row({{0, QByteArray("a\0b", 3)}}) << 2 << 2 << "NUL character";
    QTest::newRow("Latin-1 byte") << h + row({{0, "Caf\xE9"}}) << 2 << 4 << "invalid UTF-8";
    QTest::newRow("overlong UTF-8") << h + row({{0, "A\xC0\xAF"}}) << 2 << 2 << "invalid UTF-8";
    QTest::newRow("UTF-8 surrogate") << h + row({{0, "\xED\xA0\x80"}}) << 2 << 1 << "invalid UTF-8";
    QTest::newRow("cut UTF-8 at end") << h + "Caf\xC3" << 2 << 4 << "invalid UTF-8";
    // Positions after a quoted line break and after multi-byte characters.
    QTest::newRow("line after quoted break")
        << h + row({{0, "\"two\nlines\""}}) + row({{1, "x"}}) << 4 << 6 << "WATER: \"x\"";
    QTest::newRow("column counts characters")
        << h + row({{0, "Crème"}, {1, "x"}}) << 2 << 7 << "WATER: \"x\"";
    QTest::newRow("empty file") << QByteArray() << 1 << 1 << "empty file";
    QTest::newRow("header misspelt") << headerWith(",PROTEIN,", ",PROTEINS,") + row() << 1 << 30
                                     << "header cell 4 is \"PROTEINS\", expected \"PROTEIN\"";
    QTest::newRow("header order") << headerWith("WATER,ENERG_KCAL", "ENERG_KCAL,WATER") + row() << 1
                                  << 13 << "header cell 2 is \"ENERG_KCAL\", expected \"WATER\"";

    QTest::newRow("header short") << headerWith(",CODE", "") + row() << 1 << int(kHeader.size()) - 4
                                  << "header has too few cells (38,";
}

void TestMkdbCsv::malformedInput() {
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, what);

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.csv"));
    writeFile(in, content);
    const Run run = runMkdb({in, dir.filePath(QStringLiteral("out.mdb"))});

    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    const QString position = QStringLiteral("%1:%2:%3: ").arg(in).arg(line).arg(column);
    QVERIFY2(run.standardError.startsWith(position + what), qPrintable(run.standardError));
    QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("in.csv")});
}

void TestMkdbCsv::missingInput() {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("none.csv"));
    const Run run = runMkdb({in, dir.filePath(QStringLiteral("out.mdb"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.standardError.startsWith(in + QStringLiteral(":1:1: cannot read")),
             qPrintable(run.standardError));
    QVERIFY(folderEntries(dir.path()).isEmpty());
}

void TestMkdbCsv::refusedOutput_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments");  // in the case's folder; the output last
    QTest::addColumn<QString>("what");

    const QStringList toOut{"in.csv", "out.mdb"};
    const QString input = u"is the same file as the input"_s;
    QTest::newRow("FIFO") << "mkfifo out.mdb" << toOut << "is not a regular file";
    QTest::newRow("link to a FIFO")
        << "mkfifo fifo; ln -s fifo out.mdb" << toOut << "is not a regular file";
    QTest::newRow("dangling link")
        << "ln -s none out.mdb" << toOut << "is a symbolic link to nothing";
    QTest::newRow("the input") << "" << QStringList{"in.csv", "in.csv"} << input;
    QTest::newRow("hard link to the input") << "ln in.csv out.mdb" << toOut << input;
    QTest::newRow("link to the input") << "ln -s in.csv out.mdb" << toOut << input;
    QTest::newRow("a file of the release")
        << "mkdir sr; write sr/Weight.TXT" << QStringList{"--sr", "sr", "sr/Weight.TXT"} << input;
    QTest::newRow("no such folder")
        << "" << QStringList{"in.csv", "none/out.mdb"} << "cannot create a temporary file";
}

// The input is malformed: a run that read it before looking at the output would say so.
void TestMkdbCsv::refusedOutput() {
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QString, what);

    QTemporaryDir temp;
    const QDir dir(temp.path());
    writeFile(dir.filePath(u"in.csv"_s), kHeader + '\n' + row({{1, "bad"}}));
    prepare(dir, setup);
    const QStringList before = snapshot(dir.path());
    for (QString& argument : arguments)
        if (!argument.startsWith(u"--")) argument = dir.filePath(argument);

    const Run run = runMkdb(arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.standardError.startsWith(arguments.last() + u": "_s + what),
             qPrintable(run.standardError));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestMkdbCsv::failureKeepsPreviousOutput_data() {
    QTest::addColumn<int>("signal");  // 0: the run fails on a malformed row instead
    QTest::newRow("malformed row") << 0;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestMkdbCsv::failureKeepsPreviousOutput() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.csv"));
    const QString out = dir.filePath(QStringLiteral("out.mdb"));
    // An interrupted run gets a table big enough to take a while.
    writeFile(in, kHeader + '\n' + (signal ? row().repeated(30000) : row({{1, "bad"}})));
    writeFile(out, "previous table");

    if (signal == 0) {
        QCOMPARE(runMkdb({in, out}).exitCode, 1);
    } else {
        QProcess mkdb;
        mkdb.start(qEnvironmentVariable("VELMORA_TEST_BIN") + u"/velmora-mkdb"_s, {in, out});
        // Its temporary file is there from the start, before the input is read.
        QTRY_VERIFY_WITH_TIMEOUT(folderEntries(dir.path()).size() > 2, 60000);
        QCOMPARE(kill(pid_t(mkdb.processId()), signal), 0);
        QVERIFY(mkdb.waitForFinished(60000));
        // Ended by the signal itself, which a shell reports as 128 + its number.
        QCOMPARE(mkdb.exitStatus(), QProcess::CrashExit);
        QCOMPARE(mkdb.exitCode(), signal);
    }
    QFile previous(out);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("previous table"));
    QCOMPARE(folderEntries(dir.path()), (QStringList{"in.csv", "out.mdb"}));
}

void TestMkdbCsv::successReplacesPreviousOutput_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("output");
    QTest::newRow("file") << "write out.mdb"
                          << "out.mdb";
    QTest::newRow("link written through")
        << "mkdir sub; write sub/real.mdb; ln -s sub/real.mdb out.mdb"
        << "out.mdb";
    QTest::newRow("longest file name") << "" << QString(251, u'n') + u".mdb"_s;
}

void TestMkdbCsv::successReplacesPreviousOutput() {
    QFETCH(QString, setup);
    QFETCH(QString, output);
    QTemporaryDir temp;
    const QDir dir(temp.path());
    const QString in = dir.filePath(QStringLiteral("in.csv"));
    const QString out = dir.filePath(output);
    writeFile(in, kHeader + '\n' + row() + row());
    prepare(dir, setup);
    QStringList expected = snapshot(dir.path());
    if (!QFileInfo::exists(out)) expected << output;
    expected.sort();

    const Run run = runMkdb({in, out});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.standardError.isEmpty(), qPrintable(run.standardError));
    QCOMPARE(query(out, QStringLiteral("SELECT count(*) FROM CSR14")).rows.value(0).value(0),
             QVariant(qint64(2)));
    QCOMPARE(snapshot(dir.path()), expected);
}

// A small table whose rows each carry a distinct NDB_NO, so cells can be addressed by it.
void TestMkdbCsv::initTestCase() {
    QVERIFY(built_.isValid());
    // The file's own byte order mark goes; one that starts a text is part of it.
    const QByteArray csv =
        "\xEF\xBB\xBF" + kHeader + '\n' +
        // Quotes, commas and an apostrophe in texts; measured 0, Null, decimals and exponents.
        "\"Chef's \"\"best\"\" soup, canned\",0,,0.078,1e3,-0.5,,,,,,,,,,,,,,,,,,,,,,,,,,,28.35,"
        "\"1 slice (4\"\" dia, thin)\",,,,01001,01\n"
        // Leading blanks unquoted, and a CRLF line end.
        "  Leading blanks,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01002,01\r\n"
        "\" Quoted leading blank\",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01003,01\n"
        "\"Two\nlines\",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01004,02\n"
        "Crème brûlée,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01005,02\n"
        "apple pie,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01006,02\n"
        "BANANA,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01007,02\n"
        "\xEF\xBB\xBFMarked,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01009,02\n"
        "cherry,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,01008,02";  // no line end at the end
    const QString in = built_.filePath(QStringLiteral("small.csv"));
    builtDb_ = built_.filePath(QStringLiteral("small.mdb"));
    writeFile(in, csv);
    const Run run = runMkdb({in, builtDb_});
    QVERIFY2(run.exitCode == 0, qPrintable(run.standardError));
}

void TestMkdbCsv::roundTrip_data() {
    QTest::addColumn<QString>("ndb");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("type");

    const QVariant null;
    QTest::newRow("quotes and commas")
        << "01001"
        << "Description" << QVariant(u"Chef's \"best\" soup, canned"_s) << "text";
    QTest::newRow("measured zero") << "01001"
                                   << "WATER" << QVariant(0.0) << "real";
    QTest::newRow("not measured") << "01001"
                                  << "ENERG_KCAL" << null << "null";
    QTest::newRow("decimal") << "01001"
                             << "PROTEIN" << QVariant(0.078) << "real";
    QTest::newRow("exponent") << "01001"
                              << "TOT_LIPID" << QVariant(1000.0) << "real";
    QTest::newRow("negative") << "01001"
                              << "CARBOHYDRT" << QVariant(-0.5) << "real";
    QTest::newRow("grams") << "01001"
                           << "GMWT_1" << QVariant(28.35) << "real";
    QTest::newRow("measure text") << "01001"
                                  << "GMWT_DESC1" << QVariant(u"1 slice (4\" dia, thin)"_s)
                                  << "text";
    QTest::newRow("empty measure text") << "01001"
                                        << "GMWT_DESC2" << null << "null";
    QTest::newRow("empty refuse") << "01001"
                                  << "REFUSE_PCT" << null << "null";
    QTest::newRow("number keeps zeros") << "01001"
                                        << "NDB_NO" << QVariant(u"01001"_s) << "text";
    QTest::newRow("code is text") << "01001"
                                  << "CODE" << QVariant(u"01"_s) << "text";
    QTest::newRow("leading blanks") << "01002"
                                    << "Description" << QVariant(u"  Leading blanks"_s) << "text";
    QTest::newRow("quoted leading blank")
        << "01003"
        << "Description" << QVariant(u" Quoted leading blank"_s) << "text";
    QTest::newRow("line break") << "01004"
                                << "Description" << QVariant(u"Two\nlines"_s) << "text";
    QTest::newRow("non-ASCII") << "01005"
                               << "Description" << QVariant(u"Crème brûlée"_s) << "text";
    QTest::newRow("byte order mark in a text")
        << "01009"
        << "Description" << QVariant(u"\uFEFFMarked"_s) << "text";
    QTest::newRow("last row without line end") << "01008"
                                               << "CODE" << QVariant(u"02"_s) << "text";
}

void TestMkdbCsv::roundTrip() {
    QFETCH(QString, ndb);
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    QFETCH(QString, type);

    const Query q = query(builtDb_, QStringLiteral("SELECT %1, typeof(%1) FROM CSR14 "
                                                   "WHERE NDB_NO = '%2'")
                                        .arg(column, ndb));
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.rows.size(), 1);
    QCOMPARE(q.rows[0][1].toString(), type);
    QCOMPARE(q.rows[0][0], value);
}

void TestMkdbCsv::schemaAndStorage() {
    const Query columns =
        query(builtDb_, QStringLiteral("SELECT name, type FROM "
                                       "pragma_table_info('CSR14') ORDER BY cid"));
    QStringList schema;
    for (const QVariantList& r : columns.rows) schema << r[0].toString() + u' ' + r[1].toString();
    QStringList expected;
    for (const QByteArray& name : kHeader.split(',')) {
        const bool text = name == "Description" || name.startsWith("GMWT_DESC") ||
                          name == "NDB_NO" || name == "CODE";
        expected << QString::fromLatin1(name) + (text ? u" TEXT"_s : u" REAL"_s);
    }
    QCOMPARE(schema, expected);
    QCOMPARE(query(builtDb_, QStringLiteral("SELECT count(*) FROM CSR14")).rows.value(0).value(0),
             QVariant(qint64(9)));

    // Rollback journal, not WAL: bytes 18 and 19 of the header are 1 for the former, 2 for WAL.
    QFile file(builtDb_);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(20);
    QCOMPARE(header.left(16), QByteArray("SQLite format 3\0", 16));
    QCOMPARE(int(header[18]), 1);
    QCOMPARE(int(header[19]), 1);
    QCOMPARE(folderEntries(built_.path()), (QStringList{"small.csv", "small.mdb"}));
}

void TestMkdbCsv::ordersIgnoringCase() {
    const Query q = query(builtDb_, QStringLiteral("Select ALL * From CSR14 Order by description"));
    QVERIFY2(q.error.isEmpty(), qPrintable(q.error));
    QCOMPARE(q.columns.value(0), QStringLiteral("Description"));
    QStringList order;
    for (const QVariantList& r : q.rows) order << r[0].toString();
    const QStringList expected{"  Leading blanks",
                               " Quoted leading blank",
                               "apple pie",
                               "BANANA",
                               "Chef's \"best\" soup, canned",
                               "cherry",
                               "Crème brûlée",
                               "Two\nlines",
                               u"\uFEFFMarked"_s};
    QCOMPARE(order, expected);
}

QTEST_GUILESS_MAIN(TestMkdbCsv)
#include "test_mkdb_csv.moc"
