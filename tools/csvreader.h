// SPDX-License-Identifier: GPL-3.0-or-later
// Strict RFC 4180 reader: comma separated, fields with commas, quotes or line breaks in double
// quotes, quotes doubled inside them, LF or CRLF line ends, UTF-8. Anything else is an error
// rather than a guess, because a silently shifted cell would put a wrong number in the table.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

#include "tools/diagnostic.h"

namespace velmora::mkdb {

struct CsvField {
    QString text;
    qsizetype line = 0;  // where the field starts (its opening quote when quoted)
    qsizetype column = 0;
};

struct CsvRecord {
    std::vector<CsvField> fields;
    qsizetype endLine = 0;  // where the record's line end (or the end of the data) is
    qsizetype endColumn = 0;
};

struct CsvData {
    std::vector<CsvRecord> records;
    std::optional<Diagnostic> error;  // set: records holds what was read before the fault
};

// Works on a buffer so it can be driven without files. A UTF-8 byte order mark at the start is
// skipped; a line end after the last record is optional; an empty line is a record of one empty
// field (and so fails any column count check).
CsvData readCsv(QByteArrayView bytes, const QString& fileName);

}  // namespace velmora::mkdb
