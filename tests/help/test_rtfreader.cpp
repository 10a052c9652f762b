#include "docdump.h"
#include "help/rtfreader.h"

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QRandomGenerator>
#include <QTest>

using velmora::readRtf;
using velmora::rtfToDocument;
using velmora::test::describe;

namespace {

// Fonts 0 and 1 as the stored documents declare them; 2 and 3 exercise the fixed-width fallbacks.
const QByteArray kHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}"
    "{\\f1\\froman Times New Roman;}{\\f2\\fmodern Fixedsys;}{\\f3\\fmodern;}}";

QString fixedFamily() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

}  // namespace

class RtfReaderTest : public QObject {
    Q_OBJECT
  private slots:
    void golden_data();
    void golden();
    void stringInputKeepsWideCharacters();
    void replacesPreviousContent();
    void malformed_data();
    void malformed();
    void junkNeverHangs();
};

void RtfReaderTest::golden_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");  // "%fixed%" stands for the system's fixed font

    QTest::newRow("runs, fonts and sizes")
        << kHead + "\\f0\\fs20 Hello \\b bold\\b0  \\f1\\fs24 serif\\par next}"
        << "[Arial 10]Hello [b Arial 10]bold[Arial 10] [Times New Roman 12]serif"
           "|[Times New Roman 12]next";
    QTest::newRow("groups restore the state")
        << kHead + "\\fs20 a{\\b b{\\i\\ul c}d}e}"
        << "[Arial 10]a[b Arial 10]b[b i u Arial 10]c[b Arial 10]d[Arial 10]e";
    QTest::newRow("underline ends three ways")
        << kHead + "\\ul a\\ul0 b\\ul c\\ulnone d{\\ul e}f\\b1 g\\b0 h}"
        << "[u Arial]a[Arial]b[u Arial]c[Arial]d[u Arial]e[Arial]f[b Arial]g[Arial]h";
    QTest::newRow("plain resets to the default font") << kHead + "\\f1\\fs30\\b\\i\\ul x\\plain y}"
                                                      << "[b i u Times New Roman 15]x[Arial]y";
    QTest::newRow("font missing from the table") << kHead + "\\f9 x}"
                                                 << "[]x";
    QTest::newRow("Fixedsys") << kHead + "\\f2 x}"
                              << "[%fixed%]x";
    QTest::newRow("nameless modern font") << kHead + "\\f3 x}"
                                          << "[%fixed%]x";
    QTest::newRow("table entries without groups")
        << QByteArray("{\\rtf1{\\fonttbl\\f0\\fswiss Arial;\\f1\\froman Times New Roman;}\\f1 x}")
        << "[Times New Roman]x";
    QTest::newRow("paragraphs, line and tab")
        << kHead + "a\\par\\par b\\line c\\tab d}"
        << QString("[Arial]a||[Arial]b") + QChar::LineSeparator + "c\td";
    QTest::newRow("line ends of the file") << kHead + "a\r\nb\\\nc}"
                                           << "[Arial]ab|[Arial]c";
    QTest::newRow("escaped braces and backslash") << kHead + "\\\\ \\{ \\}}"
                                                  << "[Arial]\\ { }";
    QTest::newRow("code page 1252 escapes")
        << kHead + "caf\\'e9 \\'80 \\'93q\\'94 \\'E9}"
        << QString::fromUtf8("[Arial]caf\u00e9 \u20ac \u201cq\u201d \u00e9");
    QTest::newRow("8-bit bytes read as 1252")
        << kHead + "caf\xe9 \x80}" << QString::fromUtf8("[Arial]caf\u00e9 \u20ac");
    QTest::newRow("unicode skips its fallback")
        << kHead + "\\u233e \\u8364?}" << QString::fromUtf8("[Arial]\u00e9 \u20ac");
    QTest::newRow("fallback count and escapes") << kHead + "\\uc2\\u8364\\'80\\'80x\\uc0\\u233 y}"
                                                << QString::fromUtf8("[Arial]\u20acx\u00e9y");
    QTest::newRow("negative unicode") << kHead + "\\u-1280?}" << QString::fromUtf8("[Arial]\ufb00");
    QTest::newRow("destinations and unknown words skipped")
        << kHead +
               "{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}"
               "{\\colortbl\\red0\\green0\\blue0;}{\\*\\generator G;}{\\*\\unknown U}\\foo42 "
               "x\\bar y}"
        << "[Arial]xy";
    QTest::newRow("text after the final brace")
        << kHead + "x}tail{\\b more}" + QByteArray(3, '\0') << "[Arial]x";
    QTest::newRow("binary data skipped") << kHead + "a\\bin3 {}\\b}"
                                         << "[Arial]ab";
    QTest::newRow("typographic characters")
        << kHead + "a\\~b\\emdash c\\ldblquote d\\rdblquote}"
        << QString::fromUtf8("[Arial]a\u00a0b\u2014c\u201cd\u201d");
}

