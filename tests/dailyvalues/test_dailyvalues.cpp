#include "dailyvalues/dailyvalues.h"

#include <QLocale>
#include <QTest>

#include <cmath>

using velmora::DailyValueState;
using velmora::ValueArray;

Q_DECLARE_METATYPE(ValueArray)

namespace {

const QString kCR = QStringLiteral("\r\n");

QString percentLine(const QString& percent) {
    return "          Percent Daily Value: " + percent + "%" + kCR;
}

// A nutrient block: label line, then the percent line or fat note if any, then an empty line.
QString block(const QString& labelAndValue, const QString& second = {}) {
    return labelAndValue + kCR + second + kCR;
}
QString block(const QString& labelAndValue, const char* percent) {
    return block(labelAndValue, percentLine(QString::fromLatin1(percent)));
}

const QString kPolyNote = "    FDA does not specify a DV for Polyunsaturated Fats" + kCR;
const QString kMonoNote = "    FDA does not specify a DV for Monounsaturated Fats" + kCR;
const QString kClosing = QStringLiteral(
    "Percent Daily Values are Food and Drug Administration\r\n"
    "guidelines and are based on a 2000 calorie diet.  If your calorie needs are higher or lower "
    "than 2000 calories per day then the daily values for carbohydrates, protein, fat, and fiber "
    "would be proportionally higher or lower also.  Daily Values for vitamins, minerals, and "
    "cholesterol would remain the same.");

// Slots 0..31 from one text, "|" between slots.
ValueArray fromTexts(const char* joined) {
    const QStringList v = QString::fromLatin1(joined).split(u'|');
    Q_ASSERT(v.size() == 32);
    ValueArray z;
    for (int i = 0; i < 32; ++i) z[i] = v[i];
    return z;
}

// Per 100 g as a list click leaves it. Fiber is a measured zero; selenium, vitamin E and
// polyunsaturated fat were not measured. Together with portion() every Daily Value is used.
ValueArray yogurt() {
    ValueArray z = fromTexts(
        "Yogurt, plain, low fat|85.07|63|5.25|1.55|7.04|0|1.09|183|144|0.08|70|234|17|"
        "0.89|0.013|0.004||66||0.044|0.214|0.114|0.591|0.049|11|0.56|0.8|1|0.426||6");
    z[33] = z[34] = QStringLiteral("0");
    z[41] = QStringLiteral("100");
    return z;
}

const QString kYogurtText =
    " Total weight: 100 grams\r\n Item:  Yogurt, plain, low fat\r\n    \r\n" +
    block(" Calories:  63", "3.2") + block(" Total Fat in grams:  1.55", "2.4") +
    block("    Saturated Fat in grams:  1", "5") + block("    Polyunsaturated Fat in grams:  ") +
    block("    Monounsaturated Fat in grams:  0.426", kMonoNote) +
    block(" Cholesterol in mg:  6", "2") + block(" Carbohydrate in grams:  7.04", "2.3") +
    block(" Fiber in grams:  0") + block(" Protein in grams:  5.25", "10.5") +
    block(" Sodium in mg:  70", "2.9") + block(" Potassium in mg:  234", "6.7") +
    block(" Calcium in mg:  183", "18.3") + block(" Phosphorus in mg:  144", "14.4") +
    block(" Iron in mg:  0.08", "0.4") + block(" Magnesium in mg:  17", "4.3") +
    block(" Zinc in mg:  0.89", "5.9") + block(" Copper in mg:  0.013", "0.7") +
    block(" Manganese in mg:  0.004", "0.2") + block(" Selenium in in micrograms:  ") +
    block(" Vitamin A in iu:  66", "1.3") + block(" Thiamin in mg:  0.044", "2.9") +
    block(" Riboflavin in mg:  0.214", "12.6") + block(" Niacin in mg:  0.114", "0.6") +
    block(" Pantothenic acid mg:  0.591", "5.9") + block(" Vitamin B6 in mg:  0.049", "2.5") +
    block(" Folic Acid in micrograms:  11", "2.8") +
    block(" Vitamin B12 in micrograms:  0.56", "9.3") + block(" Vitamin C in mg:  0.8", "1.3") +
    block(" Vitamin E in mg:  ") + kClosing;

// A portion as the portion command leaves it: every value carries a leading blank.
ValueArray portion(const char* quantity) {
    ValueArray z = fromTexts(
        "Lentils, cooked| 69.6| 23| 14.003| 0.5| 41.984| 4.006| 0.8| 37.5| 0| 2.25|"
        " 450.56| 1| 0.001| 0| 0.2| 0.245| 3.5| 100000| 1.5| 0.15| 0.017| 4| 0| 0.35| 12|"
        " 0.06| 15| 0.1| 0| 0.2| 15.002");
    z[33] = QStringLiteral("1 cup");
    z[34] = QString::fromLatin1(quantity);
    z[41] = QStringLiteral("45.00");
    return z;
}

const QString kPortionBody =
    " Total weight: 45.00 grams\r\n Item:  Lentils, cooked\r\n    \r\n" +
    block(" Calories:  23", "1.2") + block(" Total Fat in grams:   0.5", "0.8") +
    block("    Saturated Fat in grams:   0.1", "0.5") +
    block("    Polyunsaturated Fat in grams:   0.2", kPolyNote) +
    block("    Monounsaturated Fat in grams:   0") + block(" Cholesterol in mg:   15.002", "5") +
    block(" Carbohydrate in grams:   41.984", "14") + block(" Fiber in grams:   4.006", "16") +
    block(" Protein in grams:   14.003", "28") + block(" Sodium in mg:   450.56", "18.8") +
    block(" Potassium in mg:   1", "0") + block(" Calcium in mg:   37.5", "3.8") +
    block(" Phosphorus in mg:   0") + block(" Iron in mg:   2.25", "12.5") +
    block(" Magnesium in mg:   0.001", "0") + block(" Zinc in mg:   0") +
    block(" Copper in mg:   0.2", "10") + block(" Manganese in mg:   0.245", "12.3") +
    block(" Selenium in in micrograms:   3.5", "5") + block(" Vitamin A in iu:   100000", "2000") +
    block(" Thiamin in mg:   0.15", "10") + block(" Riboflavin in mg:   0.017", "1") +
    block(" Niacin in mg:   4", "20") + block(" Pantothenic acid mg:   0") +
    block(" Vitamin B6 in mg:   0.35", "17.5") + block(" Folic Acid in micrograms:   12", "3") +
    block(" Vitamin B12 in micrograms:   0.06", "1") + block(" Vitamin C in mg:   15", "25") +
    block(" Vitamin E in mg:   1.5", "5") + kClosing;

}  // namespace

