// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report: the window's nutrient reports on standard output. The command line is read and
// carried out here, apart from the process, with the same functions the window uses for its
// texts.
#pragma once

#include <QLocale>
#include <QString>

#include <variant>

namespace velmora {

// Exit statuses beyond 0; usage errors end with 2, as in every program of the project.
inline constexpr int kExitTableError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotFound = 4;

struct ReportRequest {
    QString database;  // the food table's path
    bool search = false;
    QString term;      // the search term, or the food (description or NDB number)
    double grams = 0;  // > 0: a portion of that many grams
    int measure = 0;   // 1 or 2: `count` of that household measure
    double count = 0;
    bool dv = false;
    bool json = false;
};

// Reads the process's `arguments` (commandLineArguments). Returns the request, or the exit status
// when the program ends now: 0 after --help or --version, 2 after a usage message on standard
// error. Nothing is opened before the whole command line is known to be good.
std::variant<ReportRequest, int> readReportCommandLine(const QStringList& arguments);

struct ReportOutput {
    int status = 0;
    QString out;  // for standard output
    QString err;  // for standard error, every line starting with the program's name
};

// Opens the table as the window does, then prints the search list, the report or its JSON form.
// Numbers of the text reports are written as the window writes them in `locale`.
ReportOutput runReport(const ReportRequest& request, const QLocale& locale = QLocale());

}  // namespace velmora
