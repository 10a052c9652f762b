// SPDX-License-Identifier: GPL-3.0-or-later
// A food named as a user names it (its description or NDB number, with a portion), looked up as
// the window's find step does, and its report for that portion as the window makes it: what
// velmora-report's reports, its meals and the builder's recipes start from.
#pragma once

#include "portion/portion.h"
#include "report/valuearrays.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace velmora {

class DataControl;

// Exit statuses beyond 0; usage errors end with 2, as in every program of the project.
inline constexpr int kExitTableError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotFound = 4;

struct ReportOutput {
    int status = 0;
    QString out;  // for standard output
    QString err;  // for standard error, every line starting with the program's name
};

// "velmora-report: message", as status `status`.
ReportOutput failure(int status, const QString& message);

// A food as named on the command line or in a meal, with the portion to report it for: none (the
// 100-gram report), `grams`, or `count` of household measure `measure` (1 or 2).
struct PortionedFood {
    QString food;
    double grams = 0;
    int measure = 0;
    double count = 0;
};

// Reads a weight or count: the whole text a number in the C locale's form ("12.5"), positive and
// within what the portion dialog can hold. The empty text when it is one, else why not.
QString readAmount(const QString& text, double& x);

// "FOOD", or "FOOD@PORTION" with the portion "45g" (grams), "0.25x1" or "3x2" (a count of
// measure 1 or 2), blanks allowed around the unit ("45 g", "3 x2"); the last "@" starts the
// portion, and an empty one is none. The empty text
// when it is good, else what is wrong with it.
QString readPortionedFood(const QString& text, PortionedFood& out);

// The report on show after the window made the current record's report for the portion.
struct FoodReport {
    ValueArray Z;
    std::optional<PortionState> portion;
    double vPortionFactor = 1;
    QString ndbNumber;
};

// The report for `p` of the food whose bound fields `fields` reads (the current record's), or the
// failure when the food has no such measure (4) or the weight does not fit (2).
std::variant<FoodReport, ReportOutput> reportOf(const FieldReader& fields, const PortionedFood& p,
                                                const QLocale& locale);

// The message of a failure, without the program's name and the line end; and the lines that
// follow it ("did you mean: ..."), the same.
QString failureMessage(const ReportOutput& failed);
QStringList failureNotes(const ReportOutput& failed);

// Makes the food `food` names the current record as the window's find step does
// (fooddb/foodlookup.h), or gives the failure (4 for a food not found, with a line naming the
// foods whose descriptions hold its words, where there are any). When several foods share
// the description or NDB number, adds a line to `err` saying the first is taken, or with
// `refuseShared` fails (4), saying how to name one of them.
std::optional<ReportOutput> findNamedFood(DataControl& data, const QString& food, QString& err,
                                          bool refuseShared = false);

// Finds the food as findNamedFood does and makes its report, or gives the failure.
std::variant<FoodReport, ReportOutput> lookUpFood(DataControl& data, const PortionedFood& p,
                                                  const QLocale& locale, QString& err);

// Water, which no report shows, for the report's weight (the portion recomputation leaves it at
// its 100-gram amount); the empty text when it was not measured.
QString waterText(const FoodReport& r);

// What a listing of portions shows of one: the food, its weight and measure.
struct PortionSummary {
    QString description;
    QString ndbNumber;
    QString weight;    // Z(41), as the report writes it in the locale's form
    QString quantity;  // Z(34), the same
    double grams = 0;
    std::optional<PortionState> portion;
};
PortionSummary summaryOf(const FoodReport& r);

// Its label without the unit words ("Total Fat") and its unit ("g", "mg", "micrograms", "iu",
// "kcal").
QString nutrientName(int slot);
QString nutrientUnit(int slot);

}  // namespace velmora
