// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reportcommand.h"

#include "cli/manyfoods.h"
#include "cli/sourcereport.h"
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "fooddb/datacontrol.h"
#include "tools/sources/tablecheck.h"

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

// The options, as --help lists them.
struct ReportOptions {
    QCommandLineOption database, grams, measure, count, dv, dailyValues, json, csv, search, rank,
        top, perMeasure, compare, meal, source;
};

QCommandLineOption option(const char* name, const char* help, const char* value = nullptr) {
    return value
               ? QCommandLineOption(QLatin1String(name), QLatin1String(help), QLatin1String(value))
               : QCommandLineOption(QLatin1String(name), QLatin1String(help));
}

ReportOptions reportOptions() {
    return {
        .database = databaseOption(),
        .grams = option("grams", "Restate the report for G grams.", "G"),
        .measure = option(
            "measure",
            "Restate the report for --count N of the food's first or second household measure.",
            "1|2"),
        .count = option("count", "The number of household measures.", "N"),
        .dv = option("dv", "Annotate the report (or the meal's) with Percent Daily Values."),
        .dailyValues = dailyValuesOption(),
        .json = option("json", "Print JSON instead of text."),
        .csv = option("csv", "Print CSV (RFC 4180) instead of text."),
        .search = option("search",
                         "List the descriptions the window's Search lists for TERM; with --rank, "
                         "rank those foods only.",
                         "TERM"),
        .rank = option("rank",
                       "List the foods with the most NUTRIENT per 100 grams, such as potassium, "
                       "\"vitamin c\" or FA_SAT.",
                       "NUTRIENT"),
        .top = option("top", "How many foods --rank lists (20).", "N"),
        .perMeasure = option("per-measure",
                             "Rank by the amount in the food's first household measure instead."),
        .compare = option("compare", "Put 2 to 6 foods side by side, each FOOD or FOOD@PORTION."),
        .meal = option(
            "meal", "Total the portions of FILE (- for standard input), one FOOD@PORTION a line.",
            "FILE"),
        .source = option("source",
                         "Print where the table's data come from: the source record a table built "
                         "from a national food table carries."),
    };
}

void describeCommandLine(QCommandLineParser& parser, const ReportOptions& o) {
    parser.setApplicationDescription(
        QStringLiteral("Print the nutrient report of a food from the USDA food table, as the "
                       "Velmora window shows it; or foods ranked by a nutrient, foods side by "
                       "side, and a meal's totals."));
    parser.addOptions({o.database, o.grams, o.measure, o.count, o.dv, o.dailyValues, o.json, o.csv,
                       o.search, o.rank, o.top, o.perMeasure, o.compare, o.meal, o.source});
    parser.addPositionalArgument(
        QStringLiteral("FOOD"),
        QStringLiteral("The food's description or NDB number. A PORTION is 45g (grams), 0.25x1 "
                       "or 3x2 (a number of the first or second household measure)."));
}

// Each reader below returns what is wrong with the command line, or nothing.

QString readFormatAndMode(const QCommandLineParser& parser, const ReportOptions& o,
                          ReportRequest& r) {
    r.dv = parser.isSet(o.dv);
    if (parser.isSet(o.json) && parser.isSet(o.csv))
        return QStringLiteral("--json and --csv exclude each other");
    r.format = parser.isSet(o.json)  ? ReportFormat::Json
               : parser.isSet(o.csv) ? ReportFormat::Csv
                                     : ReportFormat::Text;
    if (parser.isSet(o.rank) + parser.isSet(o.compare) + parser.isSet(o.meal) > 1)
        return QStringLiteral("--rank, --compare and --meal exclude each other");
    r.mode = parser.isSet(o.rank)      ? ReportMode::Rank
             : parser.isSet(o.compare) ? ReportMode::Compare
             : parser.isSet(o.meal)    ? ReportMode::Meal
             : parser.isSet(o.search)  ? ReportMode::Search
                                       : ReportMode::Report;
    return {};
}

constexpr unsigned modeBit(ReportMode mode) {
    return 1u << static_cast<unsigned>(mode);
}

