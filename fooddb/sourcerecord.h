// SPDX-License-Identifier: GPL-3.0-or-later
// Where a food table's data come from: one row of the table Source, which velmora-mkdb writes
// beside CSR14 when it builds a table from a national food table. The shipped table and those
// built from USDA data carry none. Written by the builder, read by velmora-report and the About
// window; the table's layout is known here only.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

namespace sqlite {
class Database;
}

struct SourceRecord {
    QString name;           // "Ciqual French food composition table"
    QString version;        // the release, as the agency names it
    QString citation;       // how to cite it
    QString energy;         // how ENERG_KCAL was derived
    QString carbohydrate;   // what CARBOHYDRT holds
    qint64 traces = 0;      // amounts given as traces, stored as 0
    qint64 belowLimit = 0;  // amounts given as below a limit of detection, stored as 0
    QString notes;          // anything else a reader of the table must know; may be empty
    // The agency's terms require the citation on every output made from the table.
    bool noticeRequired = false;
};

// Creates Source in `db` (inside the caller's transaction) and writes `record` as its one row.
void writeSourceRecord(sqlite::Database& db, const SourceRecord& record);

// The row of Source, or nothing when the table has no Source (or it is empty). A column missing
// from it reads as empty; throws sqlite::Error only when the engine fails.
std::optional<SourceRecord> readSourceRecord(const sqlite::Database& db);

// "Label: value" lines, as velmora-mkdb and velmora-report --source print them.
QStringList sourceRecordLines(const SourceRecord& record);

// The lines the About window adds below its own text: the table's name, its version and its
// citation.
QStringList sourceAboutLines(const SourceRecord& record);

}  // namespace velmora
