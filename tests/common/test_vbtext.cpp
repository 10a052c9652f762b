// Number <-> text conversions: the exact texts the reports are compared on.
#include "common/vbtext.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <limits>

using namespace velmora;

class TestVbText : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void val_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("plain") << "0.25" << 0.25;
        QTest::newRow("leading blanks") << "   12.5abc" << 12.5;
        QTest::newRow("fraction stops at slash") << "1/4" << 1.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("sign") << "-3" << -3.0;
        QTest::newRow("plus") << "+7" << 7.0;
        QTest::newRow("no leading digit") << ".5" << 0.5;
        QTest::newRow("dot only") << "." << 0.0;
        QTest::newRow("comma is not a point") << "0,25" << 0.0;
        QTest::newRow("exponent") << "1e3x" << 1000.0;
        QTest::newRow("exponent sign") << "2.5E-2" << 0.025;
        QTest::newRow("dangling exponent") << "4e" << 4.0;
        QTest::newRow("dangling exponent sign") << "4e+" << 4.0;
        QTest::newRow("blank inside") << "1 2" << 1.0;
        QTest::newRow("portion text") << " 41.984" << 41.984;
        QTest::newRow("underflow") << "1e-999" << 0.0;
        QTest::newRow("many zeros") << "0.000000000000000000000000000001" << 1e-30;
    }
    void val() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text), expected);
    }
    void valOverflowIsInfinite() {
        QVERIFY(std::isinf(Val(u"1e999")));
        QVERIFY(std::isinf(Val(QString(400, u'9'))));
        QCOMPARE(Val(u"-1e999"), -std::numeric_limits<double>::infinity());
    }

    void numberText_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 5.0 << 15 << "5";
        QTest::newRow("one decimal") << 18.8 << 15 << "18.8";
        QTest::newRow("no grouping") << 2000.0 << 15 << "2000";
        QTest::newRow("zero") << 0.0 << 15 << "0";
        QTest::newRow("negative zero") << -0.0 << 15 << "0";
        QTest::newRow("negative") << -2.5 << 15 << "-2.5";
        QTest::newRow("15 digits") << 0.1 + 0.2 << 15 << "0.3";
        QTest::newRow("small, no exponent") << 1.5e-7 << 15 << "0.00000015";
        QTest::newRow("large, no exponent") << 1e20 << 15 << "100000000000000000000";
        QTest::newRow("rounds at 15 digits") << 1234567.891234567 << 15 << "1234567.89123457";
        QTest::newRow("single") << double(0.1f) << 7 << "0.1";
        QTest::newRow("single, whole") << double(1234567.0f) << 7 << "1234567";
        QTest::newRow("digits beyond a double's") << 0.1 << INT_MAX << "0.10000000000000001";
        QTest::newRow("digits below one") << 1234.0 << INT_MIN << "1000";
    }
    void numberText() {
        QFETCH(double, x);
        QFETCH(int, digits);
        QFETCH(QString, expected);
        QCOMPARE(velmora::numberText(x, digits), expected);
        QCOMPARE(velmora::numberText(x, digits, u','), expected.replace(u'.', u','));
    }

    void roundedText_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three places") << 12.34567 << 3 << "12.346";
        QTest::newRow("trailing zeros dropped") << 2.5 << 3 << "2.5";
        QTest::newRow("whole") << 4.0 << 3 << "4";
        QTest::newRow("no grouping") << 1234.5 << 3 << "1234.5";
        QTest::newRow("trace becomes zero") << 0.0004 << 3 << "0";
        QTest::newRow("calories") << 52.26 << 1 << "52.3";
        QTest::newRow("half away from zero") << 12.25 << 1 << "12.3";
        QTest::newRow("binary just below half") << 0.35 << 1 << "0.4";
        QTest::newRow("carry") << 9.9996 << 3 << "10";
        QTest::newRow("below one keeps zero") << 0.25 << 3 << "0.25";
        QTest::newRow("negative half") << -0.25 << 1 << "-0.3";
        QTest::newRow("decimals below zero") << 2.5 << INT_MIN << "3";
        QTest::newRow("decimals beyond a double's") << 1e300 << INT_MAX << "1" + QString(300, u'0');
    }
    void roundedText() {
        QFETCH(double, x);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(velmora::roundedText(x, n), expected);
    }
    void roundsOnFifteenDigits() {
        // A double a hair below 0.35 whose 15-digit form is 0.350000000000000 rounds up.
        const double below = std::nextafter(0.35, 0.0);
        QVERIFY(below < 0.35);
        QCOMPARE(roundHalfAway(below, 1), 0.4);
        QCOMPARE(roundHalfAway(12.25, 1), 12.3);
        QCOMPARE(roundHalfAway(0.04, 1), 0.0);
    }

    void formatNumber_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two decimals") << 30.0 << 2 << "en_US"
                                      << "30.00";
        QTest::newRow("grouping") << 1500.0 << 2 << "en_US"
                                  << "1,500.00";
        QTest::newRow("leading zero") << 0.5 << 2 << "en_US"
                                      << "0.50";
        QTest::newRow("million") << 1234567.125 << 2 << "en_US"
                                 << "1,234,567.13";
        QTest::newRow("german") << 1500.0 << 2 << "de_DE"
                                << "1.500,00";
        QTest::newRow("no decimals") << 2.5 << 0 << "en_US"
                                     << "3";
        QTest::newRow("negative") << -1500.5 << 1 << "en_US"
                                  << "-1,500.5";
        QTest::newRow("negative rounding to zero") << -0.01 << 1 << "en_US"
                                                   << "0.0";
        QTest::newRow("15-digit half") << std::nextafter(0.35, 0.0) << 1 << "en_US"
                                       << "0.4";
        QTest::newRow("decimals below zero") << 1500.4 << -1 << "en_US"
                                             << "1,500";
    }
    void formatNumber() {
        QFETCH(double, x);
        QFETCH(int, n);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(FormatNumber(x, n, QLocale(locale)), expected);
    }

    void quantityZero_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("zero");
        QTest::newRow("zero") << "0"
                              << "en_US" << true;
        QTest::newRow("empty") << ""
                               << "de_DE" << true;
        QTest::newRow("letters") << "abc"
                                 << "de_DE" << true;
        QTest::newRow("plain quarter") << "0.25"
                                       << "en_US" << false;
        QTest::newRow("comma quarter in German") << "0,25"
                                                 << "de_DE" << false;
        QTest::newRow("comma quarter in English") << "0,25"
                                                  << "en_US" << true;
    }
    void quantityZero() {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(bool, zero);
        QCOMPARE(quantityIsZero(text, QLocale(locale)), zero);
    }
};

QTEST_APPLESS_MAIN(TestVbText)
#include "test_vbtext.moc"
