// The real program in a real X server: it starts, its main window appears, and the quit command
// ends it with status 0. The test starts its own Xvfb, so it needs no display.
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestSmoke : public QObject {
    Q_OBJECT
    QProcess xvfb_;
    QString display_;

    QString run(const QStringList& args, int timeoutMs = 30000) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        p.setProcessEnvironment(env);
        p.start("xdotool", args);
        p.waitForFinished(timeoutMs);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
            QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("Xvfb or xdotool is not installed");
        // -displayfd picks a free display and tells us its number.
        xvfb_.start("Xvfb",
                    {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        QVERIFY(xvfb_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(xvfb_.canReadLine(), 20000);
        display_ = ":" + QString::fromLatin1(xvfb_.readLine()).trimmed();
    }
    void cleanupTestCase() {
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }

    void startsAndQuits() {
        const QString bin = qEnvironmentVariable("VELMORA_TEST_BIN");
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        env.insert("QT_QPA_PLATFORM", "xcb");
        app.setProcessEnvironment(env);
        app.setWorkingDirectory(QDir::tempPath());  // the table is found beside the program
        app.start(QDir(bin).filePath("velmora"), {});
        QVERIFY(app.waitForStarted());

        // The splash window carries the same name; the main window is the wide one.
        auto mainWindow = [&] {
            for (const QString& id :
                 run({"search", "--onlyvisible", "--name", "^Velmora$"}).split('\n')) {
                const QString geometry = run({"getwindowgeometry", "--shell", id});
                for (const QString& line : geometry.split('\n'))
                    if (line.startsWith("WIDTH=") && line.mid(6).toInt() > 600) return id;
            }
            return QString();
        };
        QString window;
        QTRY_VERIFY2_WITH_TIMEOUT(!(window = mainWindow()).isEmpty(),
                                  "the main window did not appear", 30000);
        QCOMPARE(app.state(), QProcess::Running);

        run({"windowfocus", "--sync", window});
        run({"key", "--clearmodifiers", "ctrl+q"});
        QVERIFY2(app.waitForFinished(20000), "the program did not end");
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "test_smoke.moc"
