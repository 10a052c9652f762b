// Every test program fails on a Qt warning or critical message it prints, wherever it prints it,
// except a message the test expects and the allowed platform noise. Shown on a helper program.
#include <QProcess>
#include <QtTest>

class QtWarnings : public QObject {
    Q_OBJECT
  private slots:
    void run_data() {
        QTest::addColumn<QString>("function");
        QTest::addColumn<bool>("warnBeforeTests");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("output");  // part of what the run prints

        QTest::newRow("expected warning") << "expectedWarning" << false << true << "PASS";
        QTest::newRow("unexpected warning")
            << "unexpectedWarning" << false << false
            << "Received a warning that resulted in a failure:\nlayout slip";
        QTest::newRow("critical") << "critical" << false << false << "broken state";
        QTest::newRow("platform noise") << "platformNoise" << false << true << "PASS";
        QTest::newRow("debug output") << "debugOnly" << false << true << "chatter";
        QTest::newRow("warning before the tests")
            << "debugOnly" << true << false << "outside the test functions";
    }

    void run() {
        QFETCH(QString, function);
        QFETCH(bool, warnBeforeTests);
        QFETCH(bool, passes);
        QFETCH(QString, output);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (warnBeforeTests) env.insert("VELMORA_WARN_BEFORE_TESTS", "1");
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("VELMORA_WARNING_HELPER"), {function});
        QVERIFY(p.waitForFinished(60000));
        const QString printed =
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2((p.exitCode() == 0) == passes, qPrintable(printed));
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }
};

QTEST_GUILESS_MAIN(QtWarnings)
#include "test_qtwarnings.moc"
