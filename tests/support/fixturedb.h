// Small food tables made by the tests themselves.
#pragma once

#include <QMap>
#include <QString>
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

// SHA-256 of a file's bytes, to show that nothing wrote to it.
QByteArray fileDigest(const QString& path);

}  // namespace velmora::test