// What goes with which command, in the order the messages take precedence.
QString misplacedPart(const QCommandLineParser& parser, const ReportOptions& o, ReportMode mode,
                      const QStringList& foods) {
    using enum ReportMode;
    const struct {
        bool given;
        unsigned modes;  // the modeBit of each command it goes with
        const char* message;
    } rules[] = {
        {parser.isSet(o.grams) || parser.isSet(o.measure) || parser.isSet(o.count), modeBit(Report),
         "--grams, --measure and --count go with one FOOD only"},
        {parser.isSet(o.dv), modeBit(Report) | modeBit(Meal),
         "--dv goes with one FOOD or --meal only"},
        // Only --dv and the JSON of whole reports show percents.
        {parser.isSet(o.dailyValues) && !parser.isSet(o.dv) && !parser.isSet(o.json), 0,
         "--daily-values goes with --dv or --json"},
        {parser.isSet(o.dailyValues), modeBit(Report) | modeBit(Compare) | modeBit(Meal),
         "--daily-values goes with one FOOD, --compare or --meal only"},
        {parser.isSet(o.top) || parser.isSet(o.perMeasure), modeBit(Rank),
         "--top and --per-measure go with --rank only"},
        {parser.isSet(o.search), modeBit(Search) | modeBit(Rank), "--search goes with --rank only"},
        {!foods.isEmpty(), modeBit(Report) | modeBit(Compare),
         "FOOD goes with neither --search, --rank nor --meal"},
    };
    for (const auto& rule : rules)
        if (rule.given && (rule.modes & modeBit(mode)) == 0)
            return QString::fromLatin1(rule.message);
    return {};
}

QString readOneFood(const QCommandLineParser& parser, const ReportOptions& o,
                    const QStringList& foods, ReportRequest& r) {
    if (foods.isEmpty()) return QStringLiteral("no FOOD given");
    if (foods.size() > 1)
        return QStringLiteral("one FOOD only, not also '%1' (quote a description with blanks)")
            .arg(printable(foods[1]));
    PortionedFood food{foods.first()};
    if (food.food.isEmpty()) return QStringLiteral("FOOD is empty");
    if (parser.isSet(o.grams) && (parser.isSet(o.measure) || parser.isSet(o.count)))
        return QStringLiteral("--grams and --measure exclude each other");
    if (parser.isSet(o.measure) != parser.isSet(o.count))
        return QStringLiteral("--measure and --count go together");
    if (parser.isSet(o.grams))
        if (const QString p = readAmount(parser.value(o.grams), food.grams); !p.isEmpty())
            return QStringLiteral("--grams: ") + p;
    if (parser.isSet(o.measure)) {
        const QString m = parser.value(o.measure);
        if (m != u"1" && m != u"2")
            return QStringLiteral("--measure is 1 or 2, not '%1'").arg(printable(m));
        food.measure = m.toInt();
        if (const QString p = readAmount(parser.value(o.count), food.count); !p.isEmpty())
            return QStringLiteral("--count: ") + p;
    }
    r.foods << food;
    return {};
}

QString readRanking(const QCommandLineParser& parser, const ReportOptions& o, ReportRequest& r) {
    QString problem;
    r.nutrient = nutrientNamed(parser.value(o.rank), problem);
    if (r.nutrient == 0) return QStringLiteral("--rank: ") + problem;
    r.perMeasure = parser.isSet(o.perMeasure);
    if (parser.isSet(o.top)) {
        bool ok = false;
        r.top = parser.value(o.top).toInt(&ok);
        if (!ok || r.top < 1 || r.top > kMostRanked)
            return QStringLiteral("--top needs a whole number from 1 to %1, not '%2'")
                .arg(kMostRanked)
                .arg(printable(parser.value(o.top)));
    }
    return {};
}

QString readCompared(const QStringList& foods, ReportRequest& r) {
    if (foods.size() < kFewestCompared || foods.size() > kMostCompared)
        return QStringLiteral("--compare takes %1 to %2 foods, not %3")
            .arg(kFewestCompared)
            .arg(kMostCompared)
            .arg(foods.size());
    for (const QString& text : foods) {
        PortionedFood food;
        if (const QString p = readPortionedFood(text, food); !p.isEmpty())
            return QStringLiteral("'%1': ").arg(printable(text)) + p;
        r.foods << food;
    }
    return {};
}

QString readMealFile(const QCommandLineParser& parser, const ReportOptions& o, ReportRequest& r) {
    r.mealFile = parser.value(o.meal);
    if (r.mealFile != u"-") r.mealFile = absoluteFileName(r.mealFile);
    return {};
}

// --source with nothing but the table and the format.
QString readSource(const QCommandLineParser& parser, const QStringList& foods, ReportRequest& r) {
    const QStringList allowed{QStringLiteral("source"), QStringLiteral("database"),
                              QStringLiteral("json"), QStringLiteral("csv")};
    for (const QString& name : parser.optionNames())
        if (!allowed.contains(name))
            return QStringLiteral("--source goes with --database, --json and --csv only");
    if (!foods.isEmpty()) return QStringLiteral("--source takes no FOOD");
    r.mode = ReportMode::Source;
    return {};
}

