#include "report/valuearrays.h"

#include <QLocale>
#include <QStringList>
#include <QTest>

#include <set>

using velmora::ValueArray;

Q_DECLARE_METATYPE(ValueArray)

namespace {

// Lines joined as the item view receives them: every line, the last too, ends with CR LF.
QString lines(const QStringList& l) {
    return l.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// A food as a list click leaves it: per 100 g, no portion. Zinc and vitamin E were not measured;
// vitamin B12 and cholesterol were measured and not found. Water and ash are never shown.
ValueArray lentils() {
    const QStringList v =
        QStringLiteral(
            "Lentils, pink, cooked, boiled, without salt|69.64|116|9.02|0.38|20.13|"
            "7.9|0.84|19|180|3.33|2|369|36||0.251|0.494|2.8|8||0.169|0.073|1.06|0.638|0.178|"
            "181|0|1.5|0.053|0.064|0.175|0")
            .split(u'|');
    ValueArray z;
    for (int i = 0; i < 32; ++i) z[i] = v[i];
    z[33] = z[34] = QStringLiteral("0");
    z[41] = QStringLiteral("100");
    return z;
}

// The report's labels in order, blanks exact; line 0 is followed by its value and " grams".
const QStringList kLabels = {
    " Total weight: ",
    " Item:  ",
    "    ",
    " Calories:  ",
    "    ",
    " Total Fat in grams: ",
    "    Saturated Fat in grams:  ",
    "    Polyunsaturated Fat in grams:  ",
    "    Monounsaturated Fat in grams:  ",
    " Cholesterol in mg:  ",
    " Carbohydrate in grams:  ",
    " Fiber in grams:  ",
    " Protein in grams: ",
    " Sodium in mg:  ",
    " Potassium in mg:  ",
    " Calcium in mg:  ",
    " Phosphorus in mg:  ",
    " Iron in mg:  ",
    " Magnesium in mg:  ",
    " Zinc in mg:  ",
    " Copper in mg:  ",
    " Manganese in mg:  ",
    " Selenium in in micrograms:  ",
    " Vitamin A in iu:  ",
    " Thiamin in mg:  ",
    " Riboflavin in mg:  ",
    " Niacin in mg:  ",
    " Pantothenic acid in mg:  ",
    " Vitamin B6 in mg:  ",
    " Folic Acid in micrograms:  ",
    " Vitamin B12 in micrograms:  ",
    " Vitamin C in mg:  ",
    " Vitamin E in mg:  ",
};

// What lentils() shows after each label, line by line.
const QStringList kLentilValues =
    QStringLiteral(
        "100|Lentils, pink, cooked, boiled, without salt||116||0.38|0.053|0.175|0.064|"
        "0|20.13|7.9|9.02|2|369|19|180|3.33|36||0.251|0.494|2.8|8|0.169|0.073|1.06|0.638|0.178|"
        "181|0|1.5|")
        .split(u'|');

constexpr int kZincLine = 19;

QString report(const QStringList& values, const QString& header = {}) {
    QStringList l;
    for (int i = 0; i < kLabels.size(); ++i)
        l << kLabels[i] + values.value(i) + (i == 0 ? QStringLiteral(" grams") : QString());
    return header + lines(l);
}

}  // namespace

class TestReport : public QObject {
    Q_OBJECT

  private slots:
    void reportText_data() {
        QTest::addColumn<ValueArray>("z");
        QTest::addColumn<QString>("expected");

        QTest::newRow("per 100 g, empty and zero values") << lentils() << report(kLentilValues);

        ValueArray zincZero = lentils();
        zincZero[14] = QStringLiteral("0");
        QStringList zincValues = kLentilValues;
        zincValues[kZincLine] = QStringLiteral("0");
        QTest::newRow("zinc measured as zero") << zincZero << report(zincValues);

        // Values are inserted as they stand: a portion value keeps its leading blank.
        ValueArray portion = lentils();
        portion[14] = QStringLiteral(" 0.318");
        portion[33] = QStringLiteral("1 cup");
        portion[34] = QStringLiteral("2");
        portion[41] = QStringLiteral("396.00");
        QStringList portionValues = kLentilValues;
        portionValues[0] = QStringLiteral("396.00");
        portionValues[kZincLine] = QStringLiteral(" 0.318");
        QTest::newRow("household portion")
            << portion << report(portionValues, QStringLiteral(" Quantity: 2\r\n Unit: 1 cup\r\n"));

        // Before any food was shown every slot is empty; the labels still come out.
        QTest::newRow("all slots empty") << ValueArray{} << report({});
    }

    void reportText() {
        QFETCH(ValueArray, z);
        QFETCH(QString, expected);
        QString header;
        const QString text = velmora::reportText(z, header, QLocale::c());
        QCOMPARE(text, expected);
        QVERIFY(text.startsWith(header));
    }

    void portionHeader_data() {
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("shown");

        const QLocale c = QLocale::c();
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("quarter") << "0.25" << c << true;
        QTest::newRow("whole number") << "2" << c << true;
        QTest::newRow("zero") << "0" << c << false;
        QTest::newRow("empty") << "" << c << false;
        QTest::newRow("not a number") << "abc" << c << false;
        QTest::newRow("decimal comma, German") << "0,25" << german << true;
        QTest::newRow("point form, German") << "0.25" << german << true;
        QTest::newRow("zero, German") << "0" << german << false;
        QTest::newRow("zero with comma, German") << "0,0" << german << false;
        QTest::newRow("comma is no decimal point in C") << "0,25" << c << false;
    }

    void portionHeader() {
        QFETCH(QString, quantity);
        QFETCH(QLocale, locale);
        QFETCH(bool, shown);
        ValueArray z;
        z[33] = QStringLiteral("1 cup");
        z[34] = quantity;
        const QString expected =
            shown ? " Quantity: " + quantity + "\r\n Unit: 1 cup\r\n" : QString();
        QCOMPARE(velmora::portionHeader(z, locale), expected);
        QString used;
        const QString text = velmora::reportText(z, used, locale);
        QCOMPARE(used, expected);
        QVERIFY(text.startsWith(expected + " Total weight: "));
    }

    // The main window calls the writer without a locale: the user's default must apply.
    void defaultLocaleDecimalComma() {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ValueArray z;
        z[33] = QStringLiteral("1 Tasse");
        z[34] = QStringLiteral("0,25");
        QString header;
        const QString text = velmora::reportText(z, header);
        QLocale::setDefault(saved);
        QVERIFY(text.startsWith(" Quantity: 0,25\r\n Unit: 1 Tasse\r\n Total weight: "));
    }

    void fillArraySCopiesFieldsAndWeight() {
        ValueArray s;
        s.fill(QStringLiteral("kept"));
        std::set<int> asked;
        velmora::FillArray_S(s, [&](int i) {
            asked.insert(i);
            return i == 14 ? QString() : QStringLiteral("f%1").arg(i);
        });
        for (int i = 0; i <= 31; ++i)
            QCOMPARE(s[i], i == 14 ? QString() : QStringLiteral("f%1").arg(i));
        for (int i = 32; i <= 40; ++i) QCOMPARE(s[i], QStringLiteral("kept"));
        QCOMPARE(s[41], QStringLiteral("100"));
        QCOMPARE(asked.size(), std::size_t{32});
        QCOMPARE(*asked.rbegin(), 31);
    }
};

QTEST_APPLESS_MAIN(TestReport)
#include "test_report.moc"
