// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader, and the help and About windows the help commands open over a main window.
#include "common/numbertext.h"
#include "common/version.h"
#include "dailyvalues/dailyvalues.h"
#include "help/aboutwindow.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "help/rtfreader.h"
#include "msgrecorder.h"
#include "testcase.h"
#include "withmodal.h"

#include <QAction>
#include <QFontDatabase>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

using namespace velmora;

namespace {
// Paragraphs joined by "|", each run as "[b i u family size]text" with what the run sets.
QString describe(const QTextDocument& doc) {
    QString out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin()) out += '|';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            QStringList tags = {
                f.fontWeight() >= QFont::Bold ? "b" : "", f.fontItalic() ? "i" : "",
                f.fontUnderline() ? "u" : "", f.fontFamilies().toStringList().value(0),
                f.hasProperty(QTextFormat::FontPointSize) ? QString::number(f.fontPointSize())
                                                          : ""};
            tags.removeAll("");
            out += '[' + tags.join(' ') + ']' + it.fragment().text();
        }
    }
    return out;
}
QString firstParagraph(QWidget* window) {
    return window->findChild<QTextEdit*>("RichTextBox1")->document()->firstBlock().text();
}
int offCentre(QRect frame, const QWidget* owner) {
    return (frame.center() - owner->frameGeometry().center()).manhattanLength();
}
}  // namespace

class TestHelp : public velmora::test::TestCase {
    Q_OBJECT
    QWidget main_;
    test::MessageRecorder messages_;
    HelpState state_;
  private slots:
    void initTestCase() {
        main_.setGeometry(60, 40, 700, 520);
        main_.show();
    }
    void cleanup() {
        unloadHelpWindows(state_);
        QVERIFY(!openHelpWindow(state_));
        QCOMPARE(messages_.texts(), QStringList());
    }

