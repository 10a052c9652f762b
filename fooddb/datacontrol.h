// SPDX-License-Identifier: GPL-3.0-or-later
// The data control: one query result at a time over the food table, its current record, and the
// 39 bound field texts of that record. The database is opened read-only and never written.
#pragma once

#include "fooddb/foodcolumns.h"
#include "fooddb/recordset.h"
#include "fooddb/sourcerecord.h"
#include "fooddb/tablefile.h"
#include "fooddb/tablequery.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

class DataControl : public QObject {
    Q_OBJECT
  public:
    // `recordsetLimit`: the bytes of rows a query may give (a test sets it small).
    explicit DataControl(QObject* parent = nullptr, std::size_t recordsetLimit = kRecordsetLimit);
    ~DataControl() override;

    QString DatabaseName;
    TableQuery RecordSource;

    // Opens the database (the first time, or after DatabaseName changed) and runs RecordSource.
    // On success the result replaces the record set, its first row (if any) becomes current and
    // reposition() follows. On failure a RunTimeError is thrown and the previous record set,
    // current record and bound fields stay exactly as they were. A table that another program
    // writes is read through its log: the record set, and its rows read later, show one committed
    // state of it, the one the last Refresh saw.
    void Refresh();
    // Whether the table is open (a Refresh succeeded once, or failed only in its query).
    bool isOpen() const { return static_cast<bool>(file_.db()); }

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
    // Before the current record changes (action code, save flag), and after it changed. Every read
    // of the table happens inside a call of the program's own (Refresh, FindFirst, moveToRow),
    // which throws what fails, so no data error arises outside the program's code.
    void validate(int& action, int& save);
    void reposition();

  private:
    using FieldTexts = std::array<QString, kBoundFieldCount>;
    using Columns = std::array<int, kBoundFieldCount>;
    // A statement compiled on the open connection, kept for the next time the same text runs.
    struct Compiled {
        QByteArray sql;
        sqlite::Statement statement;
        Columns column{};     // where the bound fields stand among its result columns
        int compiledAt = -1;  // the engine's count of its recompilations when `column` was found
    };
    Compiled& compiled(const QString& sql, const QString& shown);
    // The same with `values` bound to its parameters ?1, ?2, … as texts.
    Compiled& compiled(const QString& sql, const QString& shown,
                       const std::vector<QByteArray>& values);
    const Columns& columnsOf(Compiled& c);
    void closeFile();
    void endRecordset() noexcept;
    void open();
    void configure(sqlite::Database& db);
    const sqlite::Database& db() const { return file_.db(); }
    template <typename Step>
    auto engine(Step step) -> decltype(step());
    Recordset readRecordset();
    Recordset readKeys(Compiled& keys, const QString& table);
    bool isTable(const QString& name);
    FieldTexts readFields(const Recordset& rs, int row);
    int findInColumn(int field, const QString& wanted);
    void moveTo(int row, FieldTexts fields);

    TableFile file_;
    // The statements compiled on file_'s connection, the most recently used first: a lookup runs
    // the same few again and again (a row by its key, the table's check). Declared after file_, so
    // they are finalised before its connection closes.
    std::vector<std::unique_ptr<Compiled>> compiled_;
    QString openedName_;
    std::int64_t steps_ = 0;  // engine steps left for the query that runs now
    const std::size_t recordsetLimit_;
    Recordset rs_;
    FieldTexts fields_;
};

// The food table the programs read unless told another: Velmora.mdb in the program's own folder.
QString defaultDatabasePath();

}  // namespace velmora
