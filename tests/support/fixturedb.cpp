#include "fixturedb.h"

#include "datacontrol.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace velmora::test {

namespace {
// The columns the program binds, so a fixture table has exactly what the program reads.
const auto& kColumns = kBoundColumns;

bool isTextColumn(const QString& c) {
    return c == u"Description" || c == u"GMWT_DESC1" || c == u"GMWT_DESC2" || c == u"NDB_NO" ||
           c == u"CODE";
}
}  // namespace

QString writeFixtureDb(const QString& path, const QList<FixtureFood>& foods,
                       const QString& omitColumn) {
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return QStringLiteral("cannot create %1").arg(path);
    }
    QStringList columns, defs, marks;
    for (const char* c : kColumns) {
        const QString name = QString::fromLatin1(c);
        if (name == omitColumn) continue;
        columns << name;
        defs << name + (name == u"Description" ? QStringLiteral(" TEXT COLLATE NOCASE")
                        : isTextColumn(name)   ? QStringLiteral(" TEXT")
                                               : QStringLiteral(" REAL"));
        marks << QStringLiteral("?");
    }
    QString error;
    auto exec = [&](const QString& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &msg) != SQLITE_OK)
            error = QString::fromUtf8(msg);
        sqlite3_free(msg);
    };
    exec(QStringLiteral("CREATE TABLE CSR14 (%1)").arg(defs.join(u',')));
    exec(QStringLiteral("BEGIN"));
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       QStringLiteral("INSERT INTO CSR14 (%1) VALUES (%2)")
                           .arg(columns.join(u','), marks.join(u','))
                           .toUtf8()
                           .constData(),
                       -1, &st, nullptr);
    for (const FixtureFood& f : foods) {
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant v =
                columns[i] == u"Description" ? f.description : f.values.value(columns[i]);
            if (!v.isValid() || v.isNull()) {
                sqlite3_bind_null(st, i + 1);
            } else if (v.typeId() == QMetaType::QString) {
                sqlite3_bind_text(st, i + 1, v.toString().toUtf8().constData(), -1,
                                  SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_double(st, i + 1, v.toDouble());
            }
        }
        if (sqlite3_step(st) != SQLITE_DONE) error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(QStringLiteral("COMMIT"));
    sqlite3_close(db);
    return error;
}

QString shippedDatabase() {
    const QString path = QDir(qEnvironmentVariable("VELMORA_TEST_BIN")).filePath("Velmora.mdb");
    return QFileInfo::exists(path) ? path : QString();
}

QByteArray fileDigest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

}  // namespace velmora::test