    void read_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");  // "%fixed%": the system's fixed-width family
        const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        const auto row = [&](const char* tag, const QByteArray& rtf, const char* expected) {
            QTest::newRow(tag) << rtf << QString::fromUtf8(expected).replace("%fixed%", fixed);
        };
        // The font table as the stored documents have it.
        const QByteArray head =
            "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}";
        row("runs", head + "\\f0\\fs20 a \\b b\\b0  \\f1\\fs24 c\\par d}",
            "[Arial 10]a [b Arial 10]b[Arial 10] [Times New Roman 12]c|[Times New Roman 12]d");
        row("groups, plain", head + "\\fs20 a{\\b b{\\i\\ul c}d}e\\f1\\fs30\\b\\i\\ul x\\plain y}",
            "[Arial 10]a[b Arial 10]b[b i u Arial 10]c[b Arial 10]d[Arial 10]e"
            "[b i u Times New Roman 15]x[Arial]y");
        row("underline ends", head + "\\ul a\\ul0 b\\ul c\\ulnone d{\\ul e}f\\b1 g\\b0 h}",
            "[u Arial]a[Arial]b[u Arial]c[Arial]d[u Arial]e[Arial]f[b Arial]g[Arial]h");
        row("fonts", "{\\rtf1{\\fonttbl\\f2 Fixedsys;{\\f3\\fmodern;}}\\f9 w\\f2 x\\f3 y}",
            "[]w[%fixed%]xy");
        row("breaks", "{\\rtf1 a\\par\\par b\\line c\\tab d\r\ne\\\nf}", "[]a||[]b\u2028c\tde|[]f");
        row("characters", "{\\rtf1 \\\\ \\{ \\}\\~g\\emdash h\\ldblquote i\\rdblquote}",
            "[]\\ { }\u00a0g\u2014h\u201ci\u201d");
        row("1252", "{\\rtf1 \\'e9\\'80\\'93\\'E9\x80}", "[]\u00e9\u20ac\u201c\u00e9\u20ac");
        row("unicode", "{\\rtf1 \\u233e \\u8364?\\u-1280?\\uc2\\u8364\\'80\\'80x\\uc0\\u233 y}",
            "[]\u00e9 \u20ac\ufb00\u20acx\u00e9y");
        row("skipped",
            "{\\rtf1{\\info{\\title T}}{\\stylesheet N;}{\\colortbl\\red0;}{\\*\\x U}\\foo x\\bar "
            "y\\bin3 {}\\b}",
            "[]xyb");
        row("NUL, after the end", QByteArray("{\\rtf1 a\0b}tail{\\b more}\0\0", 26), "[]ab");
        // Malformed texts show what can be recovered.
        row("no group at all", "just text", "[]just text");
        row("unclosed groups", "{\\rtf1 a{\\b b{\\i c", "[]a[b]b[b i]c");
        row("extra closing braces", "{\\rtf1 a}}}b", "[]a");
        row("closing brace first", "}abc", "");
        row("lone backslash at the end", "{\\rtf1 x\\", "[]x");
        row("half an escape", "{\\rtf1 x\\'4", "[]x4");
        row("escape without digits", "{\\rtf1 x\\'", "[]x");
        row("unicode without number", "{\\rtf1 x\\u", "[]x");
        row("huge numbers", "{\\rtf1\\fs99999999999 a\\u99999999999 b\\uc99999999999 \\u65 cde}",
            "[1638]a\ufffdA");
        row("deep", QByteArray(200000, '{') + "\\b x" + QByteArray(100000, '}'), "[b]x");
    }
    void read() {
        QFETCH(QByteArray, rtf);
        QTEST(describe(*rtfToDocument(rtf)), "expected");
    }

    void readReplacesInOneEdit() {
        QTextDocument doc;
        readRtf(QByteArrayView("{\\rtf1 first\\par more}"), doc);
        const int revision = doc.revision();
        readRtf(QStringView(u"{\\rtf1 \u03a9\\'e9}"), doc);  // characters beyond a byte are kept
        QCOMPARE(doc.toPlainText(), QString::fromUtf8("\u03a9\u00e9"));
        QVERIFY(!doc.isUndoAvailable());
        // One edit per text however many runs it has: each edit lays its paragraph out again.
        const int perRead = doc.revision() - revision;
        readRtf(QByteArrayView("{\\rtf1 \\b x\\b0 y\\b x\\b0 y\\par z}"), doc);
        QCOMPARE(doc.revision() - revision, 2 * perRead);
    }

    // The instructions open over the main window; the Daily Values refill that window where it
    // stands, even minimised; once closed, a help window comes back fresh at its first place.
    void helpWindow() {
        showInstructions(state_, &main_);
        QPointer<frmHLP> w = openHelpWindow(state_);
        QVERIFY(w && QTest::qWaitForWindowExposed(w));
        const QRect firstPlace = w->geometry();
        QCOMPARE(w->parentWidget(), &main_);
        QVERIFY(offCentre(w->frameGeometry(), &main_) <= 2);
        QCOMPARE(w->windowTitle(), "Instructions for Velmora");
        QCOMPARE(firstParagraph(w), "Velmora Instructions");
        w->setGeometry(firstPlace.translated(30, 30).adjusted(0, 0, 80, 60));
        const QRect moved = w->geometry();
        w->showMinimized();
        showDailyValuesInformation(state_, &main_);
        QVERIFY(openHelpWindow(state_) == w && main_.findChildren<frmHLP*>().size() == 1);
        QVERIFY(w->isVisible() && !w->isMinimized());
        QCOMPARE(w->windowTitle(), "Information on Daily Values");
        QCOMPARE(firstParagraph(w), "Daily Values");
        QCOMPARE(w->geometry(), moved);
        w->FormErrorHandler(13);  // a message, the window stays as it is
        QCOMPARE(messages_.texts().join('|'),
                 "Error number 13 was encountered.\n\rWhich is described as: Type mismatch");
        QVERIFY(w->isVisible());
        messages_.clear();
        w->findChild<QAction*>("mnuClose")->trigger();
        QVERIFY(!openHelpWindow(state_));
        showInstructions(state_, &main_);
        QVERIFY(openHelpWindow(state_) && openHelpWindow(state_) != w);
        QCOMPARE(openHelpWindow(state_)->geometry(), firstPlace);
    }

    // Under 1993 the stored document as designed; under any other rule one in its style that
    // lists each of the rule's values, those the percents are computed from, and nothing of
    // another rule's.
    void dailyValuesDocuments_data() {
        QTest::addColumn<DailyValueRule>("rule");
        QTest::addColumn<QStringList>("lines");  // paragraphs the document must have
        QTest::addColumn<QString>("absent");     // a value of another rule
        QTest::newRow("1993") << DailyValueRule::Fda1993
                              << QStringList{"Sodium    2400 milligrams (mg)"} << "2300";
        QTest::newRow("2016") << DailyValueRule::Fda2016
                              << QStringList{"Sodium    2300 milligrams (mg)",
                                             "Total fat    78 grams (g)"}
                              << "2400";
        QTest::newRow("eu") << DailyValueRule::Eu
                            << QStringList{"Salt    6 grams (g)",
                                           "Energy    2000 kilocalories (kcal)"}
                            << "65 grams";
        QTest::newRow("ca") << DailyValueRule::Canada
                            << QStringList{"Potassium    3400 milligrams (mg)",
                                           "Vitamin A    900 micrograms retinol activity "
                                           "equivalents (mcg RAE)"}
                            << "4700";
        QTest::newRow("anz") << DailyValueRule::Anz << QStringList{"Energy    8700 kilojoules (kJ)"}
                             << "2000 kilocalories";
    }
    void dailyValuesDocuments() {
        QFETCH(DailyValueRule, rule);
        QFETCH(QStringList, lines);
        QFETCH(QString, absent);
        const QByteArray rtf = dailyValuesInformation(rule);
        if (rule == DailyValueRule::Fda1993)
            QCOMPARE(rtf, loadResourceBytes("RTF", helpdoc::DailyValues));
        QVERIFY(std::ranges::all_of(rtf, [](char c) { return c >= 0; }));  // 7-bit ASCII
        const QStringList paragraphs = rtfToDocument(rtf)->toPlainText().split('\n');
        for (const ReferenceValue& v : referenceValues(rule))
            lines << v.nutrient.toString() + "    " + numberText(v.amount) + ' ';
        for (const QString& line : lines)
            QVERIFY2(std::ranges::any_of(paragraphs,
                                         [&](const QString& p) { return p.startsWith(line); }),
                     qPrintable(line));
        QVERIFY(!paragraphs.join('\n').contains(absent));
        QCOMPARE(paragraphs.count(QString(55, '-')),
                 rule == DailyValueRule::Fda1993 ? 34 : referenceValues(rule).size() + 1);
    }

    // The About window is modal, centred over the main window and the same each time.
    void about() {
        QList<QRect> frames;
        const auto drive = [&](QWidget* about) {
            frames << about->frameGeometry();
            QCOMPARE(firstParagraph(about), " Velmora, version " VELMORA_VERSION);
            about->findChild<QAction*>("mnuClose")->trigger();
        };
        for (int i = 0; i < 2; ++i)
            test::withModal([&] { showProgramInfo(state_, &main_); }, drive);
        QVERIFY(main_.findChildren<frmAbout*>().isEmpty());  // made afresh each time
        QCOMPARE(frames, QList<QRect>(2, frames.value(0)));
        QVERIFY(offCentre(frames[0], &main_) <= 2);
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
