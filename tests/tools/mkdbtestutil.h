// Helpers for the food table builder tests: running velmora-mkdb and reading what it wrote.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "fixturedb.h"

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

using velmora::test::query;
using velmora::test::Query;

}  // namespace mkdbtest
