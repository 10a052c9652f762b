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
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <new>
#include <unordered_set>

namespace velmora {

namespace {

// A query may take this many engine steps (checked every kStepsPerCheck) before it is given up:
// far more than any food table needs, few enough that a table built to keep the engine busy ends
// in a message after a second or two instead of a hang.
constexpr int kStepsPerCheck = 1000;
constexpr std::int64_t kStepChecks = 500'000;

// A table that another tool switched to write-ahead logging (header bytes 18 and 19 are 2) makes
// even a read-only connection create -wal and -shm files beside it, or fail where it cannot.
bool isWriteAheadTable(const QByteArray& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    char header[20] = {};
    return file.read(header, sizeof header) &&
           std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16) &&
           header[18] == 2 && header[19] == 2;
}

// The program only ever reads: refuse anything but reading at the engine too.
int readOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_FUNCTION:
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

// "Select [ALL] * From TABLE ..." reads whole rows of one table. The same query with the row's
// key and description in place of "*" gives the same rows in the same order; `table` gets the
// table's name. Empty for any other record source.
QString keyedQuery(const QString& sql, QString& table) {
    static const QRegularExpression star(
        QStringLiteral(
            "^\\s*select\\s+(?:all\\s+)?\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)(\\s.*)?$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = star.match(sql);
    if (!m.hasMatch()) return {};
    table = m.captured(1);
    return QStringLiteral("SELECT rowid, Description FROM ") + table + m.captured(2);
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

// No food has this much of anything per 100 g, nor a measure this heavy; a larger stored number
// is a fault of the table, and scaled to a portion it could become infinite.
constexpr double kLargestAmount = 1e15;

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

// Equal without regard to ASCII case; both texts are ASCII.
bool asciiEqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca != cb && ((ca | 0x20) != (cb | 0x20) || !std::isalpha(ca))) return false;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view a, bool aAscii, std::string_view b, bool bAscii) {
    if (aAscii && bAscii) return asciiEqualsIgnoringCase(a, b);
    // A few non-ASCII letters fold to ASCII ones (the Kelvin sign to k), so compare folded.
    return foldedCodePoints(a) == foldedCodePoints(b);
}

}  // namespace

DataControl::DataControl(QObject* parent) : QObject(parent) {}
DataControl::~DataControl() = default;

void DataControl::open() {
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
    QByteArray name = QByteArray::fromStdString(error ? file.native() : real.native());
    int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    snapshot_.reset();
    if (isWriteAheadTable(name)) {
        if (std::filesystem::exists((name + "-wal").toStdString(), error)) {
            // Someone writes it, or left their log: its committed rows are in the log. Read a
            // copy of both in a folder of our own, so nothing appears beside the table (and a
            // table on read-only media can be read at all).
            name = writeAheadSnapshot(name, shown);
        } else {
            // Read as it stands, with no side files and no locks.
            name = "file:" + name.toPercentEncoding("/") + "?immutable=1";
            flags |= SQLITE_OPEN_URI;
        }
    }
    try {
        sqlite::Database db(name, flags);
        db.check(sqlite3_busy_timeout(db.get(), 2000));
        db.exec("PRAGMA query_only=1");
        db.check(registerJetLike(db.get()));
        db.check(sqlite3_set_authorizer(db.get(), readOnlyAuthorizer, nullptr));
        sqlite3_progress_handler(db.get(), kStepsPerCheck, countSteps, &steps_);
        db_ = std::move(db);
    } catch (const sqlite::Error& e) {
        throwEngineError(e, path, {});
    }
    openedName_ = path;
}

QByteArray DataControl::writeAheadSnapshot(const QByteArray& table, const QString& shown) {
    auto folder = std::make_unique<QTemporaryDir>();
    const std::filesystem::path copy =
        std::filesystem::path(QFile::encodeName(folder->path()).toStdString()) / "table";
    std::error_code error;
    if (folder->isValid())
        for (const char* side : {"-wal", ""})  // the log first: a checkpoint empties it later
            if (!error)
                std::filesystem::copy_file((table + side).toStdString(), copy.native() + side,
                                           error);
    if (!folder->isValid() || error)
        throw RunTimeError(
            dataerr::kCannotOpen,
            QStringLiteral("The database engine cannot open '%1': a program is writing "
                           "it, and no copy could be made to read (%2).")
                .arg(shown,
                     error ? QString::fromStdString(error.message()) : folder->errorString()));
    snapshot_ = std::move(folder);
    return QByteArray::fromStdString(copy.native());
}

template <typename Step>
auto DataControl::engine(Step step) -> decltype(step()) {
    steps_ = kStepChecks;
    try {
        return step();
    } catch (const sqlite::Error& e) {
        throwEngineError(e, DatabaseName, RecordSource);
    } catch (const std::bad_alloc&) {
        throw RunTimeError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
    }
}

Recordset DataControl::readRecordset() {
    const QByteArray sql = sqlText(RecordSource);
    const char* tail = nullptr;
    sqlite::Statement whole = db_.prepare(sql, &tail);
    if (!whole)
        throw RunTimeError(dataerr::kQueryError,
                           QStringLiteral("Error in query expression '%1'.").arg(RecordSource));
    for (const char* p = tail; p && p < sql.constData() + sql.size(); ++p)
        if (!std::isspace(static_cast<unsigned char>(*p)))
            throw RunTimeError(dataerr::kTrailingText,
                               QStringLiteral("Characters found after end of SQL statement."));
    const std::array<int, kBoundFieldCount> column = boundColumns(whole);

    Recordset rs;
    // A column of that name would stand for the key, so such a table is read whole.
    bool keyable = true;
    for (int c = 0; c < whole.columnCount(); ++c)
        for (const char* reserved : {"rowid", "oid", "_rowid_"})
            keyable =
                keyable && !equalsIgnoringCaseLatin(reserved, sqlite3_column_name(whole.get(), c));
    QString table;
    const QString keyed = keyable ? keyedQuery(RecordSource, table) : QString();
    sqlite::Statement keys;
    // Only a table's rows have keys to read them by; a view would give keys of its own.
    if (!keyed.isEmpty() && isTable(table)) {
        try {
            keys = db_.prepare(QByteArrayView(sqlText(keyed)));
        } catch (const sqlite::Error&) {
            // A view, or a table without row keys: read whole rows instead.
        }
    }
    if (keys) {
        rs.table_ = table;
        // A description is text: read in place, without a copy per row.
        while (keys.step())
            rs.append(keys.columnType(1) == SQLITE_TEXT ? keys.columnText(1) : fieldText(keys, 1),
                      keys.columnInt64(0), nullptr);
    } else {
        Recordset::Fields fields;
        while (whole.step()) {
            for (int f = 0; f < kBoundFieldCount; ++f)
                fields[static_cast<std::size_t>(f)] =
                    boundText(whole, column[static_cast<std::size_t>(f)], f);
            rs.append(fields[0], 0, &fields);
        }
    }
    return rs;
}

bool DataControl::isTable(const QString& name) {
    sqlite::Statement st =
        db_.prepare(QStringLiteral("SELECT type FROM sqlite_schema WHERE name = ? COLLATE NOCASE"));
    st.bind(1, name);
    return st.step() && st.columnText(0) == "table";
}

DataControl::FieldTexts DataControl::readFields(const Recordset& rs, int row) {
    FieldTexts texts;
    const auto r = static_cast<std::size_t>(row);
    if (rs.table_.isEmpty()) {
        for (std::size_t f = 0; f < texts.size(); ++f)
            texts[f] = textOf(rs.fields_[r * kBoundFieldCount + f]);
        return texts;
    }
    sqlite::Statement st =
        db_.prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(rs.table_));
    const std::array<int, kBoundFieldCount> column = boundColumns(st);
    st.bind(1, static_cast<long long>(rs.keys_[r]));
    if (st.step())
        for (std::size_t f = 0; f < texts.size(); ++f)
            texts[f] = textOf(boundText(st, column[f], static_cast<int>(f)));
    return texts;
}

void DataControl::Refresh() {
    if (!db_ || openedName_ != DatabaseName) {
        db_ = {};
        openedName_.clear();
        open();
    }
    // Everything is read before anything visible changes, so a failure changes nothing.
    Recordset next = engine([this] { return readRecordset(); });
    FieldTexts first;
    if (next.RecordCount() > 0) first = engine([&] { return readFields(next, 0); });
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
        for (int row = 0; row < rs_.RecordCount(); ++row)
            if (equalsIgnoringCase(rs_.descriptionUtf8(row), rs_.descriptionIsAscii(row), value,
                                   valueAscii))
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
    sqlite::Statement st = db_.prepare(
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
    if (!db_) return std::nullopt;
    return engine([this] { return readSourceRecord(db_); });
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
