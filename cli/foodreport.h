// SPDX-License-Identifier: GPL-3.0-or-later
// One food's report as the window makes it for the current record, and the forms velmora-report
// writes reports in: the window's text, JSON and CSV.
#pragma once

#include "dailyvalues/dailyvalues.h"
#include "portion/foodportion.h"
#include "portion/portion.h"
#include "report/valuearrays.h"

#include <QJsonObject>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <variant>
#include <vector>

namespace velmora {

class DataControl;

// The report's text as the window shows it, with line feeds for line ends and a final one; the
// description and the measure escaped as lineText escapes them. With `dv` the annotated report,
// its percents of `rule`.
QString reportLines(const FoodReport& r, bool dv, DailyValueRule rule, const QLocale& locale);

// A portion as JSON: description, ndb_number, grams, and quantity and unit of a measure.
QJsonObject summaryJson(const PortionSummary& p);

// The report as JSON: summaryJson's fields, daily_values under a rule other than 1993, and the
// nutrients in column order with label, unit, value and the percent Daily Value of `rule`.
QJsonObject reportJson(const FoodReport& r, DailyValueRule rule, const QLocale& locale);
QString jsonText(const QJsonValue& value);

// The nutrient lines of the report, in its order: value slots 2 to 31 but ash.
std::vector<int> reportNutrients();
// The percent Daily Value of each slot as the annotated report computes it under `rule`, or the
// empty text where there is none (no Daily Value, or no value).
std::array<QString, kValueSlots> percentTexts(const ValueArray& Z, DailyValueRule rule,
                                              const QLocale& locale);

// RFC 4180: fields joined by commas, each escaped as lineText escapes it and quoted where it
// holds a comma or a quote, the record ended by CR LF.
QString csvRecord(const QStringList& fields);

// The fields a CSV record with `dv` ends with: the percent Daily Value and, under a rule other
// than 1993, the rule's name; for the header (no `percent`), their names. None without `dv`.
QStringList dailyValueFields(bool dv, DailyValueRule rule,
                             const std::optional<QString>& percent = std::nullopt);

// The report as CSV: nutrient, unit, amount (the text the report shows), and with `dv` the percent
// Daily Value (and daily_values under a rule other than 1993).
QString reportCsv(const FoodReport& r, bool dv, DailyValueRule rule, const QLocale& locale);

// One line of output for a text from the table: control characters and line breaks escaped, every
// other character (a backslash too) as written.
QString lineText(const QString& text);

}  // namespace velmora
