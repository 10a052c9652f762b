// The real program on every kind of broken food table. Each case copies the program into a folder
// of its own with a prepared Velmora.mdb and starts it on the offscreen platform. Either it starts
// (the preloaded probe reports the main window, presses Reset and closes it: status 0) or it
// writes the start-up message, "Run-time error 'N':" and the error's text under the title
// "Velmora", and ends with a non-zero status. In every case the table's bytes are as they were
// and nothing (no journal, WAL or shared-memory file) is left beside it.
//
// File modes do not stop root, and CI runs as root: there the program runs as the user nobody,
// as a desktop user would run it, so the read-only cases are real.
#include "fixturedb.h"
#include "fooddb/sqlite.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

enum Table {
    Missing,
    ZeroBytes,
    RandomBytes,
    TextFile,
    NoCsr14,
    ColumnMissing,
    TextInNumber,
    NullAndEmpty,
    Good,
    WalMode,
    Big,
    CrossJoin,  // a view that yields more rows than memory holds
    Endless,    // a view whose WHERE never matches, over an endless cross join
    Recursive,  // a view the program will not run
    Fifo,
    HotJournal,  // another program's unfinished changes beside the table
    LinkToWal,   // a link to a table whose committed rows are still in a writer's log
};
enum Access { Plain, ReadOnlyFile, ReadOnlyFolder, WriteLocked };

constexpr int kStarts = 0;
constexpr int kStartsOrInUse = -1;  // the engine may wait for the lock or report it
constexpr int kBigRows = 79070;
constexpr int kTimeoutMs = 120000;  // far above any start, far below the test's own limit

const QString kTableName = QStringLiteral("Velmora.mdb");

QList<FixtureFood> goodFoods() {
    return {{"Alcoholic beverage, beer, light", {{"ENERG_KCAL", 29.0}, {"PROTEIN", 0.24}}},
            {"Apple, raw", {{"ENERG_KCAL", 52.0}, {"GMWT_1", 125.0}, {"GMWT_DESC1", "1 cup"}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}}}};
}

