// SPDX-License-Identifier: GPL-3.0-or-later
// The data control: one query result at a time over the food table, its current record, and the
// 39 bound field texts of that record. The database is opened read-only and never written.
#pragma once

#include "fooddb/foodcolumns.h"
#include "fooddb/recordset.h"
#include "fooddb/sourcerecord.h"
#include "fooddb/sqlite.h"

#include <QObject>
#include <QString>

class QTemporaryDir;

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class DataControl : public QObject {
    Q_OBJECT
  public:
    explicit DataControl(QObject* parent = nullptr);
    ~DataControl() override;

    QString DatabaseName;
    QString RecordSource = QStringLiteral("CSR14");

    // Opens the database (the first time, or after DatabaseName changed) and runs RecordSource.
    // On success the result replaces the record set, its first row (if any) becomes current and
    // reposition() follows. On failure a RunTimeError is thrown and the previous record set,
    // current record and bound fields stay exactly as they were.
    void Refresh();

    const Recordset& recordset() const { return rs_; }

    // The open table's source record (fooddb/sourcerecord.h); nothing before the first Refresh
    // and for a table without one. Throws RunTimeError as Refresh.
    std::optional<SourceRecord> sourceRecord();

    // Makes the first row meeting `criterion` current, or sets NoMatch and keeps the current
    // record. Throws RunTimeError for a criterion it cannot read.
    void FindFirst(const QString& criterion);

    // Makes `row` of the record set the current record, as a find that landed there would; a row
    // out of range changes nothing. The list's rows are the record set's rows, so the row the user
    // chose is found even when another food has the same description.
    void moveToRow(int row);

    // Text of bound field i (txtFields(i)) of the current record; empty with no current record.
    const QString& txtFields(int i) const { return fields_[static_cast<std::size_t>(i)]; }

  signals:
    // The record set is about to be replaced / has been replaced by a Refresh.
    void recordsetAboutToChange();
    void recordsetChanged();
    // Before the current record changes (action code, save flag), after it changed, and for data
    // errors raised outside the program's own code (error number, response code in and out).
    void validate(int& action, int& save);
    void reposition();
    void error(int dataErr, int& response);

  private:
    using FieldTexts = std::array<QString, kBoundFieldCount>;
    void open();
    // A private copy of a table in write-ahead-log mode and its log; the path of the copy.
    QByteArray writeAheadSnapshot(const QByteArray& table, const QString& shown);
    template <typename Step>
    auto engine(Step step) -> decltype(step());
    Recordset readRecordset();
    bool isTable(const QString& name);
    FieldTexts readFields(const Recordset& rs, int row);
    int findInColumn(int field, const QString& wanted);
    void moveTo(int row, FieldTexts fields);

    std::unique_ptr<QTemporaryDir> snapshot_;  // outlives db_, which reads from it
    sqlite::Database db_;
    QString openedName_;
    std::int64_t steps_ = 0;  // engine steps left for the query that runs now
    Recordset rs_;
    FieldTexts fields_;
};

// The food table the programs read unless told another: Velmora.mdb in the program's own folder.
QString defaultDatabasePath();

}  // namespace velmora