QString readDailyValues(const QCommandLineParser& parser, const ReportOptions& o,
                        ReportRequest& r) {
    r.dailyValuesGiven = parser.isSet(o.dailyValues);
    return r.dailyValuesGiven ? readDailyValueRule(parser.value(o.dailyValues), r.dailyValues)
                              : QString();
}

QString readRequest(const QCommandLineParser& parser, const ReportOptions& o, ReportRequest& r) {
    if (QString p = emptyFileName(parser, {&o.database, &o.meal}); !p.isEmpty()) return p;
    if (QString p = readFormatAndMode(parser, o, r); !p.isEmpty()) return p;
    if (QString p = readDailyValues(parser, o, r); !p.isEmpty()) return p;
    const QStringList foods = parser.positionalArguments();
    if (parser.isSet(o.source)) return readSource(parser, foods, r);
    if (QString p = misplacedPart(parser, o, r.mode, foods); !p.isEmpty()) return p;
    if (parser.isSet(o.search)) {
        r.term = parser.value(o.search);
        // The window refuses an empty term too.
        if (r.term.isEmpty()) return QStringLiteral("the search term is empty");
    }
    switch (r.mode) {
        case ReportMode::Report:
            return readOneFood(parser, o, foods, r);
        case ReportMode::Rank:
            return readRanking(parser, o, r);
        case ReportMode::Compare:
            return readCompared(foods, r);
        case ReportMode::Meal:
            return readMealFile(parser, o, r);
        case ReportMode::Search:
        case ReportMode::Source:  // read above
            break;
    }
    return {};
}

}  // namespace

std::variant<ReportRequest, int> readReportCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const ReportOptions options = reportOptions();
    describeCommandLine(parser, options);
    if (const auto status = readCommandLine(parser, arguments)) return *status;
    ReportRequest r;
    if (const QString problem = readRequest(parser, options, r); !problem.isEmpty())
        return usageError(problem);
    if (parser.isSet(options.database)) r.shownDatabase = parser.value(options.database);
    r.database =
        parser.isSet(options.database) ? absoluteFileName(r.shownDatabase) : defaultDatabasePath();
    return r;
}

namespace {

// What the request asks for, of the table `data` names.
ReportOutput runCommand(DataControl& data, const ReportRequest& request, const QLocale& locale) {
    switch (request.mode) {
        case ReportMode::Search:
            return searchList(data, request);
        case ReportMode::Rank:
            return rankFoods(data, request, locale);
        case ReportMode::Compare:
            return compareFoods(data, request, locale);
        case ReportMode::Meal:
            return mealReport(data, request, locale);
        case ReportMode::Source:
            return sourceReport(data, request.format);
        case ReportMode::Report:
            break;
    }
    QString err;
    auto found = lookUpFood(data, request.foods.first(), locale, err);
    if (const ReportOutput* failed = std::get_if<ReportOutput>(&found)) return *failed;
    const FoodReport& r = std::get<FoodReport>(found);
    switch (request.format) {
        case ReportFormat::Json:
            return {0, jsonText(reportJson(r, request.dailyValues, locale)), err};
        case ReportFormat::Csv:
            return {0, reportCsv(r, request.dv, request.dailyValues, locale), err};
        case ReportFormat::Text:
            break;
    }
    return {0, reportLines(r, request.dv, request.dailyValues, locale), err};
}

// Whether the output has percents: those of the annotated reports and of JSON's whole reports.
bool showsPercents(const ReportRequest& r) {
    return r.dv || (r.format == ReportFormat::Json &&
                    (r.mode == ReportMode::Report || r.mode == ReportMode::Compare ||
                     r.mode == ReportMode::Meal));
}

// The table's own rule, read from its source record; opens the table.
DailyValueRule tableRule(DataControl& data) {
    data.RecordSource = TableQuery().where(QStringLiteral("0")).wholeRows();
    data.Refresh();
    const std::optional<SourceRecord> source = data.sourceRecord();
    return tableDailyValueRule(source ? source->name : QString());
}

}  // namespace

ReportOutput runReport(const ReportRequest& given, const QLocale& locale) {
    // A download given in place of a table is named, with the command that builds one from it.
    if (!given.shownDatabase.isEmpty())
        if (const QString problem = mkdb::notATableMessage(given.database, given.shownDatabase);
            !problem.isEmpty())
            return failure(kExitTableError, problem);
    try {
        DataControl data;
        data.DatabaseName = given.database;
        ReportRequest request = given;
        if (!request.dailyValuesGiven && showsPercents(request))
            request.dailyValues = tableRule(data);
        ReportOutput output = runCommand(data, request, locale);
        addSourceRecord(output, data.sourceRecord(), request.format);
        return output;
    } catch (...) {
        return tableError(caughtError());
    }
}

}  // namespace velmora