class TestDailyValues : public QObject {
    Q_OBJECT

    QLocale saved_;

  private slots:
    // A locale that groups thousands: no percent or calories text may pick the grouping up.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(saved_); }

    void calcDV_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("percent");  // empty: no line

        QTest::newRow("cholesterol 15.002 mg") << 31 << 15.002 << "5";
        QTest::newRow("carbohydrate 41.984 g") << 5 << 41.984 << "14";
        QTest::newRow("fiber 4.006 g") << 6 << 4.006 << "16";
        QTest::newRow("protein 14.003 g") << 3 << 14.003 << "28";
        QTest::newRow("sodium 450.56 mg") << 11 << 450.56 << "18.8";
        QTest::newRow("calories 23, a half below its double") << 2 << 23.0 << "1.2";
        QTest::newRow("calories 0 still get a line") << 2 << 0.0 << "0";
        QTest::newRow("protein trace reads 0") << 3 << 0.02 << "0";
        QTest::newRow("sodium 0.001 reads 0") << 11 << 0.001 << "0";
        QTest::newRow("exactly 12.25 rounds up") << 2 << 245.0 << "12.3";
        // The double just below 0.35 is 0.350000000000000 to 15 digits, so it rounds up.
        QTest::newRow("hair below 0.35") << 2 << std::nextafter(7.0, 0.0) << "0.4";
        QTest::newRow("vitamin A at 20 x DV, no grouping") << 18 << 100000.0 << "2000";
        QTest::newRow("protein 0 has no line") << 3 << 0.0 << "";
    }

    void calcDV() {
        QFETCH(int, index);
        QFETCH(double, amount);
        QFETCH(QString, percent);
        if (QByteArray(QTest::currentDataTag()) == "hair below 0.35") {
            const double raw = amount * 100 / 2000;
            QVERIFY(raw < 0.35);
            QCOMPARE(QString::number(raw, 'g', 15), QStringLiteral("0.35"));
        }
        DailyValueState st;
        st.vAmount[index] = amount;
        velmora::CalcDV(st);
        QCOMPARE(st.svDVLine[index], percent.isEmpty() ? QString() : percentLine(percent));
        if (!percent.isEmpty()) QCOMPARE(st.vPercentDV[index], percent.toDouble());
        // Nothing else moved: calories (zero) keep their 0% line, all others stay empty.
        for (int i = 2; i <= 31; ++i)
            if (i != index) QCOMPARE(st.svDVLine[i], i == 2 ? percentLine("0") : QString());
    }

    void calcDVClearsEveryLine() {
        DailyValueState st;
        st.svDVLine.fill(QStringLiteral("stale"));
        for (int i = 1; i <= 31; ++i) st.vAmount[i] = 1;
        velmora::CalcDV(st);
        for (int i : {7, 29, 30})
            QVERIFY2(st.svDVLine[i].isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(st.svDVLine[11], percentLine("0"));

        st.vAmount[11] = 0;  // the next food has no sodium
        velmora::CalcDV(st);
        QVERIFY(st.svDVLine[11].isEmpty());
        QCOMPARE(st.svDVLine[2], percentLine("0.1"));
    }

    void annotatedReport_data() {
        QTest::addColumn<ValueArray>("z");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        const QLocale english;
        QTest::newRow("per 100 g") << yogurt() << english << kYogurtText;
        QTest::newRow("household measures")
            << portion("0.25") << english << " Quantity: 0.25\r\n Unit: 1 cup\r\n" + kPortionBody;
        QTest::newRow("decimal comma quantity")
            << portion("0,25") << QLocale(QLocale::German, QLocale::Germany)
            << " Quantity: 0,25\r\n Unit: 1 cup\r\n" + kPortionBody;
        QTest::newRow("quantity 0 drops the header despite a unit")
            << portion("0") << english << kPortionBody;
        QTest::newRow("empty quantity drops the header") << portion("") << english << kPortionBody;
    }

    void annotatedReport() {
        QFETCH(ValueArray, z);
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        DailyValueState st;
        QString header;
        QCOMPARE(velmora::annotatedReport(z, st, header, locale), expected);
        QVERIFY(expected.startsWith(header + " Total weight: "));
    }

    // Before any food was shown: labels only, calories read 0 with their 0% line, nothing else.
    void emptyArray() {
        DailyValueState st;
        QString header;
        const QString text = velmora::annotatedReport(ValueArray{}, st, header);
        QVERIFY(header.isEmpty());
        QVERIFY(text.startsWith(" Total weight:  grams\r\n Item:  \r\n    \r\n" +
                                block(" Calories:  0", "0") + block(" Total Fat in grams:  ") +
                                block("    Saturated Fat in grams:  ") +
                                block("    Polyunsaturated Fat in grams:  ") +
                                block("    Monounsaturated Fat in grams:  ")));
        QCOMPARE(text.count(QStringLiteral("Percent Daily Value:")), 1);
        QVERIFY(text.endsWith(block(" Vitamin E in mg:  ") + kClosing));
    }

    void fatNotes_data() {
        QTest::addColumn<QString>("poly");
        QTest::addColumn<QString>("mono");
        QTest::addColumn<bool>("polyNote");
        QTest::addColumn<bool>("monoNote");
        const auto row = [](const char* name, const char* poly, const char* mono, bool pn,
                            bool mn) {
            QTest::newRow(name) << QString::fromLatin1(poly) << QString::fromLatin1(mono) << pn
                                << mn;
        };
        row("zero", "0", "0", false, false);
        row("empty", "", "", false, false);
        row("zero with decimals, not a number", " 0.000", "abc", false, false);
        row("polyunsaturated only", "1.2", "", true, false);
        row("monounsaturated only", " 0", " 0.064", false, true);
    }

    void fatNotes() {
        QFETCH(QString, poly);
        QFETCH(QString, mono);
        QFETCH(bool, polyNote);
        QFETCH(bool, monoNote);
        ValueArray z;
        z[30] = poly;
        z[29] = mono;
        DailyValueState st;
        QString header;
        const QString text = velmora::annotatedReport(z, st, header);
        QVERIFY(text.contains(
            block("    Polyunsaturated Fat in grams:  " + poly, polyNote ? kPolyNote : QString()) +
            block("    Monounsaturated Fat in grams:  " + mono, monoNote ? kMonoNote : QString()) +
            " Cholesterol in mg:  "));
    }

    void repeatableAndLeavesArrayAlone() {
        const ValueArray before = portion("0.25");
        ValueArray z = before;
        DailyValueState st;
        QString header;
        const QString first = velmora::annotatedReport(z, st, header);
        QCOMPARE(velmora::annotatedReport(z, st, header), first);
        QVERIFY(z == before);
    }
};

QTEST_APPLESS_MAIN(TestDailyValues)
#include "test_dailyvalues.moc"