bool exec(const QString& path, const char* sql) {
    return execSql(path, QString::fromUtf8(sql)).isEmpty();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Makes the table of one case; false when the test itself could not.
bool makeTable(Table table, const QString& column, const QString& path,
               std::unique_ptr<sqlite::Database>& writer_) {
    switch (table) {
        case Missing:
            return true;
        case ZeroBytes:
            return writeBytes(path, {});
        case RandomBytes: {
            QRandomGenerator generator(20240611);  // the same bytes every run
            QByteArray bytes(8192, '\0');
            generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            return writeBytes(path, bytes);
        }
        case TextFile:
            return writeBytes(path, "Description,WATER,ENERG_KCAL\r\n\"Apple, raw\",85.56,52\r\n");
        case NoCsr14:
            return exec(path,
                        "CREATE TABLE FOODS (Description TEXT, ENERG_KCAL REAL);"
                        "INSERT INTO FOODS VALUES ('Apple, raw', 52);");
        case ColumnMissing:
            return writeFixtureDb(path, goodFoods(), column).isEmpty();
        case TextInNumber:
            // The food chosen at start-up carries the text, so its report is made from it.
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   exec(path,
                        "UPDATE CSR14 SET ENERG_KCAL = 'lots', SODIUM = 'n/a', GMWT_1 = 'cup' "
                        "WHERE Description LIKE 'Alco%'");
        case NullAndEmpty:
            return writeFixtureDb(path, {{QVariant(), {{"ENERG_KCAL", 1.0}}},
                                         {QString(""), {{"ENERG_KCAL", 2.0}}},
                                         {"Alcoholic beverage, wine", {{"ENERG_KCAL", 83.0}}},
                                         {"Bread, white", {{"ENERG_KCAL", 266.0}}}})
                .isEmpty();
        case Good:
            return writeFixtureDb(path, goodFoods()).isEmpty();
        case WalMode:
            // A table someone opened with another tool that switched it to write-ahead logging.
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   exec(path, "PRAGMA journal_mode=WAL");
        case CrossJoin:
        case Endless: {
            // 200 foods joined with themselves: with long descriptions, more rows than memory
            // holds; four times over, rows the engine would take hours to try.
            QList<FixtureFood> foods;
            for (int i = 0; i < 200; ++i)
                foods.append({QString(table == CrossJoin ? 20000 : 1, u'x') + QString::number(i),
                              {{"WATER", 1.0}}});
            const char* view = table == CrossJoin
                                   ? "CREATE VIEW CSR14 AS SELECT a.* FROM T a, T b"
                                   : "CREATE VIEW CSR14 AS SELECT a.* FROM T a, T b, T c, T d "
                                     "WHERE a.WATER + b.WATER + c.WATER + d.WATER = -1";
            return writeFixtureDb(path, foods).isEmpty() &&
                   exec(path, "ALTER TABLE CSR14 RENAME TO T") && exec(path, view);
        }
        case Recursive:
            return writeFixtureDb(path, goodFoods()).isEmpty() &&
                   exec(path, "ALTER TABLE CSR14 RENAME TO T") &&
                   exec(path,
                        "CREATE VIEW CSR14 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                        "SELECT i + 1 FROM n) SELECT T.* FROM T, n");
        case Fifo:
            return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
        case HotJournal: {
            // A copy of the table and of its journal taken while a writer's changes are half
            // written is what a crash of that writer leaves behind.
            const QString original = path + ".writer";
            if (!writeFixtureDb(original, goodFoods()).isEmpty()) return false;
            sqlite::Database writer(QFile::encodeName(original), SQLITE_OPEN_READWRITE);
            writer.exec("PRAGMA cache_size = 1");
            writer.exec("BEGIN");
            writer.exec("UPDATE CSR14 SET Description = Description || zeroblob(2000)");
            const bool copied = QFile::copy(original, path) &&
                                QFile::copy(original + "-journal", path + "-journal");
            writer.exec("ROLLBACK");
            writer.close();
            return copied && QFile::remove(original);
        }
        case LinkToWal: {
            // The table lies in a folder of its own, beside its writer's log; the program's
            // folder has a link to it.
            const QString target = QFileInfo(path).dir().filePath("../data/Velmora.mdb");
            QDir().mkpath(QFileInfo(target).path());
            QFile::setPermissions(QFileInfo(target).path(), QFileDevice::Permissions(0x7777));
            if (!writeFixtureDb(target, goodFoods()).isEmpty() ||
                !exec(target, "PRAGMA journal_mode=WAL"))
                return false;
            writer_ = std::make_unique<sqlite::Database>(QFile::encodeName(target),
                                                         SQLITE_OPEN_READWRITE);
            writer_->exec("PRAGMA wal_autocheckpoint = 0");
            writer_->exec("INSERT INTO CSR14 (Description) VALUES ('Zucchini, committed')");
            for (const QString& f : QDir(QFileInfo(target).path()).entryList(QDir::Files))
                QFile::setPermissions(QFileInfo(target).path() + '/' + f,
                                      QFileDevice::Permissions(0x6666));
            return QFile::link(target, path);
        }
        case Big: {
            QList<FixtureFood> foods;
            foods.reserve(kBigRows);
            for (int i = 0; i < kBigRows; ++i)
                foods.append({(i % 2 ? QStringLiteral("Alcoholic beverage, variety %1")
                                     : QStringLiteral("Bread, variety %1"))
                                  .arg(i),
                              {{"ENERG_KCAL", double(i % 900)}}});
            return writeFixtureDb(path, foods).isEmpty();
        }
    }
    return false;
}

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QStringList probe;  // "KEY<tab>VALUE" lines of the probe
    QString errors;

    QString value(const QString& key) const {
        for (const QString& l : probe)
            if (l.startsWith(key + u'\t')) return l.mid(key.size() + 1);
        return {};
    }
    QStringList rows() const {
        QStringList out;
        for (const QString& l : probe) {
            if (l.startsWith(QLatin1String("rows after reset"))) break;
            if (l.startsWith(QLatin1String("row\t"))) out << l.mid(4);
        }
        return out;
    }
};

}  // namespace

class BrokenTables : public QObject {
    Q_OBJECT

    QString program_;  // the program as built
    QString probe_;    // the probe library as built
    bool asRoot_ = geteuid() == 0;

