// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a food table FACTOR times the size of the shipped one (see scaledtable.h), for timing the
// programs on more rows than ship. Prints the new table's row count.
//
//   velmora_scaletable OUT.mdb FACTOR [FROM.mdb]   (FROM default: Velmora.mdb beside the program)

#include "scaledtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = false;
    const int factor = args.size() > 2 ? args.at(2).toInt(&ok) : 0;
    if (args.size() < 3 || args.size() > 4 || !ok || factor < 1) {
        std::fputs("usage: velmora_scaletable OUT.mdb FACTOR [FROM.mdb]\n", stderr);
        return 2;
    }
    const QString out = args.at(1);
    const QString from =
        args.size() > 3
            ? args.at(3)
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Velmora.mdb"));
    if (!QFile::exists(from)) {
        std::fprintf(stderr, "velmora_scaletable: no table %s\n", qPrintable(from));
        return 1;
    }
    const QString error = velmora::bench::buildScaledTable(from, out, factor);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "velmora_scaletable: %s\n", qPrintable(error));
        return 1;
    }

    // The count read back from the file written, so a short table shows.
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    long long rows = -1;
    if (sqlite3_open_v2(QFile::encodeName(out).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM CSR14", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        rows = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    if (rows < 0) {
        std::fprintf(stderr, "velmora_scaletable: cannot count the rows of %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%lld\n", rows);
    return 0;
}
