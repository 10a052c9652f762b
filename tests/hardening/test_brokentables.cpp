// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on every kind of broken or hostile food table. Each case copies the program into
// a folder of its own with a prepared Velmora.mdb and starts it on the offscreen platform. Either
// it starts (the preloaded probe reports the record label, presses Reset and closes the window:
// status 0) or it writes "Run-time error 'N':" and the error's text under the title "Velmora"
// and ends with status 1 - never a hang. In every case the table's bytes are as they were and
// nothing (no journal, log or shared-memory file) is left beside it. File modes do not stop root,
// and CI runs as root: there the program runs as the user nobody, as a desktop user would.
#include "fixturedb.h"
#include "fooddb/sourcerecord.h"
#include "fooddb/sqlite.h"
#include "testcase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

enum Table {
    Missing,
    Bytes,
    NoCsr14,
    NoColumn,
    Good,
    TextInNumber,
    NullDescriptions,
    WalMode,
    Big,
    Endless,
    Recursive,
    Fifo,
    HotJournal,
    LinkToWal,
    WalLog,
    Writer
};
// Interrupted: a read-only folder, and the program ends by SIGTERM once its window is up.
// TempFull: a read-only folder, and a temporary folder with no room for a copy (mounted: root
// only).
enum Access { Plain, ReadOnlyFolder, WriteLocked, Interrupted, TempFull };
constexpr int kStarts = 0;

QList<FixtureFood> goodFoods() {
    return {{"Alcoholic beverage, beer, light", {{"ENERG_KCAL", 29.0}}},
            {"Apple, raw", {{"ENERG_KCAL", 52.0}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}}}};
}

bool sql(const QString& path, const QString& statements) {
    return execSql(path, statements).isEmpty();
}

// 200 foods joined with themselves four times over: combinations the engine would take hours to
// try. (A view of more rows than a record set may hold is the data control's test, against a
// bound it sets small: the program's own takes half a gigabyte of rows to reach.)
bool endlessView(const QString& path) {
    QList<FixtureFood> foods;
    for (int i = 0; i < 200; ++i) foods.append({"x" + QString::number(i), {{"WATER", 1.0}}});
    return writeFixtureDb(path, foods).isEmpty() && sql(path, "ALTER TABLE CSR14 RENAME TO T") &&
           sql(path,
               "CREATE VIEW CSR14 AS SELECT a.* FROM T a, T b, T c, T d WHERE "
               "a.WATER + b.WATER + c.WATER + d.WATER = -1");
}

// The engine steps between the program's checks of a query that never ends, far fewer than its
// own interval: its budget of checks runs out in a moment (probe:steps).
constexpr int kEndlessSteps = 10;

bool hotJournal(const QString& path) {
    // Copies of a table and its journal while a writer's changes are half written: what
    // a crash of that writer leaves behind.
    const QString original = path + ".writer";
    if (!writeFixtureDb(original, goodFoods()).isEmpty()) return false;
    sqlite::Database w(QFile::encodeName(original), SQLITE_OPEN_READWRITE);
    w.exec("PRAGMA cache_size = 1; BEGIN");
    w.exec("UPDATE CSR14 SET Description = Description || zeroblob(2000)");
    return QFile::copy(original, path) && QFile::copy(original + "-journal", path + "-journal") &&
           QFile::remove(original);
}

bool walLogLeft(const QString& path) {
    // A table and the log its writer left: the last row is only in the log.
    const QString original = path + ".writer";
    if (!writeFixtureDb(original, goodFoods()).isEmpty() ||
        !sql(original, "PRAGMA journal_mode=WAL"))
        return false;
    {
        sqlite::Database w(QFile::encodeName(original), SQLITE_OPEN_READWRITE);
        w.exec("PRAGMA wal_autocheckpoint = 0");
        w.exec("INSERT INTO CSR14 (Description) VALUES ('Zucchini')");
        if (!QFile::copy(original, path) || !QFile::copy(original + "-wal", path + "-wal"))
            return false;
    }
    return QFile::remove(original);
}

