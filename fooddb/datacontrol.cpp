// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/datacontrol.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "common/utf8text.h"
#include "fooddb/criterion.h"
#include "fooddb/dataerrors.h"
#include "fooddb/jetlike.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <new>
#include <optional>
#include <unordered_set>

namespace velmora {

namespace {

// A query may take this many engine steps (checked every kStepsPerCheck) before it is given up:
// far more than any food table needs, few enough that a table built to keep the engine busy ends
// in a message after a second or two instead of a hang.
constexpr int kStepsPerCheck = 1000;
constexpr std::int64_t kStepChecks = 500'000;

// Compiled statements kept per connection: enough for the few a lookup repeats.
constexpr std::size_t kCompiledKept = 8;

// The program only ever reads: refuse anything but reading at the engine too. A read transaction
// holds one state of the table for a record set.
int readOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_FUNCTION:
        case SQLITE_TRANSACTION:
            return SQLITE_OK;
        default:
            return SQLITE_DENY;
    }
}

int countSteps(void* stepsLeft) {
    return --*static_cast<std::int64_t*>(stepsLeft) < 0;  // non-zero interrupts the query
}

// The query text as the engine reads it: UTF-8, except that a NUL is written C0 80 (a NUL byte
// would end the text) and a lone surrogate keeps its own three bytes. Neither is valid UTF-8, so
// inside a pattern each stands for itself and never for a wildcard, as the user typed it.
QByteArray sqlText(const QString& text) {
    const bool plain = std::none_of(text.begin(), text.end(),
                                    [](QChar c) { return c.unicode() == 0 || c.isSurrogate(); });
    if (plain) return text.toUtf8();
    QByteArray out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u == 0) {
            out.append("\xC0\x80", 2);
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            out.append(QStringView(text).mid(i, 2).toUtf8());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out.append(char(0xE0 | (u >> 12)));
            out.append(char(0x80 | ((u >> 6) & 0x3F)));
            out.append(char(0x80 | (u & 0x3F)));
        } else {
            out.append(QStringView(text).mid(i, 1).toUtf8());
        }
    }
    return out;
}

bool equalsIgnoringCaseLatin(const char* a, std::string_view b) {
    return QLatin1StringView(a).compare(QLatin1StringView(b.data(), qsizetype(b.size())),
                                        Qt::CaseInsensitive) == 0;
}

// A column's value as the bound field shows it: numbers as the shortest decimal text that reads
// back to the stored value, Null as the empty text.
std::string fieldText(const sqlite::Statement& st, int c) {
    switch (st.columnType(c)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return std::to_string(st.columnInt64(c));
        case SQLITE_FLOAT:
            return roundTripDecimal(st.columnDouble(c));
        default:
            return std::string(st.columnText(c));
    }
}

// Bound field `f` of the column at `c`. A nutrient or weight column holds numbers: a cell that is
// no number ("n/a", "1,5") or out of range was not measured, the same in every report, portion and
// percent, never read as 0 or cut to its first digits.
std::string boundText(const sqlite::Statement& st, int c, int f) {
    if (kFoodColumns[static_cast<std::size_t>(f)].type == ColumnType::Text) return fieldText(st, c);
    std::optional<double> value;
    switch (st.columnType(c)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            value = st.columnDouble(c);
            break;
        case SQLITE_TEXT: {
            std::string_view text = st.columnText(c);
            while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
            while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
            value = plainNumber(text);
            break;
        }
        default:
            return {};
    }
    if (!value || !(std::fabs(*value) <= kLargestAmount)) return {};
    return roundTripDecimal(*value);
}

