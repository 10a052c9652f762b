// Minimal RAII ownership of SQLite handles.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace velmora::sqlite {

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};

using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

}  // namespace velmora::sqlite