    Outcome start(const QString& root, const QString& folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // The probe is loaded before the sanitizer runtime the program links.
        const QString asan = env.value("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS",
                   (asan.isEmpty() ? asan : asan + u':') + "verify_asan_link_order=0");
        // Files the unprivileged program must read are copied where it can read them.
        QString lsan = env.value("LSAN_OPTIONS");
        const QRegularExpressionMatch supp = QRegularExpression("suppressions=([^:]+)").match(lsan);
        if (supp.hasMatch() && QFile::copy(supp.captured(1), root + "/probe/lsan.supp"))
            lsan.replace(supp.capturedStart(1), supp.capturedLength(1), root + "/probe/lsan.supp");
        env.insert("LSAN_OPTIONS", lsan);

        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root);  // not the program's folder: the table is found beside it
        // env sets the probe for the program alone, not for setpriv.
        QStringList command = {"env",
                               "LD_PRELOAD=" + root + "/probe/" + QFileInfo(probe_).fileName(),
                               folder + "/velmora"};
        if (asRoot_)
            command =
                QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"} +
                command;
        p.start(command.takeFirst(), command);
        Outcome o;
        if (!p.waitForStarted()) return o;
        o.finished = p.waitForFinished(kTimeoutMs);
        if (!o.finished) {
            p.kill();
            p.waitForFinished();
        }
        o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        for (const QString& l : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n'))
            if (l.startsWith(QLatin1String("probe:"))) o.probe << l.mid(6);
        o.errors = QString::fromUtf8(p.readAllStandardError());
        return o;
    }

  private slots:
    void initTestCase() {
        const QDir bin(qEnvironmentVariable("VELMORA_TEST_BIN"));
        program_ = bin.filePath("velmora");
        probe_ = qEnvironmentVariable("VELMORA_STARTPROBE");
        QVERIFY2(QFileInfo(program_).isExecutable(), qPrintable(program_));
        QVERIFY2(QFileInfo::exists(probe_), "VELMORA_STARTPROBE names no file");
        if (asRoot_ && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root without setpriv: the program cannot run unprivileged");
    }

    void table_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("access");
        QTest::addColumn<int>("error");      // kStarts, kStartsOrInUse or the message's number
        QTest::addColumn<QString>("shows");  // started: the label's end; else part of the message

        QTest::newRow("missing") << int(Missing) << "" << int(Plain) << 3024
                                 << "Could not find file";
        QTest::newRow("zero bytes") << int(ZeroBytes) << "" << int(Plain) << 3078 << "'CSR14'";
        QTest::newRow("random bytes")
            << int(RandomBytes) << "" << int(Plain) << 3343 << "Unrecognized database format";
        QTest::newRow("text file")
            << int(TextFile) << "" << int(Plain) << 3343 << "Unrecognized database format";
        QTest::newRow("no CSR14") << int(NoCsr14) << "" << int(Plain) << 3078 << "'CSR14'";
        // The start's query orders by the description, so the engine itself names that column.
        QTest::newRow("no column Description") << int(ColumnMissing) << "Description" << int(Plain)
                                               << 3075 << "no such column: description";
        for (const char* column : {"ENERG_KCAL", "GMWT_DESC2", "CODE"})
            QTest::addRow("no column %s", column) << int(ColumnMissing) << column << int(Plain)
                                                  << 3265 << QStringLiteral("'%1'").arg(column);
        QTest::newRow("text in numeric columns")
            << int(TextInNumber) << "" << int(Plain) << kStarts << " of 3";
        QTest::newRow("null and empty descriptions")
            << int(NullAndEmpty) << "" << int(Plain) << kStarts << " of 4";
        QTest::newRow("read-only file")
            << int(Good) << "" << int(ReadOnlyFile) << kStarts << " of 3";
        QTest::newRow("read-only folder")
            << int(Good) << "" << int(ReadOnlyFolder) << kStarts << " of 3";
        QTest::newRow("write-locked")
            << int(Good) << "" << int(WriteLocked) << kStartsOrInUse << "already in use";
        QTest::newRow("write-ahead log") << int(WalMode) << "" << int(Plain) << kStarts << " of 3";
        QTest::newRow("write-ahead log, read-only folder")
            << int(WalMode) << "" << int(ReadOnlyFolder) << kStarts << " of 3";
        QTest::newRow("79,070 rows") << int(Big) << "" << int(Plain) << kStarts << " of 79070";
        QTest::newRow("view of more rows than memory holds")
            << int(CrossJoin) << "" << int(Plain) << 7 << "Out of memory";
        QTest::newRow("view that never ends")
            << int(Endless) << "" << int(Plain) << 3035 << "too large, or CSR14 is not a table";
        QTest::newRow("recursive view")
            << int(Recursive) << "" << int(Plain) << 3112 << "will not run";
        QTest::newRow("FIFO") << int(Fifo) << "" << int(Plain) << 3051 << "not a file";
        QTest::newRow("hot journal")
            << int(HotJournal) << "" << int(Plain) << 3046 << "did not finish writing";
        QTest::newRow("link to a table with a writer's log")
            << int(LinkToWal) << "" << int(Plain) << kStarts << " of 4";
    }

