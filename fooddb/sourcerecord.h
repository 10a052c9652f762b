// SPDX-License-Identifier: GPL-3.0-or-later
// Where a food table's data come from: one row of the table Source, which velmora-mkdb writes
// beside CSR14 into every table it builds. Tables built before it wrote one for every source may
// carry none. Written by the builder, read by velmora-report and the window (caption,
// instructions, About window, reports); the table's layout is known here only.
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
    QString shortName;      // as a window's caption names it: "Ciqual"; may be empty
    QString version;        // the release, as the agency names it
    QString citation;       // how to cite it
    QString energy;         // how ENERG_KCAL was derived
    QString carbohydrate;   // what CARBOHYDRT holds
    qint64 traces = 0;      // amounts given as traces, stored as 0
    qint64 belowLimit = 0;  // amounts given as below a limit of detection, stored as 0
    QString notes;          // anything else a reader of the table must know; may be empty
    // The agency's terms require the citation on every output made from the table.
    bool noticeRequired = false;
    // A 0 is an amount that was tested and not found (USDA SR), not a trace or an amount below a
    // limit, nor a 0 whose meaning the source does not say.
    bool zerosTested = false;
};

// Creates Source in `db` (inside the caller's transaction) and writes `record` as its one row.
void writeSourceRecord(sqlite::Database& db, const SourceRecord& record);

// The row of Source, or nothing when the table has no Source (or it is empty). A column missing
// from it reads as empty; throws sqlite::Error only when the engine fails.
std::optional<SourceRecord> readSourceRecord(const sqlite::Database& db);

// The name a caption gives the source: its short name, else its name.
QString sourceShortName(const SourceRecord& record);

// The notice every output made from the table must end with: the citation where the source's
// terms require it, else empty.
QString requiredNotice(const std::optional<SourceRecord>& record);

// "Label: value" lines, as velmora-mkdb and velmora-report --source print them.
QStringList sourceRecordLines(const SourceRecord& record);

// The lines the About window adds below its own text: the table's name, its version and its
// citation.
QStringList sourceAboutLines(const SourceRecord& record);

}  // namespace velmora
