// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/sqlite.h"

namespace velmora::sqlite {

Error::Error(int code, QString message)
    : std::runtime_error(message.toStdString()), code_(code), message_(std::move(message)) {}

Database::Database(const QByteArray& name, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &raw, flags, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
        raise(raw, raw ? rc : SQLITE_NOMEM);
    }
    // Extended codes tell a hot journal from other read-only failures.
    sqlite3_extended_result_codes(raw, 1);
}

void raise(sqlite3* db, int rc) {
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    // The connection's last error belongs to this call only when the codes agree.
    const bool own = db && (code & 0xFF) == (rc & 0xFF);
    throw Error(own ? code : rc, QString::fromUtf8(own ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

void Database::exec(const char* sql) {
    check(sqlite3_exec(get(), sql, nullptr, nullptr, nullptr));
}

Statement Database::prepare(QByteArrayView sql, const char** tail) const {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(get(), sql.data(), static_cast<int>(sql.size()), &raw, tail);
    Statement statement(raw);
    check(rc);
    return statement;
}

Statement Database::prepare(const QString& sql) const {
    return prepare(QByteArrayView(sql.toUtf8()));
}

void Database::close() {
    if (!db_) return;
    const int rc = sqlite3_close(db_.get());
    check(rc);
    db_.release();
}

bool Statement::step() {
    const int rc = sqlite3_step(get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    raise(sqlite3_db_handle(get()), rc);
}

void Statement::reset() {
    check(sqlite3_reset(get()));
}

void Statement::bindNull(int index) {
    check(sqlite3_bind_null(get(), index));
}

void Statement::bind(int index, double value) {
    check(sqlite3_bind_double(get(), index, value));
}

void Statement::bind(int index, long long value) {
    check(sqlite3_bind_int64(get(), index, value));
}

void Statement::bind(int index, QByteArrayView utf8) {
    check(sqlite3_bind_text(get(), index, utf8.data(), static_cast<int>(utf8.size()),
                            SQLITE_TRANSIENT));
}

std::string_view Statement::columnText(int c) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(get(), c));
    const int size = sqlite3_column_bytes(get(), c);
    return text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
}

QString Statement::columnQString(int c) const {
    const std::string_view t = columnText(c);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

Transaction::Transaction(Database& db) : db_(db) {
    db_.exec("BEGIN");
}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

}  // namespace velmora::sqlite
