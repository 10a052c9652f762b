// LIKE with the Jet engine's pattern rules, alone and as the function SQLite calls.
#include "jetlike.h"

#include <QtTest>

#include <sqlite3.h>

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
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        QCOMPARE(registerJetLike(db), SQLITE_OK);
        auto one = [&](const char* sql, int* value) {
            sqlite3_stmt* st = nullptr;
            int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
            if (rc == SQLITE_OK) rc = sqlite3_step(st);
            if (rc == SQLITE_ROW)
                *value = sqlite3_column_type(st, 0) == SQLITE_NULL ? -1 : sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
            return rc;
        };
        int v = 0;
        QCOMPARE(one("SELECT 'Chicken soup' LIKE '*SOUP'", &v), SQLITE_ROW);
        QCOMPARE(v, 1);
        QCOMPARE(one("SELECT NULL LIKE '*'", &v), SQLITE_ROW);
        QCOMPARE(v, -1);  // a Null description matches no pattern
        QCOMPARE(one("SELECT '' LIKE '*'", &v), SQLITE_ROW);
        QCOMPARE(v, 1);
        QCOMPARE(one("SELECT 'x' LIKE '[x'", &v), SQLITE_ERROR);
        QCOMPARE(QString::fromUtf8(sqlite3_errmsg(db)), QString::fromLatin1(kInvalidPatternText));
        sqlite3_close(db);
    }
};

QTEST_APPLESS_MAIN(TestJetLike)
#include "test_jetlike.moc"