bool writerAtWork(const QString& path, std::unique_ptr<sqlite::Database>& writer) {
    // A writer at work: its last commit, 300 new foods, only in its log. The food on show
    // at the start lies on a page that commit did not touch.
    QList<FixtureFood> foods = goodFoods();
    for (int i = 0; i < 1000; ++i) foods.append({QStringLiteral("Filler %1").arg(i)});
    if (!writeFixtureDb(path, foods).isEmpty() || !sql(path, "PRAGMA journal_mode=WAL"))
        return false;
    writer = std::make_unique<sqlite::Database>(QFile::encodeName(path), SQLITE_OPEN_READWRITE);
    writer->exec("PRAGMA wal_autocheckpoint = 0; BEGIN");
    for (int i = 0; i < 300; ++i)
        writer->exec(QStringLiteral("INSERT INTO CSR14 (Description) VALUES ('Aaa %1')").arg(i));
    writer->exec("COMMIT");
    return true;
}

bool linkToWal(const QString& path, std::unique_ptr<sqlite::Database>& writer) {
    // The program's folder links to a table whose last rows are still in its writer's log.
    const QString data = QFileInfo(path).dir().filePath("../data");
    const QString target = data + "/Velmora.mdb";
    if (!QDir().mkpath(data) || !writeFixtureDb(target, goodFoods()).isEmpty() ||
        !sql(target, "PRAGMA journal_mode=WAL"))
        return false;
    writer = std::make_unique<sqlite::Database>(QFile::encodeName(target), SQLITE_OPEN_READWRITE);
    writer->exec("PRAGMA wal_autocheckpoint = 0");
    writer->exec("INSERT INTO CSR14 (Description) VALUES ('Zucchini')");
    QFile::setPermissions(data, QFileDevice::Permissions(0x7777));
    for (const QString& f : QDir(data).entryList(QDir::Files))
        QFile::setPermissions(data + '/' + f, QFileDevice::Permissions(0x6666));
    return QFile::link(target, path);
}

bool makeTable(Table table, const QString& detail, const QString& path,
               std::unique_ptr<sqlite::Database>& writer) {
    switch (table) {
        case Missing:
            return true;
        case Bytes: {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(detail.toLatin1()) == detail.size();
        }
        case NoCsr14:
            return sql(path, "CREATE TABLE FOODS (Description TEXT)");
        case NoColumn:
            return writeFixtureDb(path, goodFoods(), detail).isEmpty();
        case Good:
            return writeFixtureDb(path, goodFoods()).isEmpty();
        case TextInNumber:  // the food chosen at start-up carries the text
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   sql(path,
                       "UPDATE CSR14 SET ENERG_KCAL = 'lots', GMWT_1 = 'cup' "
                       "WHERE Description LIKE 'Alco%'");
        case NullDescriptions:
            return writeFixtureDb(path, {{QVariant(), {}}, {"", {}}, {"Alcohol", {}}, {"B", {}}})
                .isEmpty();
        case WalMode:  // another tool switched the table to write-ahead logging
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   sql(path, "PRAGMA journal_mode=WAL");
        case Big:  // the rows made by the engine: a row at a time, they took seconds to write
            return writeFixtureDb(path, {}).isEmpty() &&
                   sql(path,
                       "INSERT INTO CSR14 (Description) WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL "
                       "SELECT i + 1 FROM n WHERE i < 79069) SELECT CASE i % 2 WHEN 1 THEN "
                       "'Alcohol' ELSE 'Bread' END || ', variety ' || i FROM n");
        case Endless:
            return endlessView(path);
        case Recursive:
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   sql(path,
                       "ALTER TABLE CSR14 RENAME TO T; CREATE VIEW CSR14 AS WITH RECURSIVE "
                       "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                       "SELECT T.* FROM T, n");
        case Fifo:
            return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
        case HotJournal:
            return hotJournal(path);
        case WalLog:
            return walLogLeft(path);
        case Writer:
            return writerAtWork(path, writer);
        case LinkToWal:
            return linkToWal(path, writer);
    }
    return false;
}

}  // namespace

class BrokenTables : public velmora::test::TestCase {
    Q_OBJECT
    QString program_ = QDir(qEnvironmentVariable("VELMORA_TEST_BIN")).filePath("velmora");
    QString probe_ = qEnvironmentVariable("VELMORA_STARTPROBE");
    bool asRoot_ = geteuid() == 0;

