// SPDX-License-Identifier: GPL-3.0-or-later
// A fault in an input file, reported the way compilers do so editors can jump to it; and the
// counts a build ends with.
#pragma once

#include <QString>

#include "common/outsidetext.h"

namespace velmora::mkdb {

struct Diagnostic {
    QString file;
    qsizetype line = 1;    // from 1
    qsizetype column = 1;  // from 1, in characters
    QString what;

    // FILE:LINE:COLUMN: what, the file name escaped as every text from outside is
    QString toString() const {
        return QStringLiteral("%1:%2:%3: %4")
            .arg(printableLine(file))
            .arg(line)
            .arg(column)
            .arg(what);
    }
};

// A count and its noun, as the counts lines give them: "1 food", "2 foods".
inline QString counted(qsizetype count, QStringView noun) {
    return QStringLiteral("%1 %2%3").arg(count).arg(noun).arg(count == 1 ? QLatin1StringView()
                                                                         : QLatin1StringView("s"));
}

}  // namespace velmora::mkdb
