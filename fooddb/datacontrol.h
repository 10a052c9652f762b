// The data control: one query result at a time over the food table, its current record, and the
// 39 bound field texts of that record. The database is opened read-only and never written.
#pragma once

#include "fooddb/foodcolumns.h"
#include "fooddb/sqlite.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One query result, held in memory. Text cells are kept as UTF-8; numbers stay numbers until a
// record is read, since turning every cell into text up front would double the load time.
class Recordset {
  public:
    int RecordCount() const { return static_cast<int>(rows_); }
    // 0-based position of the current record, -1 when there is none.
    int AbsolutePosition() const { return current_; }
    bool NoMatch() const { return noMatch_; }

    // Text of bound field `field` of row `row`, as the bound field shows it: numbers as the
    // shortest plain decimal text that reads back to the stored value, Null as the empty text.
    QString cellText(int row, int field) const;
    std::string cellUtf8(int row, int field) const;
    QString description(int row) const { return cellText(row, 0); }

    // The UTF-8 text of a text cell (empty for Null); numbers give no view.
    bool isTextCell(int row, int field) const { return kinds_[index(row, field)] == Kind::Text; }
    std::string_view textCell(int row, int field) const;
    // Whether the description of `row` is a text of ASCII characters only.
    bool descriptionIsAscii(int row) const {
        return descriptionAscii_[static_cast<std::size_t>(row)];
    }

  private:
    friend class DataControl;
    enum class Kind : std::uint8_t { Text, Real, Integer };
    static std::size_t index(int row, int field) {
        return static_cast<std::size_t>(row) * kBoundFieldCount + static_cast<std::size_t>(field);
    }
    void appendText(std::string_view text);
    void appendReal(double v);
    void appendInteger(long long v);

    std::string cells_;
    std::vector<std::uint32_t> offsets_{0};
    std::vector<Kind> kinds_;
    std::vector<bool> descriptionAscii_;
    std::size_t rows_ = 0;
    int current_ = -1;
    bool noMatch_ = false;
};

class DataControl : public QObject {
    Q_OBJECT
  public:
    explicit DataControl(QObject* parent = nullptr);
    ~DataControl() override;

    QString DatabaseName;
    QString RecordSource = QStringLiteral("CSR14");

    // Opens the database (the first time, or after DatabaseName changed) and runs RecordSource.
    // On success the result replaces the record set, its first row (if any) becomes current and
    // reposition() follows. On failure a VbError is thrown and the previous record set, current
    // record and bound fields stay exactly as they were.
    void Refresh();

    const Recordset& recordset() const { return rs_; }

    // Makes the first row meeting `criterion` current, or sets NoMatch and keeps the current
    // record. Throws VbError for a criterion it cannot read.
    void FindFirst(const QString& criterion);

    // Text of bound field i (txtFields(i)) of the current record; empty with no current record.
    const QString& txtFields(int i) const { return fields_[static_cast<std::size_t>(i)]; }

    // Reports a data error that happened outside the program's own handlers.
    void raiseDataError(int number);

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
    void open();
    void moveTo(int row);
    Recordset runQuery();
    Recordset readRecordset();

    sqlite::Database db_;
    QString openedName_;
    Recordset rs_;
    std::array<QString, kBoundFieldCount> fields_;
};

// Error text of an error number this layer raises, for messages built elsewhere.
QString dataErrorText(int number);

}  // namespace velmora
