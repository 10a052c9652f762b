// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables' imports at full size, for velmora_fdcbench: each agency's download
// generated in its own layout, velmora-mkdb timed on it against the least its parser must do.
#pragma once

#include <filesystem>

namespace velmora::bench {

// Writes the downloads into `dir` and prints the figures and whether they meet their goals.
void benchNationalTables(const std::filesystem::path& mkdb, const std::filesystem::path& dir);
// The same for the delimited ones, the Canadian Nutrient File and NEVO (nationalcsvbench.cpp).
void benchNationalCsvTables(const std::filesystem::path& mkdb, const std::filesystem::path& dir);

}  // namespace velmora::bench
