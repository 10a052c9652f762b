// Every test program fails on a Qt warning or critical message it prints, wherever it prints it,
// except a message the test expects and the allowed platform noise. Shown on this program itself,
// started again with "--helper" to print messages on purpose.
#include <QProcess>
#include <QtTest>

class Helper : public QObject {
    Q_OBJECT
  private slots:
    void expectedWarning() {
        QTest::ignoreMessage(QtWarningMsg, "expected slip");
        qWarning("expected slip");
    }
    void unexpectedWarning() { qWarning("layout slip"); }
    void critical() { qCritical("broken state"); }
    void platformNoise() { qWarning("This plugin does not support propagateSizeHints()"); }
};

class QtWarnings : public QObject {
    Q_OBJECT
  private slots:
    void run_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("passes");
        QTest::newRow("expected warning") << QStringList{"expectedWarning"} << true;
        QTest::newRow("unexpected warning") << QStringList{"unexpectedWarning"} << false;
        QTest::newRow("critical") << QStringList{"critical"} << false;
        QTest::newRow("platform noise") << QStringList{"platformNoise"} << true;
        QTest::newRow("outside the tests") << QStringList{"warn", "platformNoise"} << false;
    }
    void run() {
        QFETCH(QStringList, arguments);
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), QStringList{"--helper"} + arguments);
        QVERIFY(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit);
        QTEST(p.exitCode() == 0, "passes");
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2 || qstrcmp(argv[1], "--helper") != 0) {
        QtWarnings test;
        return QTest::qExec(&test, argc, argv);
    }
    if (argc > 2 && qstrcmp(argv[2], "warn") == 0) qWarning("before the tests");
    Helper helper;
    return QTest::qExec(&helper, QStringList{argv[0], argv[argc - 1]});
}

#include "test_qtwarnings.moc"
