#include "mkdbtestutil.h"

#include "utf8text.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace mkdbtest {

Run runMkdb(const QStringList& arguments) {
    QProcess process;
    process.start(qEnvironmentVariable("VELMORA_TEST_BIN") + QStringLiteral("/velmora-mkdb"),
                  arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        run.standardError = process.errorString();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.standardError = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList folderEntries(const QString& path) {
    return QDir(path).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

Query query(const QString& databasePath, const QString& sql) {
    Query result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK) {
        result.error = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no memory");
        sqlite3_close(db);
        return result;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        result.error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return result;
    }
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c)
        result.columns << QString::fromUtf8(sqlite3_column_name(statement, c));
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(statement, c)) {
                case SQLITE_NULL:
                    row << QVariant();
                    break;
                case SQLITE_INTEGER:
                    row << QVariant(sqlite3_column_int64(statement, c));
                    break;
                case SQLITE_FLOAT:
                    row << QVariant(sqlite3_column_double(statement, c));
                    break;
                default:
                    row << QVariant(velmora::textFromUtf8(QByteArrayView(
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                        sqlite3_column_bytes(statement, c))));
            }
        }
        result.rows << row;
    }
    if (step != SQLITE_DONE) result.error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

}  // namespace mkdbtest
