// SPDX-License-Identifier: GPL-3.0-or-later
// The three programs' command lines alike: each names itself, not the path it was started by; an
// empty file name or an option given twice is a usage error before anything is read or shown.
#include "testcase.h"

#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestCommandLine : public velmora::test::TestCase {
    Q_OBJECT
  private slots:
    void start_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");  // "|"-separated, an empty one between two "|"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");  // the start of standard output, or else of error
        for (const char* program : {"velmora", "velmora-report", "velmora-mkdb"})
            QTest::addRow("%s --help", program)
                << QString(program) << u"--help"_s << 0 << u"Usage: %1 [options]"_s.arg(program);
        const auto refused = [](const char* program, const char* args, const char* message) {
            QTest::addRow("%s %s", program, args)
                << QString(program) << QString(args) << 2 << u"%1: %2\n"_s.arg(program, message);
        };
        refused("velmora", "--database|", "--database: the file name is empty");
        refused("velmora", "--database|a|--database|b", "--database is given more than once");
        refused("velmora", "", "FILE: the file name is empty");
        refused("velmora", "a.mdb|b.mdb", "unexpected argument 'b.mdb'");
        refused("velmora", "a.mdb|--database|b.mdb",
                "give one table: FILE, --database or --choose-table");
        refused("velmora", "--choose-table|a.mdb",
                "give one table: FILE, --database or --choose-table");
        refused("velmora-report", "--database||09003", "--database: the file name is empty");
        refused("velmora-report", "--meal|", "--meal: the file name is empty");
        refused("velmora-report", "--search|a|--search|b", "--search is given more than once");
    }
    void start() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcess run;  // started by its full path
        run.start(qEnvironmentVariable("VELMORA_TEST_BIN") + u'/' + program, args.split(u'|'));
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitCode(), status);
        const QString out = QString::fromUtf8(status == 0 ? run.readAllStandardOutput()
                                                          : run.readAllStandardError());
        QVERIFY2(out.startsWith(output), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
