// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line programs of the build as a test runs them, and the cells of a table they built.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora::test {

struct Run {
    int status;
    QString out, err;
};

// Runs a program of the build in `dir`: its exit status and output.
Run run(const QString& dir, const QString& program, const QStringList& args);

// The cells `like` names ("COLUMN=value ...") of the food with this NDB_NO, as SQLite quotes them.
QString cellsOf(const QString& table, const QString& code, const QString& like);

}  // namespace velmora::test
