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

    // Calories not measured (as before any food was shown) have neither amount nor percent line;
    // measured 0 reads 0 and has its line. Fats that read as zero have no note.
    void annotatedWithoutValues() {
        for (const QString& calories : {QString(), QStringLiteral(" 0")}) {
            ValueArray z;
            z[2] = calories;
            z[30] = QStringLiteral(" 0.000");
            z[29] = QStringLiteral("abc");
            DailyValueState st;
            st.svDVLine[2] = QStringLiteral("stale");
            QString header;
            const QString text = annotatedReport(z, st, header);
            const QString block = calories.isEmpty() ? "\r\n" : "0\r\n" + percentLine("0");
            QVERIFY(text.startsWith(" Total weight:  grams\r\n Item:  \r\n    \r\n Calories:  " +
                                    block + "\r\n Total Fat"));
            QCOMPARE(text.count(QStringLiteral("Percent Daily Value:")),
                     calories.isEmpty() ? 0 : 1);
            QVERIFY(!text.contains(QStringLiteral("FDA does not specify")));
        }
    }

    // Under the 2016 rule the report says so first, and vitamin A, which has no value there in
    // IU, gets a note instead of its percent.
    void annotated2016() {
        ValueArray z = granola();
        z[slot::Quantity] = QStringLiteral("2");
        z[slot::Unit] = QStringLiteral("1 cup");
        DailyValueState st;
        st.rule = DailyValueRule::Fda2016;
        QString header;
        const QString text = annotatedReport(z, st, header);
        QVERIFY(text.startsWith(
            "Percent Daily Values of the 2016 FDA rule\r\n Quantity: 2\r\n Unit: 1 cup\r\n"));
        QVERIFY(text.contains(" Vitamin A in iu:  2500\r\n    no 2016 Daily Value in IU\r\n\r\n"));
        QVERIFY(text.contains(" Total Fat in grams:  20.1\r\n" + percentLine("25.8")));
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
    // Under 2016 one Daily Value of each nutrient is 100%, and vitamin A has no line.
    void calcDV_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("percent");  // empty: no line
        QTest::addColumn<bool>("rule2016");
        using R = std::tuple<int, double, QString>;
        for (const auto& [slot, amount, percent] :
             {R(2, 0, "0"), R(3, 0, ""), R(11, 0.001, "0"), R(2, 245, "12.3"), R(2, 23, "1.2"),
              R(2, std::nextafter(7.0, 0.0), "0.4"), R(18, 100000, "2000"), R(19, 45, "150"),
              R(26, 6.6, "110")})
            QTest::addRow("slot %d: %.17g", slot, amount) << slot << amount << percent << false;
        const std::pair<int, double> rule2016[] = {
            {slot::of("ENERG_KCAL"), 2000}, {slot::of("PROTEIN"), 50},
            {slot::of("TOT_LIPID"), 78},    {slot::of("CARBOHYDRT"), 275},
            {slot::of("FIBER_TD"), 28},     {slot::of("CALCIUM"), 1300},
            {slot::of("PHOSPHORUS"), 1250}, {slot::of("IRON"), 18},
            {slot::of("SODIUM"), 2300},     {slot::of("POTASSIUM"), 4700},
            {slot::of("MAGNESIUM"), 420},   {slot::of("ZINC"), 11},
            {slot::of("COPPER"), 0.9},      {slot::of("MANGANESE"), 2.3},
            {slot::of("SELENIUM"), 55},     {slot::of("VIT_E"), 15},
            {slot::of("THIAMIN"), 1.2},     {slot::of("RIBOFLAVIN"), 1.3},
            {slot::of("NIACIN"), 16},       {slot::of("PANTO_ACID"), 5},
            {slot::of("VIT_B6"), 1.7},      {slot::of("FOLATE"), 400},
            {slot::of("VIT_B12"), 2.4},     {slot::of("VIT_C"), 90},
            {slot::of("FA_SAT"), 20},       {slot::of("CHOLESTRL"), 300},
            {slot::of("VIT_A"), 0}};
        for (const auto& [slot, dv] : rule2016)
            QTest::addRow("2016 slot %d", slot)
                << slot << (dv > 0 ? dv : 5000) << (dv > 0 ? "100" : "") << true;
    }
    void calcDV() {
        QFETCH(int, slot);
        QFETCH(double, amount);
        QFETCH(QString, percent);
        QFETCH(bool, rule2016);
        DailyValueState st;
        if (rule2016) st.rule = DailyValueRule::Fda2016;
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
        if (!percent.isEmpty()) QCOMPARE(st.vPercentDV[slot], percent.toDouble());
    }
};

QTEST_APPLESS_MAIN(TestReports)
#include "test_reports.moc"
