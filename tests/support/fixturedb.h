// SPDX-License-Identifier: GPL-3.0-or-later
// Small food tables made by the tests themselves.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <initializer_list>

namespace velmora::test {

struct FixtureFood {
    QVariant description;                 // a null QVariant is a Null description
    QMap<QString, QVariant> values = {};  // column -> value; absent columns are Null
};

// Writes `path` as a food table CSR14 with the 39 columns (and only the given rows). Returns an
// empty text on success, the error otherwise. `omitColumn` leaves one column out.
QString writeFixtureDb(const QString& path, const QList<FixtureFood>& foods,
                       const QString& omitColumn = {});

// The shipped table beside the programs under test, or an empty text when it was not built.
QString shippedDatabase();

// What a statement on a table gives: NULL as an invalid QVariant, INTEGER as qint64, REAL as
// double, TEXT as QString.
struct Query {
    QStringList columns;
    QList<QVariantList> rows;
    QString error;
};
// Runs one statement on a table opened read-only.
Query query(const QString& path, const QString& sql);
// Runs statements on a table opened for writing (made when missing); the error text, or empty.
QString execSql(const QString& path, const QString& sql);

// The table's application_id and its source's short name ("" without a source record), as
// "ID NAME": every table velmora-mkdb builds names its source and carries Velmora's mark.
QString tableMark(const QString& path);

// SHA-256 of a file's bytes, to show that nothing wrote to it.
QByteArray fileDigest(const QString& path);

}  // namespace velmora::test
