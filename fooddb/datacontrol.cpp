#include "fooddb/datacontrol.h"

#include "common/utf8text.h"
#include "common/vberror.h"
#include "common/vbtext.h"
#include "fooddb/criterion.h"
#include "fooddb/jetlike.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

// Error numbers of the database layer.
constexpr int kFileNotFound = 3024;
constexpr int kCannotOpen = 3051;
constexpr int kFileInUse = 3045;
constexpr int kCorrupt = 3049;
constexpr int kNotADatabase = 3343;
constexpr int kNoSuchTable = 3078;
constexpr int kQueryError = 3075;
constexpr int kTrailingText = 3142;
constexpr int kColumnMissing = 3265;
constexpr int kInvalidPattern = 93;
constexpr int kEngineError = 3000;

// A table that another tool switched to write-ahead logging (header bytes 18 and 19 are 2) makes
// even a read-only connection create -wal and -shm files beside it, or fail where it cannot.
// Unless a -wal file shows that someone is writing it now, such a table is opened as immutable:
// read as it stands, with no side files and no locks.
bool isQuietWriteAheadTable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && header.startsWith(QByteArrayView("SQLite format 3\0", 16)) &&
           header[18] == 2 && header[19] == 2 && !QFileInfo::exists(path + QStringLiteral("-wal"));
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

