// SPDX-License-Identifier: GPL-3.0-or-later
// The mark of a food table: SQLite's application_id, a 32-bit number stored big-endian at byte 68
// of the database header. velmora-mkdb writes it into every table it builds, the package's MIME
// type matches it, and the programs know a table by it whatever the file is called.
#pragma once

#include <cstdint>

namespace velmora {

// "VLMR" in ASCII; positive as the signed number PRAGMA application_id takes.
inline constexpr std::uint32_t kFoodTableApplicationId = 0x564C4D52;
inline constexpr int kApplicationIdOffset = 68;

}  // namespace velmora
