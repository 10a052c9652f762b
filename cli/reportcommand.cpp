// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reportcommand.h"

#include "cli/manyfoods.h"
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/vberror.h"
#include "fooddb/datacontrol.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace velmora {

namespace {

// The most foods --rank lists, and the foods --compare puts side by side.
constexpr int kMostRanked = 1000;
constexpr qsizetype kFewestCompared = 2;
constexpr qsizetype kMostCompared = 6;

// The error that ended a command, as the window names it, on one line.
ReportOutput tableError(const CaughtError& e) {
    return failure(kExitTableError,
                   QStringLiteral("Run-time error '%1': %2").arg(e.number).arg(e.description));
}

}  // namespace

std::variant<ReportRequest, int> readReportCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Print the nutrient report of a food from the USDA food table, as the "
                       "Velmora window shows it; or foods ranked by a nutrient, foods side by "
                       "side, and a meal's totals."));
    const auto option = [](const char* name, const char* help, const char* value = nullptr) {
        return value ? QCommandLineOption(QLatin1String(name), QLatin1String(help),
                                          QLatin1String(value))
                     : QCommandLineOption(QLatin1String(name), QLatin1String(help));
    };
    const QCommandLineOption database =
        option("database",
               "Read the food table PATH instead of Velmora.mdb in the program's folder.", "PATH");
    const QCommandLineOption grams = option("grams", "Restate the report for G grams.", "G");
    const QCommandLineOption measure = option(
        "measure",
        "Restate the report for --count N of the food's first or second household measure.", "1|2");
    const QCommandLineOption count = option("count", "The number of household measures.", "N");
    const QCommandLineOption dv =
        option("dv", "Annotate the report (or the meal's) with Percent Daily Values.");
    const QCommandLineOption json = option("json", "Print JSON instead of text.");
    const QCommandLineOption csv = option("csv", "Print CSV (RFC 4180) instead of text.");
    const QCommandLineOption search =
        option("search",
               "List the descriptions the window's Search lists for TERM; with --rank, rank "
               "those foods only.",
               "TERM");
    const QCommandLineOption rank =
        option("rank",
               "List the foods with the most NUTRIENT per 100 grams, such as potassium, "
               "\"vitamin c\" or FA_SAT.",
               "NUTRIENT");
    const QCommandLineOption top = option("top", "How many foods --rank lists (20).", "N");
    const QCommandLineOption perMeasure =
        option("per-measure", "Rank by the amount in the food's first household measure instead.");
    const QCommandLineOption compare =
        option("compare", "Put 2 to 6 foods side by side, each FOOD or FOOD@PORTION.");
    const QCommandLineOption meal = option(
        "meal", "Total the portions of FILE (- for standard input), one FOOD@PORTION a line.",
        "FILE");
    parser.addOptions({database, grams, measure, count, dv, json, csv, search, rank, top,
                       perMeasure, compare, meal});
    parser.addPositionalArgument(
        QStringLiteral("FOOD"),
        QStringLiteral("The food's description or NDB number. A PORTION is 45g (grams), 0.25x1 "
                       "or 3x2 (a number of the first or second household measure)."));
    if (const auto status = readCommandLine(parser, arguments)) return *status;

    QStringList seen;
    for (const QString& name : parser.optionNames()) {
        if (seen.contains(name))
            return usageError(QStringLiteral("--%1 is given more than once").arg(name));
        seen << name;
    }

    ReportRequest r;
    r.dv = parser.isSet(dv);
    if (parser.isSet(json) && parser.isSet(csv))
        return usageError(QStringLiteral("--json and --csv exclude each other"));
    r.format = parser.isSet(json)  ? ReportFormat::Json
               : parser.isSet(csv) ? ReportFormat::Csv
                                   : ReportFormat::Text;
    if (parser.isSet(rank) + parser.isSet(compare) + parser.isSet(meal) > 1)
        return usageError(QStringLiteral("--rank, --compare and --meal exclude each other"));
    r.mode = parser.isSet(rank)      ? ReportMode::Rank
             : parser.isSet(compare) ? ReportMode::Compare
             : parser.isSet(meal)    ? ReportMode::Meal
             : parser.isSet(search)  ? ReportMode::Search
                                     : ReportMode::Report;
    const QStringList foods = parser.positionalArguments();
    const bool portion = parser.isSet(grams) || parser.isSet(measure) || parser.isSet(count);
    if (r.mode != ReportMode::Report && portion)
        return usageError(QStringLiteral("--grams, --measure and --count go with one FOOD only"));
    if (r.mode != ReportMode::Report && r.mode != ReportMode::Meal && r.dv)
        return usageError(QStringLiteral("--dv goes with one FOOD or --meal only"));
    if (r.mode != ReportMode::Rank && (parser.isSet(top) || parser.isSet(perMeasure)))
        return usageError(QStringLiteral("--top and --per-measure go with --rank only"));
    if (parser.isSet(search) && r.mode != ReportMode::Search && r.mode != ReportMode::Rank)
        return usageError(QStringLiteral("--search goes with --rank only"));
    if (r.mode != ReportMode::Report && r.mode != ReportMode::Compare && !foods.isEmpty())
        return usageError(QStringLiteral("FOOD goes with neither --search, --rank nor --meal"));
    if (parser.isSet(search)) {
        r.term = parser.value(search);
        // The window refuses an empty term too.
        if (r.term.isEmpty()) return usageError(QStringLiteral("the search term is empty"));
    }

    switch (r.mode) {
        case ReportMode::Report: {
            if (foods.isEmpty()) return usageError(QStringLiteral("no FOOD given"));
            if (foods.size() > 1)
                return usageError(QStringLiteral("one FOOD only, not also '%1' (quote a "
                                                 "description with blanks)")
                                      .arg(printable(foods[1])));
            PortionedFood food{foods.first()};
            if (food.food.isEmpty()) return usageError(QStringLiteral("FOOD is empty"));
            if (parser.isSet(grams) && (parser.isSet(measure) || parser.isSet(count)))
                return usageError(QStringLiteral("--grams and --measure exclude each other"));
            if (parser.isSet(measure) != parser.isSet(count))
                return usageError(QStringLiteral("--measure and --count go together"));
            if (parser.isSet(grams))
                if (const QString p = readAmount(parser.value(grams), food.grams); !p.isEmpty())
                    return usageError(QStringLiteral("--grams: ") + p);
            if (parser.isSet(measure)) {
                const QString m = parser.value(measure);
                if (m != u"1" && m != u"2")
                    return usageError(
                        QStringLiteral("--measure is 1 or 2, not '%1'").arg(printable(m)));
                food.measure = m.toInt();
                if (const QString p = readAmount(parser.value(count), food.count); !p.isEmpty())
                    return usageError(QStringLiteral("--count: ") + p);
            }
            r.foods << food;
            break;
        }
        case ReportMode::Rank: {
            QString problem;
            r.nutrient = nutrientNamed(parser.value(rank), problem);
            if (r.nutrient == 0) return usageError(QStringLiteral("--rank: ") + problem);
            r.perMeasure = parser.isSet(perMeasure);
            if (parser.isSet(top)) {
                bool ok = false;
                r.top = parser.value(top).toInt(&ok);
                if (!ok || r.top < 1 || r.top > kMostRanked)
                    return usageError(QStringLiteral("--top needs a whole number from 1 to %1, "
                                                     "not '%2'")
                                          .arg(kMostRanked)
                                          .arg(printable(parser.value(top))));
            }
            break;
        }
        case ReportMode::Compare:
            if (foods.size() < kFewestCompared || foods.size() > kMostCompared)
                return usageError(QStringLiteral("--compare takes %1 to %2 foods, not %3")
                                      .arg(kFewestCompared)
                                      .arg(kMostCompared)
                                      .arg(foods.size()));
            for (const QString& text : foods) {
                PortionedFood food;
                if (const QString p = readPortionedFood(text, food); !p.isEmpty())
                    return usageError(QStringLiteral("'%1': ").arg(printable(text)) + p);
                r.foods << food;
            }
            break;
        case ReportMode::Meal:
            r.mealFile = parser.value(meal);
            if (r.mealFile.isEmpty()) return usageError(QStringLiteral("--meal needs a file"));
            if (r.mealFile != u"-") r.mealFile = absoluteFileName(r.mealFile);
            break;
        case ReportMode::Search:
            break;
    }
    r.database =
        parser.isSet(database) ? absoluteFileName(parser.value(database)) : defaultDatabasePath();
    return r;
}

ReportOutput runReport(const ReportRequest& request, const QLocale& locale) {
    try {
        DataControl data;
        data.DatabaseName = request.database;
        switch (request.mode) {
            case ReportMode::Search:
                return searchList(data, request);
            case ReportMode::Rank:
                return rankFoods(data, request, locale);
            case ReportMode::Compare:
                return compareFoods(data, request, locale);
            case ReportMode::Meal:
                return mealReport(data, request, locale);
            case ReportMode::Report:
                break;
        }
        QString err;
        auto found = lookUpFood(data, request.foods.first(), locale, err);
        if (const ReportOutput* failed = std::get_if<ReportOutput>(&found)) return *failed;
        const FoodReport& r = std::get<FoodReport>(found);
        switch (request.format) {
            case ReportFormat::Json:
                return {0, jsonText(reportJson(r, locale)), err};
            case ReportFormat::Csv:
                return {0, reportCsv(r, request.dv, locale), err};
            case ReportFormat::Text:
                break;
        }
        return {0, reportLines(r, request.dv, locale), err};
    } catch (...) {
        return tableError(caughtError());
    }
}

}  // namespace velmora
