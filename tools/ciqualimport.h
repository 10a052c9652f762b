// SPDX-License-Identifier: GPL-3.0-or-later
// The French food composition table Ciqual (Anses) in its XML form: in one folder the foods
// (alim_DATE.xml), the constituents (const_DATE.xml) and the amounts (compo_DATE.xml), beside
// which the food groups (alim_grp_DATE.xml) and the sources are not needed. Releases differ: 2017
// and 2020 are in code page 1252 with CRLF lines, 2025 in UTF-8 with a byte order mark; values are
// padded with blanks and use a decimal comma; element names are lower case, or upper case in one
// release. Ciqual gives no household measures.
#pragma once

#include <QString>
#include <QStringList>

#include "tools/nationaltable.h"

namespace velmora::mkdb {

// The paths of the files read that are there, for the check that the output is none of them.
QStringList ciqualInputFiles(const QString& folder);

// Reads the release in `folder` and gives its foods to `sink` in the order of the alim file,
// named in `language` ("fr" or "en"). Throws Fault.
NationalResult readCiqual(const QString& folder, const QString& language, const RowSink& sink);

}  // namespace velmora::mkdb
