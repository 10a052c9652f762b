// SPDX-License-Identifier: GPL-3.0-or-later
// A larger food table for the benchmark, made from the shipped one.
#pragma once

#include <QString>

namespace velmora::bench {

// Writes a new table file at `outPath` holding every row of `shippedPath` `copies` times, with
// the same columns and indexes. The first copy keeps its description; the others get a
// ", copy N" suffix, so every description stays distinct as in a real table. Returns the error
// text, empty on success.
QString buildScaledTable(const QString& shippedPath, const QString& outPath, int copies);

}  // namespace velmora::bench
