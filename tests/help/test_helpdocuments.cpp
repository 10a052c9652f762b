#include "docdump.h"
#include "help/helpcommands.h"
#include "help/rtfreader.h"

#include <QRegularExpression>
#include <QTest>

using namespace velmora;
using velmora::test::Run;

namespace {

const QString kHyphens(55, u'-');

QByteArray stored(int id) {
    return loadResourceBytes(QStringLiteral("RTF"), id);
}

QStringList paragraphs(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) out << b.text();
    return out;
}

QList<Run> runs(const QTextDocument& doc) {
    QList<Run> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) out += test::runsOf(b);
    return out;
}

QStringList texts(const QList<Run>& runs, bool Run::*flag) {
    QStringList out;
    for (const Run& r : runs)
        if (r.*flag) out << r.text;
    return out;
}

}  // namespace

class HelpDocumentsTest : public QObject {
    Q_OBJECT
  private slots:
    void storedBytes_data();
    void storedBytes();
    void dailyValues();
    void instructions();
};

void HelpDocumentsTest::storedBytes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("nuls");
    QTest::newRow("Daily Values") << 101 << 3;
    QTest::newRow("instructions") << 102 << 4;
}

void HelpDocumentsTest::storedBytes() {
    QFETCH(int, id);
    QFETCH(int, nuls);
    const QByteArray bytes = stored(id);
    QVERIFY(bytes.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl"));
    QVERIFY(bytes.contains("{\\colortbl \\red0\\green0\\blue0;}\n{\\stylesheet{\\nowidctlpar"));
    QVERIFY(bytes.endsWith('}' + QByteArray(nuls, '\0')));
    QCOMPARE(bytes.count('\0'), nuls);
    QVERIFY(std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }));
    // The NULs after the closing brace show nothing.
    QCOMPARE(test::describe(*rtfToDocument(bytes)),
             test::describe(*rtfToDocument(bytes.chopped(nuls))));
}

void HelpDocumentsTest::dailyValues() {
    // Each row as name|amount unit, where "|" stands for the blanks between name and amount.
    const QStringList rows =
        QStringLiteral(
            "Total Fat|65 grams (g);Saturated fatty acids|20 grams (g);Cholesterol|300 milligrams "
            "(mg);Sodium|2400 milligrams (mg);Potassium|3500 milligrams (mg);Total "
            "carbohydrate|300 "
            "grams (g);Fiber|25 grams (g);Protein|50 grams (g);Vitamin A|5000 International Unit "
            "(IU);Vitamin C|60 milligrams (mg);Calcium|1000 milligrams (mg);Iron|18 milligrams "
            "(mg);Vitamin D|400 International Unit (IU);Vitamin E|30 International Unit "
            "(IU);Vitamin "
            "K|80 micrograms (mcg);Thiamin|1.5 milligrams (mg);Riboflavin|1.7 milligrams "
            "(mg);Niacin|20 milligrams (mg);Vitamin B6|2.0 milligrams (mg);Folate|400 micrograms "
            "(mcg);Vitamin B12|6.0 micrograms (mcg);Biotin|300 micrograms (mcg);Pantothenic "
            "acid|10 "
            "milligrams (mg);Phosphorus|1000 milligrams (mg);Iodine|150 micrograms "
            "(mcg);Magnesium|400 milligrams (mg);Zinc|15 milligrams (mg);Selenium|70 micrograms "
            "(mcg);Copper|2.0 milligrams (mg);Manganese|2.0 milligrams (mg);Chromium|120 "
            "micrograms "
            "(mcg);Molybdenum|75 micrograms (mcg);Chloride|3400 milligrams (mg)")
            .split(u';');
    QCOMPARE(rows.size(), 33);

    const auto doc = rtfToDocument(stored(helpdoc::DailyValues));
    const QStringList p = paragraphs(*doc);
    QCOMPARE(p.count(kHyphens), 34);
    const qsizetype first = p.indexOf(kHyphens);
    for (int i = 0; i < 33; ++i) {
        QCOMPARE(p.value(first + 2 * i), kHyphens);
        QString row = p.value(first + 2 * i + 1);
        QCOMPARE(row.replace(QRegularExpression(QStringLiteral("(\\S) {2,}(\\S+ \\S)")),
                             QStringLiteral("\\1|\\2")),
                 rows[i]);
    }
    QCOMPARE(p.value(first + 66), kHyphens);
    QCOMPARE(p.mid(0, 2), (QStringList{"Daily Values", ""}));
    QCOMPARE(p.value(first - 2), "U.S. Food and Drug Administration List of Daily Values");
    for (const char* fact : {"2000 Calories", "June 1999", "Velmora", "monounsaturated",
                             "Center for Food Safety and Applied Nutrition"}) {
        QVERIFY2(doc->toPlainText().contains(QLatin1String(fact)), fact);
    }

    const QList<Run> all = runs(*doc);
    QCOMPARE(texts(all, &Run::bold), QStringList{"Daily Values"});
    for (const Run& r : all) QCOMPARE(r.family + ' ' + QString::number(r.points), "Arial 10");
    // Times New Roman serves only the empty paragraphs at the end.
    const QTextBlock end = doc->lastBlock().previous();
    QVERIFY(end.text().isEmpty() && end.previous().text().isEmpty());
    QCOMPARE(end.charFormat().fontFamilies().toStringList(), QStringList{"Times New Roman"});
}

void HelpDocumentsTest::instructions() {
    const auto doc = rtfToDocument(stored(helpdoc::Instructions));
    const QList<Run> all = runs(*doc);
    QCOMPARE(paragraphs(*doc).value(0), "Velmora Instructions");
    QCOMPARE(texts(all, &Run::bold),
             (QStringList{"Velmora Instructions", "Database Information", "Legal Note"}));
    QVERIFY(paragraphs(*doc).contains("Database Information"));
    QVERIFY(paragraphs(*doc).contains("Legal Note"));
    QCOMPARE(texts(all, &Run::underline),
             (QStringList{"Page Up", "Page Down", "Search", "Search", "Reset",
                          "Adjust portion size", "Submit", "Calculate Daily Values"}));
    for (const Run& r : all) {
        const qreal points = r.text == QLatin1String("Velmora Instructions") ? 12 : 11;
        QCOMPARE(r.family + ' ' + QString::number(r.points),
                 "Times New Roman " + QString::number(points));
    }
    for (const char* fact :
         {"Spinach, cooked, boiled, drained, without salt", "\"1 cup portions\"", "type 0.25",
          "quantity 0.25", "unit 1 cup", "total weight of 45 grams", "\"1 piece\"", "125 grams",
          "one ounce equals 28.35 grams", "2,000 calories", "Release 24", "all 27 nutrients"}) {
        QVERIFY2(doc->toPlainText().contains(QLatin1String(fact)), fact);
    }
}

QTEST_MAIN(HelpDocumentsTest)
#include "test_helpdocuments.moc"
