// SPDX-License-Identifier: GPL-3.0-or-later
// The nutrient report and the report annotated with Percent Daily Values. The golden files hold
// both reports of granola() byte for byte.
#include "dailyvalues/dailyvalues.h"
#include "report/valuearrays.h"
#include "testcase.h"

#include <QTest>

#include <cmath>

using namespace velmora;

namespace {

// A food as a list click leaves it: per 100 g, quantity and unit "0". Vitamin E was not measured,
// vitamin B12 was measured and not found.
ValueArray granola() {
    const QStringList v = QStringLiteral(
                              "Granola, fortified|5.9|471|10.3|20.1|64.1|7.6|2.1|333|389|12.1|525|"
                              "539|131|5.2|0.53|4.9|19.5|2500||1.09|1.22|14.3|1.3|1.4|286|0|21|3.3|"
                              "9.4|8.1|45")
                              .split(u'|');
    ValueArray z;
    std::copy(v.begin(), v.end(), z.begin());
    z[slot::Unit] = z[slot::Quantity] = QStringLiteral("0");
    z[slot::TotalWeight] = QStringLiteral("100");
    return z;
}

QString golden(const char* name) {
    QFile file(QFINDTESTDATA(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

QString percentLine(const QString& percent) {
    return "          Percent Daily Value: " + percent + "%\r\n";
}

}  // namespace

class TestReports : public velmora::test::TestCase {
    Q_OBJECT
  private slots:
    // A locale that groups thousands: no text may pick the grouping up.
    void init() {
        TestCase::init();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void goldens() {
        QString header = QStringLiteral("stale");
        QCOMPARE(reportText(granola(), header), golden("granola-report.txt"));
        QVERIFY(header.isEmpty());
        DailyValueState st;
        for (int run = 0; run < 2; ++run) {  // what a run leaves in the state changes nothing
            QCOMPARE(annotatedReport(granola(), st, header), golden("granola-annotated.txt"));
            QVERIFY(header.isEmpty());
        }
    }

    // Before any food was shown, calories read 0 and have their line; fats that read as zero have
    // no note.
    void annotatedWithoutValues() {
        ValueArray z;
        z[30] = QStringLiteral(" 0.000");
        z[29] = QStringLiteral("abc");
        DailyValueState st;
        QString header;
        const QString text = annotatedReport(z, st, header);
        QVERIFY(text.startsWith(" Total weight:  grams\r\n Item:  \r\n    \r\n Calories:  0\r\n" +
                                percentLine("0") + "\r\n"));
        QCOMPARE(text.count(QStringLiteral("Percent Daily Value:")), 1);
        QVERIFY(!text.contains(QStringLiteral("FDA does not specify")));
    }

    // Shown unless the quantity reads as zero in the locale given, or else the default one.
    void portionHeader_data() {
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("shown");
        const QLocale c = QLocale::c(), german(QLocale::German, QLocale::Germany);
        QTest::newRow("quarter") << "0.25" << c << true;
        QTest::newRow("zero") << "0" << c << false;
        QTest::newRow("empty") << "" << c << false;
        QTest::newRow("decimal comma") << "0,25" << german << true;
        QTest::newRow("zero with comma") << "0,0" << german << false;
    }
    void portionHeader() {
        QFETCH(QString, quantity);
        QFETCH(QLocale, locale);
        QFETCH(bool, shown);
        ValueArray z = granola();
        z[slot::Unit] = QStringLiteral("1 cup");
        z[slot::Quantity] = quantity;
        // The header each writer used, the header given back and the text before the weight line.
        const auto headers = [&](const auto&... given) {
            QString a, b;
            DailyValueState st;
            const QString report = reportText(z, a, given...);
            const QString annotated = annotatedReport(z, st, b, given...);
            const QString weight = QStringLiteral(" Total weight: ");
            return QStringList{velmora::portionHeader(z, given...), a, b,
                               report.left(report.indexOf(weight)),
                               annotated.left(annotated.indexOf(weight))};
        };
        const QString expected = shown ? " Quantity: " + quantity + "\r\n Unit: 1 cup\r\n" : "";
        QCOMPARE(headers(locale), QStringList(5, expected));
        QLocale::setDefault(locale);
        QCOMPARE(headers(), QStringList(5, expected));
    }

    // One amount set, in slot: calories always get a percent line, the others unless the amount is
    // exactly 0 (a trace reads 0). Halves round away from zero on 15 digits; no grouping.
    void calcDV_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("percent");  // empty: no line
        using R = std::tuple<int, double, QString>;
        for (const auto& [slot, amount, percent] :
             {R(2, 0, "0"), R(3, 0, ""), R(11, 0.001, "0"), R(2, 245, "12.3"), R(2, 23, "1.2"),
              R(2, std::nextafter(7.0, 0.0), "0.4"), R(18, 100000, "2000"), R(19, 45, "150"),
              R(26, 6.6, "110")})
            QTest::addRow("slot %d: %.17g", slot, amount) << slot << amount << percent;
    }
    void calcDV() {
        QFETCH(int, slot);
        QFETCH(double, amount);
        QFETCH(QString, percent);
        DailyValueState st;
        // Lines of an earlier food go, those of nutrients without a Daily Value too.
        st.svDVLine[slot] = st.svDVLine[7] = st.svDVLine[29] = QStringLiteral("stale");
        st.vAmount[slot] = amount;
        CalcDV(st);
        QStringList shown;
        for (const QString& line : st.svDVLine)
            if (!line.isEmpty()) shown << line;
        QStringList expected{percentLine(slot == 2 ? percent : "0")};
        if (slot != 2 && !percent.isEmpty()) expected << percentLine(percent);
        QCOMPARE(shown, expected);
        QCOMPARE(st.vPercentDV[slot], percent.toDouble());
    }
};

QTEST_APPLESS_MAIN(TestReports)
#include "test_reports.moc"
