// SPDX-License-Identifier: GPL-3.0-or-later
// The Dutch food composition table NEVO (RIVM) as one download file: fields separated by "|",
// never quoted, numbers with a decimal comma, in code page 1252 or UTF-8 (told apart by the file's
// first non-ASCII character). Its header names the columns; each nutrient's column is its INFOODS
// tagname and unit, "ENERCJ (kJ)", "SE (µg)". Each row starts with the release
// ("NEVO-Online 2023 8.0"); a food's amounts are per 100 g or per 100 ml as its quantity column
// says. Nutrients a food holds traces of are listed in its "Contains traces of" column, by tagname
// or by name, separated by commas or semicolons; such a nutrient without an amount is a trace. The
// terms of use require every output to name the release: the source record makes the citation a
// required notice.
#pragma once

#include <QString>
#include <QStringList>

#include "tools/nationaltable.h"

namespace velmora::mkdb {

// Reads the file at `path` and gives its foods to `sink` in the file's order, named in `language`
// ("en" or "nl"). Throws Fault.
NationalResult readNevo(const QString& path, const QString& language, const RowSink& sink);

}  // namespace velmora::mkdb