  private slots:
    void initTestCase() {
        QVERIFY(QFileInfo(program_).isExecutable() && QFileInfo::exists(probe_));
        if (asRoot_ && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root without setpriv: the program cannot run unprivileged");
    }

    void table_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("detail");  // a missing column, or a file's bytes
        QTest::addColumn<int>("access");
        QTest::addColumn<int>("error");      // kStarts or the message's number
        QTest::addColumn<QString>("shows");  // started: the label's end; else part of the message
        const auto row = [](const char* name, Table t, int access, int error, const char* shows,
                            const QString& detail = {}) {
            QTest::newRow(name) << int(t) << detail << access << error << QString(shows);
        };
        row("missing", Missing, Plain, 3024, "Could not find file");
        row("text file", Bytes, Plain, 3343, "Unrecognized database format", "Apple,52\r\n");
        row("no CSR14", NoCsr14, Plain, 3078, "'CSR14'");
        // The start's query orders by the description, so the engine names that column first.
        row("no Description", NoColumn, Plain, 3075, "no such column: description", "Description");
        row("no GMWT_DESC2", NoColumn, Plain, 3265, "'GMWT_DESC2'", "GMWT_DESC2");
        row("text in numeric columns", TextInNumber, Plain, kStarts, " of 3");
        row("Null and empty descriptions", NullDescriptions, Plain, kStarts, " of 4");
        row("read-only folder", Good, ReadOnlyFolder, kStarts, " of 3");
        row("write-locked", Good, WriteLocked, 3045, "already in use");
        row("write-ahead log", WalMode, Plain, kStarts, " of 3");
        row("write-ahead log, read-only folder", WalMode, ReadOnlyFolder, kStarts, " of 3");
        row("79,070 rows", Big, Plain, kStarts, " of 79070");
        row("view that never ends", Endless, Plain, 3035, "too large, or CSR14 is not a table");
        row("recursive view", Recursive, Plain, 3112, "will not run");
        row("FIFO", Fifo, Plain, 3051, "not a file");
        row("hot journal", HotJournal, Plain, 3046, "did not finish writing");
        row("link to a table with a writer's log", LinkToWal, Plain, kStarts, " of 4");
        row("a writer's log left", WalLog, Plain, kStarts, " of 4");
        row("a writer's log left, read-only folder", WalLog, ReadOnlyFolder, kStarts, " of 4");
        // The table and its log as of one commit: 1303 foods and the calories of that state.
        row("a writer at work", Writer, Plain, kStarts, " of 1303");
        row("a writer at work, read-only folder", Writer, ReadOnlyFolder, kStarts, " of 1303");
        row("interrupted while reading a copy", WalLog, Interrupted, kStarts, " of 4");
        row("no room for a copy", WalLog, TempFull, 3051, "(No space left on device).");
    }

  private:
    struct Run {
        bool finished = false;
        bool bySignal = false;
        int exitCode = 0;
        QString out, errors;
    };