[[noreturn]] void throwEngineError(const sqlite::Error& e, const QString& path,
                                   const QString& sql) {
    const QString& msg = e.message();
    const int primary = e.primary();
    if (msg == QLatin1String(kInvalidPatternText))
        throw VbError(kInvalidPattern, QStringLiteral("Invalid pattern string"));
    switch (primary) {
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            throw VbError(kCannotOpen,
                          QStringLiteral("The database engine cannot open the file '%1'. "
                                         "You may need permission to read it.")
                              .arg(path));
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw VbError(kFileInUse,
                          QStringLiteral("Could not use '%1'; file already in use.").arg(path));
        case SQLITE_NOTADB:
            throw VbError(kNotADatabase,
                          QStringLiteral("Unrecognized database format '%1'.").arg(path));
        case SQLITE_CORRUPT:
            throw VbError(kCorrupt, QStringLiteral("Cannot read database '%1'. The file may be "
                                                   "damaged.")
                                        .arg(path));
        case SQLITE_NOMEM:
            throw VbError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
        default:
            break;
    }
    if (msg.startsWith(QLatin1String("no such table: ")))
        throw VbError(
            kNoSuchTable,
            QStringLiteral("The database engine cannot find the input table or query '%1'.")
                .arg(msg.mid(15)));
    if (primary == SQLITE_ERROR)
        throw VbError(kQueryError,
                      QStringLiteral("Error in query expression '%1': %2.").arg(sql, msg));
    throw VbError(kEngineError, QStringLiteral("Database engine error: %1.").arg(msg));
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

std::string_view Recordset::textCell(int row, int field) const {
    const std::size_t k = index(row, field);
    return std::string_view(cells_).substr(offsets_[k], offsets_[k + 1] - offsets_[k]);
}

std::string Recordset::cellUtf8(int row, int field) const {
    const std::size_t k = index(row, field);
    switch (kinds_[k]) {
        case Kind::Real: {
            double v = 0;
            std::memcpy(&v, cells_.data() + offsets_[k], sizeof v);
            return roundTripDecimal(v);
        }
        case Kind::Integer: {
            long long v = 0;
            std::memcpy(&v, cells_.data() + offsets_[k], sizeof v);
            return std::to_string(v);
        }
        case Kind::Text:
            break;
    }
    return std::string(textCell(row, field));
}

QString Recordset::cellText(int row, int field) const {
    if (kinds_[index(row, field)] == Kind::Text) {
        const std::string_view v = textCell(row, field);
        return textFromUtf8(QByteArrayView(v.data(), static_cast<qsizetype>(v.size())));
    }
    return QString::fromStdString(cellUtf8(row, field));
}

void Recordset::appendText(std::string_view text) {
    cells_.append(text);
    offsets_.push_back(static_cast<std::uint32_t>(cells_.size()));
    kinds_.push_back(Kind::Text);
}

void Recordset::appendReal(double v) {
    cells_.append(reinterpret_cast<const char*>(&v), sizeof v);
    offsets_.push_back(static_cast<std::uint32_t>(cells_.size()));
    kinds_.push_back(Kind::Real);
}

void Recordset::appendInteger(long long v) {
    cells_.append(reinterpret_cast<const char*>(&v), sizeof v);
    offsets_.push_back(static_cast<std::uint32_t>(cells_.size()));
    kinds_.push_back(Kind::Integer);
}

DataControl::DataControl(QObject* parent) : QObject(parent) {}
DataControl::~DataControl() = default;

void DataControl::open() {
    const QString path = DatabaseName;
    // SQLite would create a missing file even for reading; the program must never create it.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir())
        throw VbError(kFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
    int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    QByteArray name = QFile::encodeName(path);
    if (isQuietWriteAheadTable(path)) {
        name = "file:" + name.toPercentEncoding("/") + "?immutable=1";
        flags |= SQLITE_OPEN_URI;
    }
    try {
        sqlite::Database db(name, flags);
        db.check(sqlite3_busy_timeout(db.get(), 2000));
        db.exec("PRAGMA query_only=1");
        db.check(registerJetLike(db.get()));
        db.check(sqlite3_set_authorizer(db.get(), readOnlyAuthorizer, nullptr));
        db_ = std::move(db);
    } catch (const sqlite::Error& e) {
        throwEngineError(e, path, {});
    }
    openedName_ = path;
}

Recordset DataControl::runQuery() {
    try {
        return readRecordset();
    } catch (const sqlite::Error& e) {
        throwEngineError(e, DatabaseName, RecordSource);
    }
}

Recordset DataControl::readRecordset() {
    const QByteArray sql = RecordSource.toUtf8();
    const char* tail = nullptr;
    sqlite::Statement stmt = db_.prepare(sql, &tail);
    if (!stmt)
        throw VbError(kQueryError,
                      QStringLiteral("Error in query expression '%1'.").arg(RecordSource));
    for (const char* p = tail; p && p < sql.constData() + sql.size(); ++p)
        if (!std::isspace(static_cast<unsigned char>(*p)))
            throw VbError(kTrailingText,
                          QStringLiteral("Characters found after end of SQL statement."));

    // Bind columns by name, without regard to case.
    std::array<int, kBoundFieldCount> column{};
    const int n = stmt.columnCount();
    for (int f = 0; f < kBoundFieldCount; ++f) {
        const std::string_view name = kFoodColumns[static_cast<std::size_t>(f)].name;
        int& c = column[static_cast<std::size_t>(f)];
        c = 0;
        while (c < n && QLatin1StringView(sqlite3_column_name(stmt.get(), c))
                                .compare(QLatin1StringView(name.data(), qsizetype(name.size())),
                                         Qt::CaseInsensitive) != 0)
            ++c;
        if (c == n)
            throw VbError(kColumnMissing,
                          QStringLiteral("Item not found in this collection: the column '%1' is "
                                         "missing from the food table.")
                              .arg(QLatin1StringView(name.data(), qsizetype(name.size()))));
    }

    Recordset rs;
    // A result about the size of the last one is the common case (start-up, reset).
    rs.cells_.reserve(rs_.cells_.size());
    rs.offsets_.reserve(rs_.offsets_.size());
    rs.kinds_.reserve(rs_.kinds_.size());
    while (stmt.step()) {
        for (int f = 0; f < kBoundFieldCount; ++f) {
            const int c = column[static_cast<std::size_t>(f)];
            switch (stmt.columnType(c)) {
                case SQLITE_NULL:
                    rs.appendText({});
                    break;
                case SQLITE_INTEGER:
                    rs.appendInteger(stmt.columnInt64(c));
                    break;
                case SQLITE_FLOAT:
                    rs.appendReal(stmt.columnDouble(c));
                    break;
                default:
                    rs.appendText(stmt.columnText(c));
            }
        }
        rs.descriptionAscii_.push_back(rs.isTextCell(static_cast<int>(rs.rows_), 0) &&
                                       isAscii(rs.textCell(static_cast<int>(rs.rows_), 0)));
        ++rs.rows_;
        if (rs.cells_.size() > 0xF0000000u)
            throw VbError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
    }
    // A search keeps a few rows of a reservation made for the whole table: give the rest back.
    if (rs.cells_.capacity() > rs.cells_.size() + rs.cells_.size() / 4) {
        rs.cells_.shrink_to_fit();
        rs.offsets_.shrink_to_fit();
        rs.kinds_.shrink_to_fit();
    }
    return rs;
}

void DataControl::Refresh() {
    if (!db_ || openedName_ != DatabaseName) {
        db_ = {};
        openedName_.clear();
        open();
    }
    Recordset next = runQuery();  // throws before anything visible changes
    int action = 0, save = 0;
    emit validate(action, save);
    emit recordsetAboutToChange();
    rs_ = std::move(next);
    rs_.current_ = -1;
    emit recordsetChanged();
    moveTo(rs_.RecordCount() > 0 ? 0 : -1);
}

void DataControl::moveTo(int row) {
    rs_.current_ = row;
    for (int f = 0; f < kBoundFieldCount; ++f)
        fields_[static_cast<std::size_t>(f)] = row >= 0 ? rs_.cellText(row, f) : QString();
    emit reposition();
}

void DataControl::FindFirst(const QString& criterionText) {
    const Criterion c = parseCriterion(criterionText);
    int field = -1;
    for (int f = 0; f < kBoundFieldCount; ++f) {
        const std::string_view name = kFoodColumns[static_cast<std::size_t>(f)].name;
        if (c.column.compare(QLatin1StringView(name.data(), qsizetype(name.size())),
                             Qt::CaseInsensitive) == 0)
            field = f;
    }
    if (field < 0)
        throw VbError(kColumnMissing,
                      QStringLiteral("Item not found in this collection: '%1'.").arg(c.column));
    const QByteArray wanted = c.value.toUtf8();
    const std::string_view w(wanted.constData(), static_cast<std::size_t>(wanted.size()));
    const bool wAscii = isAscii(w);
    for (int row = 0; row < rs_.RecordCount(); ++row) {
        bool equal;
        if (field == 0 && rs_.isTextCell(row, 0))
            equal =
                equalsIgnoringCase(rs_.textCell(row, 0), rs_.descriptionIsAscii(row), w, wAscii);
        else {
            const std::string text = rs_.cellUtf8(row, field);
            equal = equalsIgnoringCase(text, isAscii(text), w, wAscii);
        }
        if (equal) {
            rs_.noMatch_ = false;
            int action = 0, save = 0;
            emit validate(action, save);
            moveTo(row);
            return;
        }
    }
    rs_.noMatch_ = true;
}

void DataControl::raiseDataError(int number) {
    int response = 1;
    emit error(number, response);
}

QString dataErrorText(int number) {
    const QString standard = standardErrorText(number);
    if (!standard.isEmpty()) return standard;
    switch (number) {
        case kFileNotFound:
            return QStringLiteral("Could not find file.");
        case kInvalidPattern:
            return QStringLiteral("Invalid pattern string");
        case kFileInUse:
            return QStringLiteral("Could not use the database; file already in use.");
        case kNotADatabase:
            return QStringLiteral("Unrecognized database format.");
        case kNoSuchTable:
            return QStringLiteral("The database engine cannot find the input table or query.");
        case kColumnMissing:
            return QStringLiteral("Item not found in this collection.");
        default:
            return QStringLiteral("Data access error %1.").arg(number);
    }
}

}  // namespace velmora
