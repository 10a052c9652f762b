// SPDX-License-Identifier: GPL-3.0-or-later
// The errors of the food table layer: their numbers, and the engine's faults turned into them
// with texts that name the table and what to do.
#pragma once

#include "fooddb/sqlite.h"

#include <QString>

namespace velmora {

namespace dataerr {
inline constexpr int kInvalidPattern = 93;
inline constexpr int kEngineError = 3000;
inline constexpr int kFileNotFound = 3024;
inline constexpr int kTooLarge = 3035;
inline constexpr int kFileInUse = 3045;
inline constexpr int kUnfinishedWrite = 3046;
inline constexpr int kCorrupt = 3049;
inline constexpr int kCannotOpen = 3051;
inline constexpr int kQueryError = 3075;
inline constexpr int kSyntaxError = 3077;
inline constexpr int kNoSuchTable = 3078;
inline constexpr int kNotAllowed = 3112;
inline constexpr int kTrailingText = 3142;
inline constexpr int kColumnMissing = 3265;
inline constexpr int kNotADatabase = 3343;
}  // namespace dataerr

// Throws the RunTimeError for an engine fault met on the table `file` while it ran `query` (empty
// for the opening). Both come from outside and are quoted escaped.
[[noreturn]] void throwEngineError(const sqlite::Error& e, const QString& file,
                                   const QString& query);

// Throws the RunTimeError for a table `file` that another program is writing at this moment, so
// that no consistent state of it can be read now.
[[noreturn]] void throwBeingWritten(const QString& file);

}  // namespace velmora
