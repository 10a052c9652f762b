// SPDX-License-Identifier: GPL-3.0-or-later
// Number <-> text conversions: the exact texts the reports are compared on.
#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8locale.h"
#include "testcase.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <limits>

using namespace velmora;

// A number, the digits or decimals to write it with (out of range in some rows), its text.
using Row = std::tuple<double, int, QString>;
Q_DECLARE_METATYPE(Row)

class TestNumberText : public velmora::test::TestCase {
    Q_OBJECT
  private slots:
    // V: Val, N: numberText, R: roundedText, F: FormatNumber in US English, G: in German.
    void text_data() {
        QTest::addColumn<char>("fn");
        QTest::addColumn<Row>("row");
        const auto add = [](char fn, std::initializer_list<Row> rows) {
            for (const Row& r : rows)
                QTest::addRow("%c %.17g, %d %s", fn, std::get<0>(r), std::get<1>(r),
                              qPrintable(std::get<2>(r).left(20)))
                    << fn << r;
        };
        const double inf = std::numeric_limits<double>::infinity();
        add('V', {Row(0, 0, ""), Row(12.5, 0, "   12.5abc"), Row(1, 0, "1/4"), Row(-3, 0, "-3"),
                  Row(7, 0, "+7"), Row(0.5, 0, ".5"), Row(0, 0, "."), Row(0, 0, "0,25"),
                  Row(1000, 0, "1e3x"), Row(0.025, 0, "2.5E-2"), Row(4, 0, "4e+"), Row(1, 0, "1 2"),
                  Row(0, 0, "1e-999"), Row(1e-30, 0, "0.000000000000000000000000000001"),
                  Row(inf, 0, "1e999"), Row(-inf, 0, "-1e999"), Row(inf, 0, QString(400, u'9'))});
        const double belowHalf = std::nextafter(0.35, 0.0);  // 0.350000000000000 to 15 digits
        add('N', {Row(18.8, 15, "18.8"), Row(2000, 15, "2000"), Row(-0.0, 15, "0"),
                  Row(-2.5, 15, "-2.5"), Row(0.1 + 0.2, 15, "0.3"), Row(1.5e-7, 15, "0.00000015"),
                  Row(1e20, 15, "100000000000000000000"), Row(0.1f, 7, "0.1"),
                  Row(1234567.891234567, 15, "1234567.89123457"),
                  Row(0.1, INT_MAX, "0.10000000000000001"), Row(1234, INT_MIN, "1000")});
        add('R', {Row(12.34567, 3, "12.346"), Row(2.5, 3, "2.5"), Row(1234.5, 3, "1234.5"),
                  Row(0.0004, 3, "0"), Row(12.25, 1, "12.3"), Row(belowHalf, 1, "0.4"),
                  Row(9.9996, 3, "10"), Row(0.25, 3, "0.25"), Row(-0.25, 1, "-0.3"),
                  Row(2.5, INT_MIN, "3"), Row(1e300, INT_MAX, "1" + QString(300, u'0'))});
        add('F',
            {Row(1500, 2, "1,500.00"), Row(0.5, 2, "0.50"), Row(1234567.125, 2, "1,234,567.13"),
             Row(2.5, 0, "3"), Row(-1500.5, 1, "-1,500.5"), Row(-0.01, 1, "0.0"),
             Row(belowHalf, 1, "0.4"), Row(1500.4, -1, "1,500")});
        add('G', {Row(1500, 2, "1.500,00")});
        // P: plainNumber, the digits 1 when it takes the text. Too close to zero is 0, however
        // written; beyond range is no number.
        add('P',
            {Row(-0.43, 1, "-0.43"), Row(1500, 1, "1.5E3"), Row(0, 1, "1e-324"),
             Row(0, 1, "0." + QString(330, u'0') + "1"), Row(0, 1, "-0.0000001e-400"),
             Row(5e-324, 1, "4.9e-324"), Row(0, 0, "1e309"), Row(0, 0, "1" + QString(309, u'0')),
             Row(0, 0, "+1"), Row(0, 0, "1,5"), Row(0, 0, " 1"), Row(0, 0, "."), Row(0, 0, "inf"),
             Row(0, 0, "0x1p3"), Row(0, 0, "1e")});
    }
    void text() {
        QFETCH(char, fn);
        QFETCH(Row, row);
        const auto& [x, n, expected] = row;
        if (fn == 'V') {
            QCOMPARE(Val(expected), x);
        } else if (fn == 'P') {
            const auto value = plainNumber(expected.toStdString());
            QCOMPARE(value.has_value(), n == 1);
            if (value) QCOMPARE(*value, x);
        } else if (fn == 'N') {
            QCOMPARE(numberText(x, n), expected);
            QCOMPARE(numberText(x, n, u','), QString(expected).replace(u'.', u','));
        } else {
            QCOMPARE(fn == 'R' ? roundedText(x, n)
                               : FormatNumber(x, n, QLocale(fn == 'F' ? "en_US" : "de_DE")),
                     expected);
        }
    }

    // Names as bytes, and text from outside as a message shows it.
    void outsideText() {
        for (const QByteArray& name :
             {QByteArray("caf\xE9.mdb"), QByteArray("\xED\xA0\x80\xC0\x80"),
              QByteArray("Crème \xF0\x9F\x8D\x8E")})
            QCOMPARE(encodeFileName(decodeFileName(name)), name);
        QCOMPARE(printable(decodeFileName("caf\xE9\x1B]0;x\x07\r\n\\")),
                 "caf\\xE9\\x1B]0;x\\x07\\r\\n\\");
        QCOMPARE(printable(QString(81, u'é')), QString(80, u'é') + u'…');
        QCOMPARE(printableLine(QString(81, u'a') + u'\n'), QString(81, u'a') + "\\n");
        QCOMPARE(shownText(QString(2001, u'a') + "\nb"), QString(2000, u'a') + "…\nb");
    }

    void quantityIsZero() {
        const QLocale en("en_US"), de("de_DE");
        QVERIFY(velmora::quantityIsZero(u"0", en) && velmora::quantityIsZero(u"abc", de));
        QVERIFY(!velmora::quantityIsZero(u"0.25", en) && !velmora::quantityIsZero(u"0,25", de));
        QVERIFY(velmora::quantityIsZero(u"0,25", en));  // "," is no decimal point there
    }

    // The locale whose numbers are kept when the environment's is switched to C.UTF-8.
    void requestedLocaleName() {
        const struct {
            const char *all, *numeric, *lang, *name;
        } rows[] = {{"de_DE.UTF-8", "fr_FR", "en_US", "de_DE"},
                    {"", "fr_FR@euro", "en_US", "fr_FR"},
                    {"", "", "ca_ES.UTF-8@valencia", "ca_ES"},
                    {"C", "de_DE", "de_DE", ""},
                    {"POSIX", "", "", ""},
                    {"C.UTF-8", "", "", ""},
                    {"", "", "", ""}};
        for (const auto& r : rows)
            QCOMPARE(velmora::requestedLocaleName(r.all, r.numeric, r.lang), QString(r.name));
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"
