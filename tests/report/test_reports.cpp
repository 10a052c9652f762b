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

    // Each rule's report of granola names the rule first and ends on its own note; the percents
    // are worked out by hand from the rule's own table (the EU's sodium from salt's 6 g, the
    // FSANZ energy from 8700 kJ), and a nutrient without a value in the report's unit has a note.
    void annotatedByRule_data() {
        QTest::addColumn<DailyValueRule>("rule");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QStringList>("blocks");
        const auto block = [](const char* line, const QString& percentOrNote) {
            return QString::fromUtf8(line) + "\r\n" +
                   (percentOrNote.startsWith(' ') ? percentOrNote + "\r\n"
                                                  : percentLine(percentOrNote)) +
                   "\r\n";
        };
        QTest::newRow("eu")
            << DailyValueRule::Eu
            << "Percent of the reference intakes of Regulation (EU) No 1169/2011"
            << QStringList{
                   block(" Calories:  471", "23.6"),
                   block(" Sodium in mg:  525", "21.9"),
                   block(" Iron in mg:  12.1", "86.4"),
                   block(" Fiber in grams:  7.6", "    no EU reference value"),
                   block(" Vitamin A in iu:  2500", "    no EU reference value in IU"),
                   block("    Polyunsaturated Fat in grams:  8.1", "    no EU reference value")};
        QTest::newRow("ca")
            << DailyValueRule::Canada << "Percent Daily Values of Canada's Table of Daily Values"
            << QStringList{block(" Calories:  471", "    no Canadian Daily Value"),
                           block(" Total Fat in grams:  20.1", "26.8"),
                           block(" Potassium in mg:  539", "15.9"),
                           block(" Cholesterol in mg:  45", "    no Canadian Daily Value"),
                           block(" Vitamin A in iu:  2500", "    no Canadian Daily Value in IU")};
        QTest::newRow("anz") << DailyValueRule::Anz
                             << "Percent daily intake of the Australia New Zealand Food Standards "
                                "Code"
                             << QStringList{
                                    block(" Calories:  471", "22.7"),
                                    block("    Saturated Fat in grams:  3.3", "13.8"),
                                    block(" Iron in mg:  12.1", "100.8"),
                                    block(" Potassium in mg:  539", "    no FSANZ reference value"),
                                    block(" Vitamin A in iu:  2500",
                                          "    no FSANZ reference value in IU")};
    }
    void annotatedByRule() {
        QFETCH(DailyValueRule, rule);
        QFETCH(QString, header);
        QFETCH(QStringList, blocks);
        DailyValueState st;
        st.rule = rule;
        QString portion;
        const QString text = annotatedReport(granola(), st, portion);
        QVERIFY(text.startsWith(header + "\r\n Total weight: 100 grams\r\n"));
        for (const QString& b : blocks) QVERIFY2(text.contains(b), qPrintable(b));
        // Nothing of the FDA's: neither its notes on the fats nor its closing note.
        QVERIFY(!text.contains(QStringLiteral("FDA")) &&
                !text.contains(QStringLiteral("Food and")));
    }

    // A value comes to the report's unit within its quantity only, and unchanged in the same
    // unit; a table built from a national food table takes its country's rule, any other 1993.
    void referenceUnits_data() {
        QTest::addColumn<double>("amount");
        QTest::addColumn<ReferenceUnit>("unit");
        QTest::addColumn<int>("nutrient");
        QTest::addColumn<double>("per");
        QTest::addColumn<double>("expected");  // NaN: none
        const double none = std::nan("");
        using enum ReferenceUnit;
        QTest::newRow("kJ to kcal")
            << 8700.0 << KJ << slot::of("ENERG_KCAL") << 1.0 << 8700 / 4.184;
        QTest::newRow("salt to sodium") << 6.0 << G << slot::of("SODIUM") << 2.5 << 2400.0;
        QTest::newRow("mg to micrograms") << 0.055 << Mg << slot::of("SELENIUM") << 1.0 << 55.0;
        QTest::newRow("same unit") << 0.9 << Mg << slot::of("COPPER") << 1.0 << 0.9;
        QTest::newRow("equivalents") << 10.0 << MgAlphaTE << slot::of("VIT_E") << 1.0 << 10.0;
        QTest::newRow("RAE to IU") << 900.0 << UgRAE << slot::of("VIT_A") << 1.0 << none;
        QTest::newRow("mass to IU") << 800.0 << Ug << slot::of("VIT_A") << 1.0 << none;
        QTest::newRow("energy to mass") << 8700.0 << KJ << slot::of("PROTEIN") << 1.0 << none;
    }
    void referenceUnits() {
        QFETCH(double, amount);
        QFETCH(ReferenceUnit, unit);
        QFETCH(int, nutrient);
        QFETCH(double, per);
        QFETCH(double, expected);
        const std::optional<double> dv = inReportUnit({u"x", amount, unit, nutrient, per});
        QCOMPARE(dv.has_value(), !std::isnan(expected));
        if (dv) QCOMPARE(*dv, expected);
    }

    void tableRule_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<DailyValueRule>("rule");
        QTest::newRow("Ciqual") << "Ciqual French food composition table" << DailyValueRule::Eu;
        QTest::newRow("NEVO") << "NEVO, Dutch food composition database (RIVM)"
                              << DailyValueRule::Eu;
        QTest::newRow("BLS") << QString::fromUtf8("Bundeslebensmittelschl\u00fcssel (BLS)")
                             << DailyValueRule::Eu;
        QTest::newRow("CoFID")
            << "McCance and Widdowson's The Composition of Foods Integrated Dataset (CoFID)"
            << DailyValueRule::Eu;
        QTest::newRow("CNF") << "Canadian Nutrient File (CNF)" << DailyValueRule::Canada;
        QTest::newRow("AFCD") << "Australian Food Composition Database (AFCD)"
                              << DailyValueRule::Anz;
        QTest::newRow("USDA") << "USDA FoodData Central" << DailyValueRule::Fda1993;
        QTest::newRow("a name like one") << "Canadian Nutrient File" << DailyValueRule::Fda1993;
        QTest::newRow("no source record") << QString() << DailyValueRule::Fda1993;
    }
    void tableRule() {
        QFETCH(QString, source);
        QTEST(tableDailyValueRule(source), "rule");
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
