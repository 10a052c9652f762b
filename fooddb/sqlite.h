// SPDX-License-Identifier: GPL-3.0-or-later
// RAII ownership of SQLite handles with every result code checked: a failing call throws
// sqlite::Error with the engine's result code and message, and the caller decides what to show.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string_view>

namespace velmora::sqlite {

class Error : public std::runtime_error {
  public:
    Error(int code, QString message);
    int code() const noexcept { return code_; }  // extended result code
    int primary() const noexcept { return code_ & 0xFF; }
    const QString& message() const noexcept { return message_; }

  private:
    int code_;
    QString message_;
};

// Throws the Error of `rc` on connection `db` (which may be null).
[[noreturn]] void raise(sqlite3* db, int rc);

inline void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK) raise(db, rc);
}

class Statement;

class Database {
  public:
    // Opens `name` (a file name, or a URI with SQLITE_OPEN_URI) with `flags`; throws on failure.
    Database(const QByteArray& name, int flags);
    Database() = default;

    sqlite3* get() const noexcept { return db_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(db_); }

    // Throws Error for a result code other than SQLITE_OK.
    void check(int rc) const { sqlite::check(get(), rc); }

    void exec(const char* sql);
    void exec(const QString& sql) { exec(sql.toUtf8().constData()); }
    // Compiles the first statement of `sql`; `tail` (if given) receives what follows it.
    Statement prepare(QByteArrayView sql, const char** tail = nullptr) const;
    Statement prepare(const QString& sql) const;

    // Closes now, reporting a failure (the destructor closes too, but silently).
    void close();

  private:
    struct Closer {
        void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

class Statement {
  public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}

    sqlite3_stmt* get() const noexcept { return stmt_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(stmt_); }

    // True with a row to read, false when done; throws on an error.
    bool step();
    void reset();
    void bindNull(int index);
    void bind(int index, double value);
    void bind(int index, long long value);
    void bind(int index, QByteArrayView utf8);
    void bind(int index, const QString& text) { bind(index, QByteArrayView(text.toUtf8())); }

    int columnCount() const { return sqlite3_column_count(get()); }
    int columnType(int c) const { return sqlite3_column_type(get(), c); }
    double columnDouble(int c) const { return sqlite3_column_double(get(), c); }
    long long columnInt64(int c) const { return sqlite3_column_int64(get(), c); }
    // The UTF-8 bytes of a column; valid until the next step or reset.
    std::string_view columnText(int c) const;
    QString columnQString(int c) const;

  private:
    struct Finalizer {
        void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
    };
    void check(int rc) const { sqlite::check(sqlite3_db_handle(get()), rc); }
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

// BEGIN on construction; ROLLBACK on destruction unless commit() succeeded.
class Transaction {
  public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& db_;
    bool open_ = true;
};

}  // namespace velmora::sqlite
