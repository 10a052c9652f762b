// Helpers for the food table builder tests: running velmora-mkdb and reading what it wrote.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace mkdbtest {

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QString standardError;
};

// Runs the built velmora-mkdb (from $VELMORA_TEST_BIN) with `arguments`.
Run runMkdb(const QStringList& arguments);

void writeFile(const QString& path, const QByteArray& bytes);

// Names of all entries of a folder, hidden ones included: a left-over temporary file shows up.
QStringList folderEntries(const QString& path);

struct Query {
    QStringList columns;
    QList<QVariantList> rows;  // NULL as an invalid QVariant, REAL as double, TEXT as QString
    QString error;
};

// Runs one statement on a database opened read-only, through the SQLite C API.
Query query(const QString& databasePath, const QString& sql);

}  // namespace mkdbtest
