// LIKE with the Jet engine's pattern rules, alone and as the function SQLite calls.
#include "fooddb/jetlike.h"

#include <QtTest>

#include "fooddb/sqlite.h"

using namespace velmora;

class TestJetLike : public QObject {
    Q_OBJECT
  private slots:
    void matches_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("match");
        QTest::newRow("star anywhere") << "*chick*"
                                       << "Soup, CHICKEN noodle" << true;
        QTest::newRow("star only") << "*"
                                   << "" << true;
        QTest::newRow("star, empty text, literal") << "*a*"
                                                   << "" << false;
        QTest::newRow("case blind") << "*SPINACH*"
                                    << "spinach, raw" << true;
        QTest::newRow("case blind non-ascii") << "*CRÈME*"
                                              << "Crème fraîche" << true;
        QTest::newRow("question one char") << "b?t"
                                           << "bat" << true;
        QTest::newRow("question not zero chars") << "b?t"
                                                 << "bt" << false;
        QTest::newRow("question one code point") << "?"
                                                 << "日" << true;
        QTest::newRow("hash digit") << "*#%*"
                                    << "Milk, 2% fat" << true;
        QTest::newRow("hash not letter") << "#"
                                         << "a" << false;
        QTest::newRow("list") << "[abc]at"
                              << "Cat" << true;
        QTest::newRow("list miss") << "[abc]at"
                                   << "rat" << false;
        QTest::newRow("range") << "[a-c]hicken"
                               << "chicken" << true;
        QTest::newRow("range miss") << "[a-c]hicken"
                                    << "thicken" << false;
        QTest::newRow("negated") << "[!a]*"
                                 << "bread" << true;
        QTest::newRow("negated miss") << "[!a]*"
                                      << "apple" << false;
        QTest::newRow("bracket makes star literal") << "*[*]*"
                                                    << "a*b" << true;
        QTest::newRow("bracketed star needs star") << "*[*]*"
                                                   << "ab" << false;
        QTest::newRow("closing bracket alone is literal") << "*]*"
                                                          << "a]b" << true;
        QTest::newRow("empty brackets consume nothing") << "a[]b"
                                                        << "ab" << true;
        QTest::newRow("percent is literal") << "*%*"
                                            << "100% juice" << true;
        QTest::newRow("percent not a wildcard") << "%"
                                                << "abc" << false;
        QTest::newRow("underscore is literal") << "a_c"
                                               << "abc" << false;
        QTest::newRow("quote") << "*Chef's*"
                               << "CHEF'S salad" << true;
        QTest::newRow("backslash literal") << "*\\*"
                                           << "a\\b" << true;
        QTest::newRow("exact, no star") << "bread"
                                        << "bread, white" << false;
        QTest::newRow("trailing stars") << "a***"
                                        << "a" << true;
        QTest::newRow("backtracking") << "*a*b*c"
                                      << "aXbYaZbc" << true;
        QTest::newRow("minus at end literal") << "[a-]"
                                              << "-" << true;
    }
    void matches() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, match);
        const JetPattern p(pattern.toStdString());
        QVERIFY(p.valid());
        QCOMPARE(p.matches(text.toStdString()), match);
    }

    void malformed_data() {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("open bracket") << "*[*";
        QTest::newRow("open bracket with text") << "*[a*";
        QTest::newRow("negation open") << "[!";
    }
    void malformed() {
        QFETCH(QString, pattern);
        QVERIFY(!JetPattern(pattern.toStdString()).valid());
    }

    void manyStarsStayFast() {
        // A pattern of many stars and literals against a long near-miss must not take
        // exponential time.
        QString pattern;
        for (int i = 0; i < 200; ++i) pattern += "*a";
        pattern += "*b";
        const std::string text(20000, 'a');
        QElapsedTimer t;
        t.start();
        QVERIFY(!JetPattern(pattern.toStdString()).matches(text));
        QVERIFY(t.elapsed() < 5000);
    }

    void sqlFunction() {
        sqlite::Database db(":memory:", SQLITE_OPEN_READWRITE);
        QCOMPARE(registerJetLike(db.get()), SQLITE_OK);
        auto one = [&](const char* sql) {
            sqlite::Statement st = db.prepare(QString::fromLatin1(sql));
            st.step();
            return st.columnType(0) == SQLITE_NULL ? -1 : int(st.columnInt64(0));
        };
        QCOMPARE(one("SELECT 'Chicken soup' LIKE '*SOUP'"), 1);
        QCOMPARE(one("SELECT NULL LIKE '*'"), -1);  // a Null description matches no pattern
        QCOMPARE(one("SELECT '' LIKE '*'"), 1);
        try {
            one("SELECT 'x' LIKE '[x'");
            QFAIL("a malformed pattern was accepted");
        } catch (const sqlite::Error& e) {
            QCOMPARE(e.message(), QString::fromLatin1(kInvalidPatternText));
        }
    }
};

QTEST_APPLESS_MAIN(TestJetLike)
#include "test_jetlike.moc"
