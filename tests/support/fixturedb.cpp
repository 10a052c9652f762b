// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixturedb.h"

#include "common/utf8text.h"
#include "fooddb/foodcolumns.h"
#include "fooddb/sqlite.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora::test {

QString writeFixtureDb(const QString& path, const QList<FixtureFood>& foods,
                       const QString& omitColumn) {
    QFile::remove(path);
    QStringList columns, defs, marks;
    for (const FoodColumn& c : kFoodColumns) {
        const QString name = QString::fromLatin1(c.name);
        if (name == omitColumn) continue;
        columns << name;
        defs << name + (name == u"Description"       ? QStringLiteral(" TEXT COLLATE NOCASE")
                        : c.type == ColumnType::Text ? QStringLiteral(" TEXT")
                                                     : QStringLiteral(" REAL"));
        marks << QStringLiteral("?");
    }
    try {
        sqlite::Database db(QFile::encodeName(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.exec(QStringLiteral("CREATE TABLE CSR14 (%1)").arg(defs.join(u',')));
        sqlite::Transaction transaction(db);
        sqlite::Statement insert = db.prepare(QStringLiteral("INSERT INTO CSR14 (%1) VALUES (%2)")
                                                  .arg(columns.join(u','), marks.join(u',')));
        for (const FixtureFood& f : foods) {
            for (int i = 0; i < columns.size(); ++i) {
                const QVariant v =
                    columns[i] == u"Description" ? f.description : f.values.value(columns[i]);
                if (!v.isValid() || v.isNull())
                    insert.bindNull(i + 1);
                else if (v.typeId() == QMetaType::QString)
                    insert.bind(i + 1, v.toString());
                else
                    insert.bind(i + 1, v.toDouble());
            }
            insert.step();
            insert.reset();
        }
        transaction.commit();
    } catch (const sqlite::Error& e) {
        return e.message();
    }
    return {};
}

Query query(const QString& path, const QString& sql) {
    Query result;
    try {
        sqlite::Database db(QFile::encodeName(path), SQLITE_OPEN_READONLY);
        sqlite::Statement st = db.prepare(sql);
        for (int c = 0; c < st.columnCount(); ++c)
            result.columns << QString::fromUtf8(sqlite3_column_name(st.get(), c));
        while (st.step()) {
            QVariantList row;
            for (int c = 0; c < st.columnCount(); ++c) {
                switch (st.columnType(c)) {
                    case SQLITE_NULL:
                        row << QVariant();
                        break;
                    case SQLITE_INTEGER:
                        row << QVariant(qint64(st.columnInt64(c)));
                        break;
                    case SQLITE_FLOAT:
                        row << QVariant(st.columnDouble(c));
                        break;
                    default: {
                        const std::string_view t = st.columnText(c);
                        row << QVariant(
                            textFromUtf8(QByteArrayView(t.data(), qsizetype(t.size()))));
                    }
                }
            }
            result.rows << row;
        }
    } catch (const sqlite::Error& e) {
        result.error = e.message();
    }
    return result;
}

QString execSql(const QString& path, const QString& sql) {
    try {
        sqlite::Database db(QFile::encodeName(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.exec(sql);
    } catch (const sqlite::Error& e) {
        return e.message();
    }
    return {};
}

QString shippedDatabase() {
    const QString path = QDir(qEnvironmentVariable("VELMORA_TEST_BIN")).filePath("Velmora.mdb");
    return QFileInfo::exists(path) ? path : QString();
}

QString tableMark(const QString& path) {
    const Query id = query(path, QStringLiteral("PRAGMA application_id"));
    const Query name = query(path, QStringLiteral("SELECT ShortName FROM Source"));
    return id.rows.value(0).value(0).toString() + u' ' + name.rows.value(0).value(0).toString();
}

QByteArray fileDigest(const QString& path) {
    if (!QFileInfo(path).isFile()) return {};  // a FIFO would block the read
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

}  // namespace velmora::test
