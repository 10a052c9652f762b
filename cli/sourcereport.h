// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report and the table's source record (fooddb/sourcerecord.h): --source prints it, the
// JSON forms carry it, and a table whose terms require a notice has it end every output.
#pragma once

#include "cli/reportcommand.h"
#include "fooddb/sourcerecord.h"

#include <optional>

namespace velmora {

// The source record of the table `data` names, or "no source record", in `format`.
ReportOutput sourceReport(DataControl& data, ReportFormat format);

// Adds the table's source record to `output`: to JSON as "source" (a list of foods becomes
// {"foods": [...], "source": {...}}), and with a required notice, the notice as the last line of
// text, as a last column "notice" of every CSV record, or as the JSON field "notice". Nothing for
// a table without one.
void addSourceRecord(ReportOutput& output, const std::optional<SourceRecord>& source,
                     ReportFormat format);

}  // namespace velmora
