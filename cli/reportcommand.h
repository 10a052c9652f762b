// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report: the window's nutrient reports on standard output, and what is built of them:
// foods ranked by a nutrient, foods side by side, a meal's totals. The command line is read and
// carried out here, apart from the process, with the same functions the window uses for its
// texts.
#pragma once

#include "cli/foodreport.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <variant>

namespace velmora {

enum class ReportMode { Report, Search, Rank, Compare, Meal, Source };
enum class ReportFormat { Text, Json, Csv };

struct ReportRequest {
    QString database;       // the food table's path
    QString shownDatabase;  // --database as given; empty for the table beside the program
    ReportMode mode = ReportMode::Report;
    ReportFormat format = ReportFormat::Text;
    QList<PortionedFood> foods;  // the report's one food, or the foods to compare
    QString term;                // --search, alone or to restrict --rank
    int nutrient = 0;            // --rank: the value slot (the column)
    int top = 20;
    bool perMeasure = false;
    QString mealFile;  // --meal: a file name, or "-" for standard input
    bool dv = false;
    // The percents' rule: --daily-values when given, else runReport puts the table's own here.
    DailyValueRule dailyValues = DailyValueRule::Fda1993;
    bool dailyValuesGiven = false;
};

// Reads the process's `arguments` (commandLineArguments). Returns the request, or the exit status
// when the program ends now: 0 after --help or --version, 2 after a usage message on standard
// error. Nothing is opened before the whole command line is known to be good.
std::variant<ReportRequest, int> readReportCommandLine(const QStringList& arguments);

// Opens the table as the window does, then prints what the request asks for. Numbers of the text
// reports are written as the window writes them in `locale`.
ReportOutput runReport(const ReportRequest& request, const QLocale& locale = QLocale());

}  // namespace velmora