    // Starts the program in `root`/app as a desktop user would, with the probe. When the probe
    // holds the program at the table's reopening, `atHold` runs and the program goes on.
    Run run(const QString& root, const QString& table, int access, int steps,
            const std::function<void()>& atHold, const QStringList& arguments = {}) {
        // The probe loads before the sanitizer runtime, and the user nobody reads the suppressions
        // where it can.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", root + "/tmp");
        env.insert("VELMORA_PROBE_HOLD", table);
        if (access == Interrupted) env.insert("VELMORA_PROBE_SIGNAL", QString::number(SIGTERM));
        if (steps > 0) env.insert("VELMORA_PROBE_STEPS", QString::number(steps));
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        QFile::copy(QDir(qEnvironmentVariable("VELMORA_TEST_SOURCE")).filePath("lsan.supp"),
                    root + "/probe/lsan.supp");
        env.insert("LSAN_OPTIONS",
                   "print_suppressions=0:suppressions=" + root + "/probe/lsan.supp");
        const QString probe = root + "/probe/" + QFileInfo(probe_).fileName();
        QStringList command = {"env", "LD_PRELOAD=" + probe, root + "/app/velmora"};
        if (asRoot_)
            command =
                QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"} +
                command;
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root);  // not the program's folder: the table is found beside it
        p.start(command.takeFirst(), command + arguments);
        Run r;
        QByteArray out;
        // Within the test function's own limit (Qt's default, a minute, unless the build raises it
        // for a slow machine).
        const int limit = qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT");
        const QDeadlineTimer deadline((limit > 0 ? limit : 60000) * 3 / 4);
        while (p.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            out += p.readAllStandardOutput();
            if (out.contains("probe:hold\n") && !out.contains("probe:held")) {
                atHold();
                out += "probe:held\n";
                p.write("\n");
            }
        }
        r.finished = p.state() == QProcess::NotRunning ||
                     p.waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 1)));
        if (!r.finished) p.kill(), p.waitForFinished();
        r.out = QString::fromUtf8(out + p.readAllStandardOutput());
        r.errors = QString::fromUtf8(p.readAllStandardError());
        r.bySignal = p.exitStatus() == QProcess::CrashExit;
        r.exitCode = p.exitCode();
        return r;
    }

  private slots:
    void table() {
        QFETCH(int, table);
        QFETCH(QString, detail);
        QFETCH(int, access);
        QFETCH(int, error);
        QFETCH(QString, shows);
        QTemporaryDir dir;
        const QString root = dir.path(), folder = root + "/app", path = folder + "/Velmora.mdb";
        // The folders are made read-only below; writable again on every way out (a skip too), so
        // that the temporary folder can be removed by a user who is not root.
        const auto writable = qScopeGuard([&] {
            for (const QString& d : {root, folder, root + "/probe"})
                QFile::setPermissions(d, QFileDevice::Permissions(0x7700));
        });
        QVERIFY(QDir(root).mkpath("app") && QDir(root).mkpath("probe") && QDir(root).mkpath("tmp"));
        QVERIFY(QFile::copy(program_, folder + "/velmora") &&
                QFile::copy(probe_, root + "/probe/" + QFileInfo(probe_).fileName()));
        std::unique_ptr<sqlite::Database> writer;  // stays open while the program runs
        QVERIFY(makeTable(Table(table), detail, path, writer));
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(leaveKilledCopy(root + "/tmp"));
        using P = QFileDevice;
        const auto dirMode = P::Permissions(0x7555);
        const bool readOnly = access != Plain && access != WriteLocked;
        for (const QString& d : {root, folder, root + "/probe"}) QFile::setPermissions(d, dirMode);
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            QFile::setPermissions(path, P::Permissions(readOnly ? 0x4444 : 0x6444));
        // Writable for the user the program runs as, or for nobody.
        QFile::setPermissions(folder, readOnly ? dirMode & ~P::WriteOwner : P::Permissions(0x7777));
        const QByteArray digest = fileDigest(path);
        std::unique_ptr<sqlite::Database> locker;  // as another program holds it while writing
        if (access == WriteLocked) {
            locker =
                std::make_unique<sqlite::Database>(QFile::encodeName(path), SQLITE_OPEN_READWRITE);
            locker->exec("BEGIN EXCLUSIVE");
        }
        const auto unmount = qScopeGuard([&] {
            if (access == TempFull) QProcess::execute("umount", {root + "/tmp"});
        });
        if (access == TempFull &&
            QProcess::execute("mount", {"-t", "tmpfs", "-o",
                                        QStringLiteral("size=%1,mode=1777").arg(roomForLog(path)),
                                        "tmpfs", root + "/tmp"}) != 0)
            QSKIP("only root can mount a temporary folder without room");
        // Held between reading the log and the table, a writer commits and folds its log in.
        bool written = false;
        const int steps = table == Endless ? kEndlessSteps : 0;
        const Run r = run(root, QFileInfo(path).canonicalFilePath(), access, steps, [&] {
            written = writer && table == Writer;
            if (written)
                writer->exec(
                    "UPDATE CSR14 SET ENERG_KCAL = 999 WHERE Description LIKE 'Alco%'; "
                    "DELETE FROM CSR14 WHERE Description LIKE 'Aaa %'; "
                    "PRAGMA wal_checkpoint(TRUNCATE)");
        });
        locker.reset();
        QFile::setPermissions(folder, dirMode);
        check(r, table, access, error, shows);
        if (!written) QCOMPARE(fileDigest(path), digest);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), files);
        // No copy outlives the run, and the one a killed run left is gone.
        QCOMPARE(QDir(root + "/tmp").entryList({"velmora-*", "Velmora-*"}, QDir::AllEntries),
                 QStringList());
    }

    // A table named on the command line as a file manager names it, the caption naming it and
    // its required notice the report's last line; the table beside the program under another
    // name is the shipped one.
    void tableOnTheCommandLine_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("a built table") << "nevo.mdb"
                                       << " of 4"
                                       << "Velmora \u2014 NEVO 2023 8.0"
                                       << "Based on data from NEVO online version 2023 8.0";
        QTest::newRow("the shipped table") << "app/../app/Velmora.mdb"
                                           << " of 3"
                                           << "Velmora"
                                           << "Vitamin E in mg:";
    }
    void tableOnTheCommandLine() {
        QFETCH(QString, given);
        QFETCH(QString, label);
        QFETCH(QString, caption);
        QFETCH(QString, lastLine);
        QTemporaryDir dir;
        const QString root = dir.path(), folder = root + "/app";
        QVERIFY(QDir(root).mkpath("app") && QDir(root).mkpath("probe") && QDir(root).mkpath("tmp"));
        QVERIFY(QFile::copy(program_, folder + "/velmora") &&
                QFile::copy(probe_, root + "/probe/" + QFileInfo(probe_).fileName()));
        std::unique_ptr<sqlite::Database> none;
        QVERIFY(makeTable(Good, {}, folder + "/Velmora.mdb", none));
        QVERIFY(writeFixtureDb(root + "/nevo.mdb", {{"Apple"}, {"Bean"}, {"Carrot"}, {"Date"}})
                    .isEmpty());
        {
            sqlite::Database db(QFile::encodeName(root + "/nevo.mdb"), SQLITE_OPEN_READWRITE);
            SourceRecord nevo;
            nevo.name = "NEVO";
            nevo.version = "2023 8.0";
            nevo.citation = "Based on data from NEVO online version 2023 8.0";
            nevo.noticeRequired = true;
            writeSourceRecord(db, nevo);
        }
        for (const QString& d : {root, folder, root + "/probe"})
            QFile::setPermissions(d, QFileDevice::Permissions(0x7755));
        QFile::setPermissions(root + "/tmp", QFileDevice::Permissions(0x7777));
        const Run r = run(root, {}, Plain, 0, [] {}, {given});
        QVERIFY2(r.finished && !r.bySignal && r.exitCode == 0, qPrintable(r.out + r.errors));
        const auto probed = [&](const QString& key) {
            return QRegularExpression("probe:" + key + "\t([^\n]*)").match(r.out).captured(1);
        };
        QVERIFY2(probed("label").endsWith(label), qPrintable(r.out));
        QCOMPARE(probed("caption"), caption);
        QVERIFY2(probed("last line").startsWith(lastLine), qPrintable(probed("last line")));
    }

  private:
    // Room for a copy of the table and its log but for their last page.
    static qint64 roomForLog(const QString& table) {
        const auto pages = [](const QString& f) { return (QFileInfo(f).size() + 4095) / 4096; };
        return (pages(table) + pages(table + "-wal") - 1) * 4096;
    }

    // A copy that a run killed outright left in the temporary folder, the running user's.
    bool leaveKilledCopy(const QString& tmp) {
        QFile copy(tmp + "/velmora-table-Killed");
        if (!copy.open(QIODevice::WriteOnly) || copy.write("SQLite format 3") < 0) return false;
        copy.close();
        QFile::copy(copy.fileName(), copy.fileName() + "-wal");
        QFile::setPermissions(tmp, QFileDevice::Permissions(0x7777));
        if (asRoot_)
            for (const QString& f : {copy.fileName(), copy.fileName() + "-wal", tmp})
                if (::chown(QFile::encodeName(f).constData(), 65534, 65534) != 0) return false;
        return true;
    }

    void check(const Run& r, int table, int access, int error, const QString& shows) {
        const auto probed = [&](const QString& key) {
            return QRegularExpression("probe:" + key + "\t([^\n]*)").match(r.out).captured(1);
        };
        QVERIFY2(r.finished, "the program did not end: it hangs or waits for an answer");
        if (error == kStarts) {
            const bool ended = access == Interrupted ? r.bySignal && r.exitCode == SIGTERM
                                                     : !r.bySignal && r.exitCode == 0;
            QVERIFY2(ended && probed("label").endsWith(shows), qPrintable(r.out + r.errors));
            QVERIFY(probed("label").startsWith("Food Database Item Number "));
            // A run that needs no copy makes none.
            if (access == Plain) QCOMPARE(probed("temporary"), QString());
        } else {
            QVERIFY2(probed("label").isEmpty(), "the main window came up");
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(
                r.errors.contains(QStringLiteral("Velmora: Run-time error '%1':").arg(error)) &&
                    r.errors.contains(shows),
                qPrintable(r.errors));
        }
        // The program's budget was met sooner, not skipped: it set a longer interval of its own.
        if (table == Endless) QVERIFY2(probed("steps").toInt() > kEndlessSteps, qPrintable(r.out));
        // Reset lists every food, one without a description too.
        if (table == NullDescriptions) QCOMPARE(probed("rows after reset"), QStringLiteral("4"));
        // The calories of the state the list shows, the one before the writer's next commit.
        if (table == Writer && error == kStarts) QCOMPARE(probed("calories"), QStringLiteral("29"));
    }
};

QTEST_GUILESS_MAIN(BrokenTables)
#include "test_brokentables.moc"
