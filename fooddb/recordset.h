// SPDX-License-Identifier: GPL-3.0-or-later
// The result of one query of the food table, as the data control holds it.
#pragma once

#include "fooddb/foodcolumns.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What a record set may hold before it counts as out of memory (its vectors may take up to twice
// as much while they grow); it also keeps the description offsets within 32 bits.
inline constexpr std::size_t kRecordsetLimit = std::size_t{512} << 20;

// One query result. It holds what the list and the find need, every row's description (UTF-8)
// and the row's key in its table; a record's other fields are read when it becomes current. A
// record source that is not a plain query of one table has no such key: then every field of
// every row is held.
class Recordset {
  public:
    // Holding more than `limit` bytes of rows, it throws the out-of-memory run-time error.
    explicit Recordset(std::size_t limit = kRecordsetLimit) : limit_(limit) {}

    int RecordCount() const { return static_cast<int>(ends_.size()); }
    // 0-based position of the current record, -1 when there is none.
    int AbsolutePosition() const { return current_; }
    bool NoMatch() const { return noMatch_; }

    // The description of `row` as the list shows it (Null as the empty text).
    QString description(int row) const;
    std::string_view descriptionUtf8(int row) const;
    bool descriptionIsAscii(int row) const { return ascii_[static_cast<std::size_t>(row)] != 0; }

  private:
    friend class DataControl;
    using Fields = std::array<std::string, kBoundFieldCount>;
    void append(std::string_view description, std::int64_t key, const Fields* fields);
    // Puts the rows, given in the engine's order by description ignoring ASCII case, in the
    // list's order: by description folded (fooddb/textfold.h), then as written ignoring ASCII
    // case, then as given. The engine's order is that for ASCII descriptions, and they keep it
    // among themselves: only the others move.
    void putInListOrder();

    std::string text_;                 // the descriptions, one after another
    std::vector<std::uint32_t> ends_;  // where each row's description ends in text_
    std::vector<std::uint8_t> ascii_;  // whether it is ASCII only (the fast comparisons)
    std::vector<std::int64_t> keys_;   // each row's rowid in `table_`
    std::vector<std::string> fields_;  // without keys: every field of every row, row by row
    QString table_;                    // the table the keys belong to; empty without keys
    std::size_t bytes_ = 0;            // what the rows take, counted as they come
    std::size_t limit_;
    int current_ = -1;
    bool noMatch_ = false;
};

}  // namespace velmora