QString textOf(std::string_view utf8) {
    return textFromUtf8(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// Where each of the 39 columns stands among the statement's result columns.
std::array<int, kBoundFieldCount> boundColumns(const sqlite::Statement& st) {
    std::array<int, kBoundFieldCount> column{};
    const int n = st.columnCount();
    for (int f = 0; f < kBoundFieldCount; ++f) {
        const std::string_view name = kFoodColumns[static_cast<std::size_t>(f)].name;
        int& c = column[static_cast<std::size_t>(f)];
        c = 0;
        while (c < n && !equalsIgnoringCaseLatin(sqlite3_column_name(st.get(), c), name)) ++c;
        if (c == n)
            throw RunTimeError(
                dataerr::kColumnMissing,
                QStringLiteral("Item not found in this collection: the column '%1' is "
                               "missing from the food table.")
                    .arg(QLatin1StringView(name.data(), qsizetype(name.size()))));
    }
    return column;
}

}  // namespace

DataControl::DataControl(QObject* parent, std::size_t recordsetLimit)
    : QObject(parent), recordsetLimit_(recordsetLimit) {}
DataControl::~DataControl() = default;

void DataControl::open() {
    removeLeftCopies();
    const QString path = DatabaseName;
    const QString shown = printableLine(path);
    // SQLite would create a missing file even for reading; the program must never create it.
    const std::filesystem::path file(encodeFileName(path).toStdString());
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (path.isEmpty() || !std::filesystem::exists(status) || std::filesystem::is_directory(status))
        throw RunTimeError(dataerr::kFileNotFound,
                           QStringLiteral("Could not find file '%1'.").arg(shown));
    // A FIFO or a device would block the first read for ever, or be no table at all.
    if (!std::filesystem::is_regular_file(status))
        throw RunTimeError(dataerr::kCannotOpen,
                           QStringLiteral("The database engine cannot open '%1': it is "
                                          "not a file but a device, pipe or socket.")
                               .arg(shown));
    // The table itself, not a link to it: the engine looks for its side files beside it.
    const std::filesystem::path real = std::filesystem::canonical(file, error);
    const QByteArray name = QByteArray::fromStdString(error ? file.native() : real.native());
    try {
        file_.open(name, path, [this](sqlite::Database& db) { configure(db); });
    } catch (const sqlite::Error& e) {
        closeFile();
        throwEngineError(e, path, {});
    }
    openedName_ = path;
}

void DataControl::configure(sqlite::Database& db) {
    db.exec("PRAGMA query_only=1");
    db.check(registerJetLike(db.get()));
    db.check(sqlite3_set_authorizer(db.get(), readOnlyAuthorizer, nullptr));
    sqlite3_progress_handler(db.get(), kStepsPerCheck, countSteps, &steps_);
}

// Every read of the table. A table read as it stands that a writer took up meanwhile is read
// again, through that writer's log: what was read may mix two states.
template <typename Step>
auto DataControl::engine(Step step) -> decltype(step()) {
    try {
        for (;;) {
            steps_ = kStepChecks;
            std::optional<decltype(step())> result;
            try {
                result.emplace(step());
            } catch (const sqlite::Error&) {
                if (!file_.writerCame()) throw;
            }
            if (!file_.writerCame()) {
                endRecordset();
                return std::move(*result);
            }
            compiled_.clear();  // compiled on the connection reopen() closes
            file_.reopen();
        }
    } catch (const sqlite::Error& e) {
        endRecordset();
        throwEngineError(e, DatabaseName, RecordSource.shown());
    } catch (const std::bad_alloc&) {
        endRecordset();
        throw RunTimeError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
    } catch (...) {
        endRecordset();  // a refusal of the program's own (a column missing, a query)
        throw;
    }
}

namespace {

// The one statement `sql` compiles to; text after it is refused, not run.
sqlite::Statement onlyStatement(const sqlite::Database& db, const QString& sql,
                                const QString& shown) {
    const QByteArray text = sqlText(sql);
    const char* tail = nullptr;
    sqlite::Statement st = db.prepare(text, &tail);
    if (!st)
        throw RunTimeError(dataerr::kQueryError,
                           QStringLiteral("Error in query expression '%1'.").arg(shown));
    for (const char* p = tail; p && p < text.constData() + text.size(); ++p)
        if (!std::isspace(static_cast<unsigned char>(*p)))
            throw RunTimeError(dataerr::kTrailingText,
                               QStringLiteral("Characters found after end of SQL statement."));
    return st;
}

// A column of one of these names would stand for the row key, so such a table is read whole.
bool namesTheKey(const sqlite::Statement& st) {
    for (int c = 0; c < st.columnCount(); ++c)
        for (const char* reserved : {"rowid", "oid", "_rowid_"})
            if (equalsIgnoringCaseLatin(reserved, sqlite3_column_name(st.get(), c))) return true;
    return false;
}

}  // namespace

void DataControl::endRecordset() noexcept {
    // A kept statement stopped midway would go on holding the table.
    for (const std::unique_ptr<Compiled>& c : compiled_) sqlite3_reset(c->statement.get());
    file_.endRecordset();
}

void DataControl::closeFile() {
    compiled_.clear();
    file_.close();
}

DataControl::Compiled& DataControl::compiled(const QString& sql, const QString& shown,
                                             const std::vector<QByteArray>& values) {
    Compiled& c = compiled(sql, shown);
    for (std::size_t i = 0; i < values.size(); ++i)
        c.statement.bind(int(i + 1), QByteArrayView(values[i]));
    return c;
}

DataControl::Compiled& DataControl::compiled(const QString& sql, const QString& shown) {
    const QByteArray text = sqlText(sql);
    const auto found =
        std::find_if(compiled_.begin(), compiled_.end(),
                     [&](const std::unique_ptr<Compiled>& c) { return c->sql == text; });
    if (found != compiled_.end()) {
        std::rotate(compiled_.begin(), found, found + 1);
        // Its last run is over, however it ended (its failure was thrown then).
        sqlite3_reset(compiled_.front()->statement.get());
        return *compiled_.front();
    }
    auto made = std::make_unique<Compiled>();
    made->statement = onlyStatement(db(), sql, shown);
    made->sql = text;
    if (compiled_.size() == kCompiledKept) compiled_.pop_back();
    compiled_.insert(compiled_.begin(), std::move(made));
    return *compiled_.front();
}

const DataControl::Columns& DataControl::columnsOf(Compiled& c) {
    // The engine recompiles a statement at a step when the table's layout has changed since: its
    // columns are found again then.
    const int count = sqlite3_stmt_status(c.statement.get(), SQLITE_STMTSTATUS_REPREPARE, 0);
    if (c.compiledAt != count) {
        c.column = boundColumns(c.statement);
        c.compiledAt = count;
    }
    return c.column;
}

Recordset DataControl::readRecordset() {
    const TableQuery& q = RecordSource;
    // Only a table's rows have keys to read them by; a view would give keys of its own. The keys'
    // statement compiles the condition; the table's own, kept, checks its 39 columns.
    if (q.byKey && isTable(q.table)) {
        Compiled* keys = nullptr;
        try {
            keys =
                &compiled(q.statement(QStringLiteral("rowid, Description")), q.shown(), q.values);
        } catch (const sqlite::Error&) {
            // A table without row keys, or a condition the engine refuses: the whole rows'
            // statement below reads the one or says what is wrong with the other.
        }
        if (keys) {
            TableQuery all;
            all.table = q.table;
            Compiled& table = compiled(all.statement(QStringLiteral("*")), q.shown());
            columnsOf(table);
            // A column of such a name would stand for the row key, so such a table is read whole.
            // (The table's statement leaves `keys` in the store: it pushes out the oldest.)
            if (!namesTheKey(table.statement)) return readKeys(*keys, q.table);
        }
    }
    Compiled& whole = compiled(q.statement(QStringLiteral("*")), q.shown(), q.values);
    columnsOf(whole);  // every column there, even when no row is
    Recordset rs(recordsetLimit_);
    Recordset::Fields fields;
    while (whole.statement.step()) {
        const Columns& column = columnsOf(whole);  // as the first step found the table
        for (int f = 0; f < kBoundFieldCount; ++f)
            fields[static_cast<std::size_t>(f)] =
                boundText(whole.statement, column[static_cast<std::size_t>(f)], f);
        rs.append(fields[0], 0, &fields);
    }
    return rs;
}

Recordset DataControl::readKeys(Compiled& keys, const QString& table) {
    Recordset rs(recordsetLimit_);
    rs.table_ = table;
    sqlite::Statement& st = keys.statement;
    // A description is text: read in place, without a copy per row.
    while (st.step())
        rs.append(st.columnType(1) == SQLITE_TEXT ? st.columnText(1) : fieldText(st, 1),
                  st.columnInt64(0), nullptr);
    return rs;
}

bool DataControl::isTable(const QString& name) {
    Compiled& c = compiled(
        QStringLiteral("SELECT type FROM sqlite_schema WHERE name = ? COLLATE NOCASE"), {});
    c.statement.bind(1, name);
    return c.statement.step() && c.statement.columnText(0) == "table";
}

DataControl::FieldTexts DataControl::readFields(const Recordset& rs, int row) {
    FieldTexts texts;
    const auto r = static_cast<std::size_t>(row);
    if (rs.table_.isEmpty()) {
        for (std::size_t f = 0; f < texts.size(); ++f)
            texts[f] = textOf(rs.fields_[r * kBoundFieldCount + f]);
        return texts;
    }
    Compiled& c = compiled(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(rs.table_), {});
    columnsOf(c);  // every column there, even when the row is gone
    c.statement.bind(1, static_cast<long long>(rs.keys_[r]));
    if (c.statement.step()) {
        const Columns& column = columnsOf(c);  // as the step found the table
        for (std::size_t f = 0; f < texts.size(); ++f)
            texts[f] = textOf(boundText(c.statement, column[f], static_cast<int>(f)));
    }
    return texts;
}

void DataControl::Refresh() {
    if (!isOpen() || openedName_ != DatabaseName) {
        closeFile();
        openedName_.clear();
        open();
    }
    // Everything is read before anything visible changes, so a failure changes nothing; the rows
    // and the first record in one read transaction.
    auto [next, first] = engine([this] {
        file_.beginRecordset();
        Recordset rs = readRecordset();
        if (RecordSource.listOrder) rs.putInListOrder();
        FieldTexts fields;
        if (rs.RecordCount() > 0) fields = readFields(rs, 0);
        return std::pair{std::move(rs), std::move(fields)};
    });
    int action = 0, save = 0;
    emit validate(action, save);
    emit recordsetAboutToChange();
    rs_ = std::move(next);
    rs_.current_ = -1;
    emit recordsetChanged();
    moveTo(rs_.RecordCount() > 0 ? 0 : -1, std::move(first));
}

void DataControl::moveTo(int row, FieldTexts fields) {
    rs_.current_ = row;
    fields_ = std::move(fields);
    emit reposition();
}

int DataControl::findInColumn(int field, const QString& wanted) {
    const QByteArray w = wanted.toUtf8();
    const std::string_view value(w.constData(), static_cast<std::size_t>(w.size()));
    const bool valueAscii = isAscii(value);
    const auto equal = [&](std::string_view text) {
        return equalsIgnoringCase(text, isAscii(text), value, valueAscii);
    };
    if (field == 0) {
        // The description as written, case ignored; else, for a text typed without its accents,
        // the first that folds alike.
        for (const auto same : {equalsIgnoringCase, equalsFolded})
            for (int row = 0; row < rs_.RecordCount(); ++row)
                if (same(rs_.descriptionUtf8(row), rs_.descriptionIsAscii(row), value, valueAscii))
                    return row;
        return -1;
    }
    if (rs_.table_.isEmpty()) {
        for (int row = 0; row < rs_.RecordCount(); ++row)
            if (equal(rs_.fields_[static_cast<std::size_t>(row) * kBoundFieldCount +
                                  static_cast<std::size_t>(field)]))
                return row;
        return -1;
    }
    // Other columns are not held: the table names the keys whose value matches, and the first
    // of them in the record set's order is the one.
    const std::string_view column = kFoodColumns[static_cast<std::size_t>(field)].name;
    sqlite::Statement st = db().prepare(
        QStringLiteral("SELECT rowid, %1 FROM %2")
            .arg(QLatin1StringView(column.data(), qsizetype(column.size())), rs_.table_));
    std::unordered_set<std::int64_t> matching;
    while (st.step())
        if (equal(boundText(st, 1, field))) matching.insert(st.columnInt64(0));
    for (int row = 0; row < rs_.RecordCount(); ++row)
        if (matching.count(rs_.keys_[static_cast<std::size_t>(row)])) return row;
    return -1;
}

void DataControl::FindFirst(const QString& criterionText) {
    const Criterion c = parseCriterion(criterionText);
    int field = -1;
    for (int f = 0; f < kBoundFieldCount; ++f)
        if (equalsIgnoringCaseLatin(kFoodColumns[static_cast<std::size_t>(f)].name.data(),
                                    c.column.toStdString()))
            field = f;
    if (field < 0)
        throw RunTimeError(
            dataerr::kColumnMissing,
            QStringLiteral("Item not found in this collection: '%1'.").arg(c.column));
    const int row = engine([&] { return findInColumn(field, c.value); });
    if (row >= 0) moveToRow(row);  // a record that cannot be read leaves NoMatch as it was
    rs_.noMatch_ = row < 0;
}

std::optional<SourceRecord> DataControl::sourceRecord() {
    if (!isOpen()) return std::nullopt;
    return engine([this] { return readSourceRecord(db()); });
}

QString defaultDatabasePath() {
    // The program's folder byte for byte: Qt's own path would lose bytes that are not UTF-8.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const QString folder =
        error ? QCoreApplication::applicationDirPath()
              : decodeFileName(QByteArray::fromStdString(program.parent_path().native()));
    return folder + QStringLiteral("/Velmora.mdb");
}

void DataControl::moveToRow(int row) {
    if (row < 0 || row >= rs_.RecordCount()) return;
    FieldTexts fields = engine([&] { return readFields(rs_, row); });
    int action = 0, save = 0;
    emit validate(action, save);
    moveTo(row, std::move(fields));
}

}  // namespace velmora