    void table() {
        QFETCH(int, table);
        QFETCH(QString, column);
        QFETCH(int, access);
        QFETCH(int, error);
        QFETCH(QString, shows);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path();
        const QString folder = root + "/app";
        const QString path = folder + u'/' + kTableName;
        QVERIFY(QDir(root).mkpath("app") && QDir(root).mkpath("probe"));
        QVERIFY(QFile::copy(program_, folder + "/velmora"));
        QVERIFY(QFile::copy(probe_, root + "/probe/" + QFileInfo(probe_).fileName()));
        std::unique_ptr<sqlite::Database> writer;  // a writer that stays while the program runs
        QVERIFY(makeTable(Table(table), column, path, writer));
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        using P = QFileDevice;
        const auto dirMode = P::ReadOwner | P::WriteOwner | P::ExeOwner | P::ReadGroup |
                             P::ExeGroup | P::ReadOther | P::ExeOther;
        QVERIFY(QFile::setPermissions(root, dirMode) && QFile::setPermissions(folder, dirMode) &&
                QFile::setPermissions(root + "/probe", dirMode));
        if (QFile::exists(path)) {
            auto mode = P::ReadOwner | P::ReadGroup | P::ReadOther;
            if (access != ReadOnlyFile && access != ReadOnlyFolder) mode |= P::WriteOwner;
            QVERIFY(QFile::setPermissions(path, mode));
        }
        if (access == ReadOnlyFolder)
            QVERIFY(QFile::setPermissions(folder, dirMode & ~P::WriteOwner));
        const QByteArray digest = fileDigest(path);

        // The lock is held by this process, as another program would hold it while writing.
        std::unique_ptr<sqlite::Database> locker;
        if (access == WriteLocked) {
            locker =
                std::make_unique<sqlite::Database>(QFile::encodeName(path), SQLITE_OPEN_READWRITE);
            locker->exec("BEGIN EXCLUSIVE");
        }
        const Outcome o = start(root, folder);
        locker.reset();  // its transaction is rolled back
        QFile::setPermissions(folder, dirMode);

        QVERIFY2(o.finished, "the program did not end: it hangs or waits for an answer");
        if (o.value("started").isEmpty() && error == kStartsOrInUse) error = 3045;
        if (error == kStarts || error == kStartsOrInUse) {
            QVERIFY2(
                o.exitCode == 0 && o.value("started") == u"Velmora",
                qPrintable(QStringLiteral("status %1, errors:\n%2").arg(o.exitCode).arg(o.errors)));
            QVERIFY2(o.value("label").endsWith(shows), qPrintable(o.value("label")));
            QVERIFY(o.value("label").startsWith(QLatin1String("Food Database Item Number ")));
        } else {
            QVERIFY2(o.value("started").isEmpty(), "the main window came up");
            QVERIFY(o.exitCode != 0);
            const QString heading = QStringLiteral("Velmora: Run-time error '%1':").arg(error);
            QVERIFY2(o.errors.contains(heading) && o.errors.contains(shows), qPrintable(o.errors));
        }
        if (table == NullAndEmpty) {
            // Listed after the start; a Null description matches no pattern, so Reset drops it.
            QCOMPARE(o.rows().count(QString()), 2);
            QCOMPARE(o.value("rows after reset"), QStringLiteral("3"));
        }
        if (table == Big) QCOMPARE(o.value("rows after reset"), QString::number(kBigRows));

        QCOMPARE(fileDigest(path), digest);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), files);
    }
};

QTEST_GUILESS_MAIN(BrokenTables)
#include "test_brokentables.moc"
