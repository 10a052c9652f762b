// Writes the food table as an SQLite database with the table CSR14.
#pragma once

#include <QString>
#include <optional>

#include "tools/foodtable.h"

namespace velmora::mkdb {

// Builds the whole database in a temporary file beside `outPath` in one transaction and renames
// it over `outPath` only when everything succeeded: a failed build leaves no partial file and no
// temporary file, and an `outPath` that existed before stays as it was. Returns the error text
// (naming the file) on failure.
std::optional<QString> writeFoodDatabase(const FoodTable& table, const QString& outPath);

}  // namespace velmora::mkdb
