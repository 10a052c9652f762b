// SPDX-License-Identifier: GPL-3.0-or-later
// A food table built before as the source of a new one: the installed table, a national one, or
// one holding own foods already, copied food for food with its source record, so that a user
// adds foods of their own to the table they have.
#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "common/utf8text.h"
#include "fooddb/sqlite.h"
#include "fooddb/tablefile.h"
#include "tools/formats/inputfile.h"
#include "tools/sources/readers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

namespace velmora::mkdb {

namespace {

// What every SQLite database file begins with.
constexpr char kSqliteHeader[] = "SQLite format 3";  // and its NUL

[[noreturn]] void refuse(const QString& path, const QString& what) {
    throw Fault{{path, 0, 0, what}};
}

// The statement that reads the 39 columns of CSR14 in the table's own order (a view's as it
// gives them); refused when CSR14 or one of the columns is missing.
sqlite::Statement rowsOf(const sqlite::Database& db, const QString& path) {
    sqlite::Statement columns =
        db.prepare(QStringLiteral("SELECT name FROM pragma_table_info('CSR14')"));
    QStringList names;
    while (columns.step()) names << columns.columnQString(0);
    const QString notFoods = QStringLiteral("an SQLite database, but no food table: ");
    if (names.isEmpty()) refuse(path, notFoods + QStringLiteral("it has no table CSR14"));
    QStringList wanted;
    for (const auto& column : kColumns) {
        wanted << latin1(column.name);
        if (!names.contains(wanted.last(), Qt::CaseInsensitive))
            refuse(path, notFoods + QStringLiteral("CSR14 has no column %1").arg(wanted.last()));
    }
    const QString select = QStringLiteral("SELECT %1 FROM CSR14").arg(wanted.join(u", "));
    try {
        return db.prepare(select + QStringLiteral(" ORDER BY rowid"));
    } catch (const sqlite::Error&) {
        return db.prepare(select);  // a view, or a table without row keys
    }
}

// Cell `c` of the current row as the table holds it; `row` counts from 1, for messages.
Cell cellOf(const sqlite::Statement& st, int c, qsizetype row, const QString& path) {
    const auto& column = kColumns[std::size_t(c)];
    const int type = st.columnType(c);
    if (type == SQLITE_NULL) return {};
    const auto fail = [&](const QString& what) {
        refuse(path,
               QStringLiteral("CSR14 row %1, %2: %3").arg(row).arg(latin1(column.name), what));
    };
    if (type == SQLITE_BLOB) fail(QStringLiteral("a blob, not a number or text"));
    if (column.type == ColumnType::Text) return Cell::of(st.columnText(c));
    double x = 0;
    if (type == SQLITE_TEXT) {
        const std::string_view text = st.columnText(c);
        if (text.empty()) return {};  // shown as not measured, as Null is
        const std::optional<double> number = plainNumber(text);
        if (!number) fail(quoted(text) + QStringLiteral(" is not a number"));
        x = *number;
    } else {
        x = st.columnDouble(c);
    }
    if (!(std::fabs(x) <= kLargestAmount))
        fail(QStringLiteral("%1 is out of range (beyond ±10^%2)")
                 .arg(QString::number(x, 'g', 17))
                 .arg(kLargestAmountPower));
    return Cell::of(x);
}

}  // namespace

bool isSqliteFile(const QString& path) {
    const QByteArray name = encodeFileName(path);
    struct stat status {};
    // Only a regular file: a FIFO's bytes, once read here, would be lost to the CSV reader.
    if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char start[sizeof kSqliteHeader] = {};
    const ssize_t n = ::read(fd, start, sizeof start);
    ::close(fd);
    return n == ssize_t(sizeof start) && std::memcmp(start, kSqliteHeader, sizeof start) == 0;
}

Built readBuiltTable(const QString& path, const RowSink& sink) {
    Built built;
    qsizetype rows = 0;
    try {
        TableFile file;
        file.open(encodeFileName(path), path,
                  [](sqlite::Database& db) { db.exec("PRAGMA query_only=1"); });
        file.beginRecordset();  // one committed state of it, should someone write it meanwhile
        built.source = readSourceRecord(file.db());
        sqlite::Statement st = rowsOf(file.db(), path);
        FoodRow row;
        while (st.step()) {
            ++rows;
            for (int c = 0; c < kColumnCount; ++c) row[std::size_t(c)] = cellOf(st, c, rows, path);
            sink(row);
        }
        file.endRecordset();
    } catch (const sqlite::Error& e) {
        refuse(path, e.message());
    } catch (const RunTimeError& e) {
        refuse(path, e.description());
    }
    built.counts = counted(rows, u"food");
    return built;
}

}  // namespace velmora::mkdb
