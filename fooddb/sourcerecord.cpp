// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/sourcerecord.h"

#include "common/numbertext.h"
#include "fooddb/sqlite.h"

#include <type_traits>

namespace velmora {

namespace {

// The columns of Source in order, each with the member it holds; reading and writing both walk
// this one list.
template <typename Record, typename Visit>
void forEachColumn(Record& r, Visit visit) {
    visit("Name", r.name);
    visit("Version", r.version);
    visit("Citation", r.citation);
    visit("Energy", r.energy);
    visit("Carbohydrate", r.carbohydrate);
    visit("Traces", r.traces);
    visit("BelowLimit", r.belowLimit);
    visit("Notes", r.notes);
    visit("NoticeRequired", r.noticeRequired);
    visit("ShortName", r.shortName);
    visit("ZerosTested", r.zerosTested);
}

template <typename T>
constexpr bool isText = std::is_same_v<std::remove_cvref_t<T>, QString>;

bool hasTable(const sqlite::Database& db, const char* name) {
    sqlite::Statement st =
        db.prepare(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ? "
                                  "COLLATE NOCASE"));
    st.bind(1, QString::fromLatin1(name));
    return st.step();
}

}  // namespace

void writeSourceRecord(sqlite::Database& db, const SourceRecord& record) {
    QString columns, marks;
    forEachColumn(record, [&](const char* name, const auto& value) {
        if (!columns.isEmpty()) {
            columns += QStringLiteral(", ");
            marks += QStringLiteral(", ");
        }
        columns += QLatin1StringView(name) +
                   (isText<decltype(value)> ? QStringLiteral(" TEXT") : QStringLiteral(" INTEGER"));
        marks += u'?';
    });
    db.exec(QStringLiteral("CREATE TABLE Source (%1)").arg(columns));
    sqlite::Statement insert =
        db.prepare(QStringLiteral("INSERT INTO Source VALUES (%1)").arg(marks));
    int index = 0;
    forEachColumn(record, [&](const char*, const auto& value) {
        if constexpr (isText<decltype(value)>)
            insert.bind(++index, value);
        else
            insert.bind(++index, static_cast<long long>(value));
    });
    insert.step();
}

std::optional<SourceRecord> readSourceRecord(const sqlite::Database& db) {
    if (!hasTable(db, "Source")) return std::nullopt;
    sqlite::Statement st = db.prepare(QStringLiteral("SELECT * FROM Source LIMIT 1"));
    if (!st.step()) return std::nullopt;
    SourceRecord record;
    for (int c = 0; c < st.columnCount(); ++c) {
        const QLatin1StringView column(sqlite3_column_name(st.get(), c));
        forEachColumn(record, [&](const char* name, auto& value) {
            if (column.compare(QLatin1StringView(name), Qt::CaseInsensitive) != 0) return;
            if constexpr (isText<decltype(value)>)
                value = st.columnType(c) == SQLITE_NULL ? QString() : st.columnQString(c);
            else
                value = static_cast<std::remove_cvref_t<decltype(value)>>(st.columnInt64(c));
        });
    }
    return record;
}

QStringList sourceRecordLines(const SourceRecord& r) {
    QStringList lines{QStringLiteral("Source: ") + r.name};
    // A table built from a CSV file has neither.
    if (!r.version.isEmpty()) lines << QStringLiteral("Version: ") + r.version;
    if (!r.citation.isEmpty()) lines << QStringLiteral("Citation: ") + r.citation;
    lines << QStringList{
        QStringLiteral("Energy: ") + r.energy,
        QStringLiteral("Carbohydrate: ") + r.carbohydrate,
        QStringLiteral("Traces: %1, stored as 0").arg(counted(r.traces, u"amount")),
        QStringLiteral("Below a limit: %1, stored as 0").arg(counted(r.belowLimit, u"amount")),
    };
    if (r.zerosTested) lines << QStringLiteral("Zeros: tested and not found");
    if (!r.notes.isEmpty()) lines << QStringLiteral("Notes: ") + r.notes;
    lines << QStringLiteral("Required notice: ") +
                 (r.noticeRequired ? QStringLiteral("yes, the citation ends every output")
                                   : QStringLiteral("no"));
    return lines;
}

QString sourceShortName(const SourceRecord& r) {
    return r.shortName.isEmpty() ? r.name : r.shortName;
}

QString requiredNotice(const std::optional<SourceRecord>& r) {
    return r && r->noticeRequired ? r->citation : QString();
}

QStringList sourceAboutLines(const SourceRecord& r) {
    return {QStringLiteral("Food table: ") + r.name, QStringLiteral("Version: ") + r.version,
            r.citation};
}

}  // namespace velmora
