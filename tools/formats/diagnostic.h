// SPDX-License-Identifier: GPL-3.0-or-later
// A fault in an input file, reported the way compilers do so editors can jump to it; and the
// counts a build ends with.
#pragma once

#include <QString>

#include "common/numbertext.h"
#include "common/outsidetext.h"

namespace velmora::mkdb {

struct Diagnostic {
    QString file;
    qsizetype line = 1;    // from 1; 0 for a fault of a file that has no lines (a database)
    qsizetype column = 1;  // from 1, in characters
    QString what;

    // FILE:LINE:COLUMN: what (FILE: what without a line), the file name escaped as every text
    // from outside is
    QString toString() const {
        if (line <= 0) return QStringLiteral("%1: %2").arg(printableLine(file), what);
        return QStringLiteral("%1:%2:%3: %4")
            .arg(printableLine(file))
            .arg(line)
            .arg(column)
            .arg(what);
    }
};

using velmora::counted;

}  // namespace velmora::mkdb