void RtfReaderTest::golden() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    expected.replace(QStringLiteral("%fixed%"), fixedFamily());
    QCOMPARE(describe(*rtfToDocument(rtf)), expected);
}

void RtfReaderTest::stringInputKeepsWideCharacters() {
    QTextDocument doc;
    readRtf(QStringView(QString::fromUtf8("{\\rtf1 \u03a9\\'e9}")), doc);
    QCOMPARE(doc.toPlainText(), QString::fromUtf8("\u03a9\u00e9"));
}

void RtfReaderTest::replacesPreviousContent() {
    QTextDocument doc;
    readRtf(QByteArrayView("{\\rtf1 first\\par more}"), doc);
    const int revision = doc.revision();
    readRtf(QByteArrayView("{\\rtf1 second}"), doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("second"));
    QVERIFY(!doc.isUndoAvailable());
    // One edit per text however many runs it has: each edit lays its paragraph out again.
    const int perRead = doc.revision() - revision;
    readRtf(QByteArrayView("{\\rtf1 \\b x\\b0 y\\b x\\b0 y\\par z}"), doc);
    QCOMPARE(doc.revision() - revision, 2 * perRead);
}

void RtfReaderTest::malformed_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("no group at all") << QByteArray("just text") << "just text";
    QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 a{\\b b{\\i c") << "abc";
    QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a}}}b") << "a";
    QTest::newRow("closing brace first") << QByteArray("}abc") << "";
    QTest::newRow("lone backslash at the end") << QByteArray("{\\rtf1 x\\") << "x";
    QTest::newRow("half an escape") << QByteArray("{\\rtf1 x\\'4") << "x4";
    QTest::newRow("escape without digits") << QByteArray("{\\rtf1 x\\'") << "x";
    QTest::newRow("unicode without number") << QByteArray("{\\rtf1 x\\u") << "x";
    QTest::newRow("huge numbers")
        << QByteArray(
               "{\\rtf1\\fs99999999999999999999 a\\u99999999999999 b\\uc99999999999 "
               "\\u65 cde}")
        << QString::fromUtf8("a\ufffdA");
    QTest::newRow("huge binary length") << QByteArray("{\\rtf1 a\\bin99999999999 bcd}") << "a";
    QTest::newRow("deep balanced nesting")
        << QByteArray(200000, '{') + "deep" + QByteArray(200000, '}') << "deep";
    QTest::newRow("deep nesting never closed") << "{\\rtf1" + QByteArray(200000, '{') + "\\b x"
                                               << "x";
    QTest::newRow("endless control word") << "{\\rtf1 \\" + QByteArray(100000, 'a') + " tail}"
                                          << "tail";
    QTest::newRow("endless parameter") << "{\\rtf1 \\fs" + QByteArray(100000, '9') + " tail}"
                                       << "tail";
    QTest::newRow("NUL inside text") << QByteArray("{\\rtf1 a\0b}", 11) << "ab";
}

void RtfReaderTest::malformed() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rtfToDocument(rtf)->toPlainText(), expected);
    QVERIFY2(clock.elapsed() < 5000, "reading took too long");
}

void RtfReaderTest::junkNeverHangs() {
    QRandomGenerator random(20240611);
    QByteArray bytes(1 << 18, '\0');
    for (char& c : bytes) c = char(random.bounded(256));
    QByteArray allValues;
    for (int i = 0; i < 256; ++i) allValues.append(char(i));
    // Tokens of real RTF in random order reach the tables and counters that pure noise rarely does.
    const QList<QByteArray> tokens = {"{",     "}",      "\\b",        "\\u-5",     "\\'",
                                      "\\'e9", "\\bin3", "\\*",        "\\fonttbl", "\\colortbl",
                                      "x",     " ",      "\\par",      "\\uc3",     ";",
                                      "\\f1",  "\\fs",   "\\pard\\qc", "\\red9",    "\\"};
    QByteArray soup;
    for (int i = 0; i < 100000; ++i) soup += tokens[random.bounded(int(tokens.size()))];

    for (const QByteArray& input : {bytes, "{\\rtf1 " + bytes, allValues, soup}) {
        QElapsedTimer clock;
        clock.start();
        auto doc = rtfToDocument(input);
        QVERIFY(doc->characterCount() >= 1);
        QVERIFY2(clock.elapsed() < 10000, "reading took too long");
    }
}

QTEST_MAIN(RtfReaderTest)
#include "test_rtfreader.moc"
