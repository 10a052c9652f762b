// SPDX-License-Identifier: GPL-3.0-or-later
// The instructions' "Database Information" section for the table that is open: the designed text
// for the shipped table, and for any other where its values come from, what its zeros mean and
// the notice its source's terms require.
#pragma once

#include "fooddb/opentable.h"

#include <QByteArray>
#include <QStringList>

namespace velmora {

// The section's paragraphs (after its heading) for a table other than the shipped one.
QStringList databaseInformation(const OpenTable& table);

// The stored instructions document `stored` with its Database Information section describing
// `table`; `stored` unchanged for the shipped table. Every other section stays as it is.
QByteArray instructionsFor(const QByteArray& stored, const OpenTable& table);

}  // namespace velmora
