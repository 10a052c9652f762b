// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reportcommand.h"

#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/vberror.h"
#include "common/vbtext.h"
#include "dailyvalues/dailyvalues.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/foodcolumns.h"
#include "portion/portion.h"
#include "report/valuearrays.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace velmora {

namespace {

const QString kProgram = QStringLiteral("velmora-report");

// The portion is kept in single precision, as the window's dialog keeps it: a weight that would
// become infinite or zero there is refused here too.
bool fitsPortion(double x) {
    return std::isfinite(x) && x > 0 && x <= std::numeric_limits<float>::max() &&
           static_cast<float>(x) > 0;
}

// A weight or count: the whole argument a number in the C locale's form ("12.5"), positive.
// 0 when it is none.
double amountArgument(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    double x = 0;
    const auto [end, ec] = std::from_chars(utf8.cbegin(), utf8.cend(), x);
    return ec == std::errc() && end == utf8.cend() && fitsPortion(x) ? x : 0;
}

ReportOutput failure(int status, const QString& message) {
    return {status, {}, kProgram + QStringLiteral(": ") + message + u'\n'};
}

QString latin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The window's find step, then the NDB number for a text that is no description.
bool findFood(DataControl& data, const QString& food) {
    QString svFindName;
    if (FindFoodByDescription(data, food, svFindName) == FindOutcome::Found) return true;
    data.FindFirst(latin1(kFoodColumns[field::NdbNumber].name) + QStringLiteral(" = '") +
                   SrchReplace(food) + u'\'');
    return !data.recordset().NoMatch();
}

QString jsonText(const ValueArray& Z, const QString& ndbNumber,
                 const std::optional<PortionState>& portion, double vPortionFactor,
                 const QLocale& locale) {
    // The percents as the annotated report computes and rounds them.
    DailyValueState dv;
    QString header;
    annotatedReport(Z, dv, header, locale);

    QJsonObject food;
    food[QStringLiteral("description")] = Z[slot::Description];
    food[QStringLiteral("ndb_number")] = ndbNumber.isEmpty() ? QJsonValue() : ndbNumber;
    food[QStringLiteral("grams")] = roundHalfAway(vPortionFactor * 100, 2);
    if (portion && !portion->svPortionUnit.isEmpty()) {
        // The quantity as the report's header writes it, as a number.
        food[QStringLiteral("quantity")] = Val(numberText(portion->vPortionQuantity, 7));
        food[QStringLiteral("unit")] = portion->svPortionUnit;
    }
    QJsonArray nutrients;
    for (int i = 1; i <= 31; ++i) {
        const FoodColumn& column = kFoodColumns[static_cast<std::size_t>(i)];
        double amount = Val(Z[i]);
        // The portion recomputation leaves Water, which no report shows, at its 100-gram amount;
        // here every value is for the weight given, so it is restated as the others are.
        if (i == 1 && portion) amount = roundHalfAway(amount * vPortionFactor, 3);
        // An empty text was not measured: null, never 0.
        const QJsonValue value = Z[i].isEmpty() ? QJsonValue() : QJsonValue(amount);
        QJsonObject nutrient{{QStringLiteral("label"), latin1(column.nutrient)},
                             {QStringLiteral("unit"), latin1(column.unit)},
                             {QStringLiteral("value"), value}};
        if (std::ranges::any_of(kDailyValues, [i](const DailyValueRow& r) { return r.index == i; }))
            nutrient[QStringLiteral("percent_daily_value")] =
                value.isNull() ? QJsonValue() : QJsonValue(dv.vPercentDV[i]);
        nutrients.append(nutrient);
    }
    food[QStringLiteral("nutrients")] = nutrients;
    return QString::fromUtf8(QJsonDocument(food).toJson(QJsonDocument::Indented));
}

// The report of the current record, as the window makes it for a list click, a portion and the
// Percent Daily Value command.
ReportOutput reportOfCurrentFood(const DataControl& data, const ReportRequest& request,
                                 const QLocale& locale) {
    const FieldReader fields = [&data](int i) { return data.txtFields(i); };
    ValueArray S, Z;
    FillArray_S(S, fields);
    setHundredGramValues(S, Z);

    std::optional<PortionState> portion;
    if (request.grams > 0) {
        portion = PortionState{static_cast<float>(request.grams), {}, 0};
    } else if (request.measure > 0) {
        const HouseholdMeasure m =
            measuresOf(fields)[static_cast<std::size_t>(request.measure - 1)];
        if (m.text.isEmpty() || !(Val(m.grams) > 0))
            return failure(kExitNotFound,
                           QStringLiteral("'%1' has no household measure %2")
                               .arg(Z[slot::Description], QString::number(request.measure)));
        const PortionEntry entry = measurePortion(m, request.count);
        if (!fitsPortion(entry.grams))
            return failure(kExitUsage, QStringLiteral("%1 of '%2' is a weight out of range")
                                           .arg(m.text, Z[slot::Description]));
        portion = PortionState{static_cast<float>(entry.grams), entry.unit,
                               static_cast<float>(entry.quantity)};
    }
    double vPortionFactor = 1;
    if (portion) RecomputePortion(fields, *portion, S, Z, vPortionFactor, locale);

    QString text;
    QString svPortionDescrip;
    if (request.json) {
        text = jsonText(Z, data.txtFields(field::NdbNumber), portion, vPortionFactor, locale);
    } else if (request.dv) {
        DailyValueState dv;
        text = annotatedReport(Z, dv, svPortionDescrip, locale);
    } else {
        text = reportText(Z, svPortionDescrip, locale);
    }
    text.replace(CR, QStringLiteral("\n"));
    if (!text.endsWith(u'\n')) text += u'\n';
    return {0, text, {}};
}

}  // namespace

std::variant<ReportRequest, int> readReportCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Print the nutrient report of a food from the USDA food table, as the "
                       "Velmora window shows it."));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Read the food table PATH instead of Velmora.mdb in the program's folder."),
        QStringLiteral("PATH"));
    const QCommandLineOption grams(QStringLiteral("grams"),
                                   QStringLiteral("Restate the report for G grams."),
                                   QStringLiteral("G"));
    const QCommandLineOption measure(
        QStringLiteral("measure"),
        QStringLiteral("Restate the report for --count N of the food's first or second household "
                       "measure."),
        QStringLiteral("1|2"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("The number of household measures."),
                                   QStringLiteral("N"));
    const QCommandLineOption dv(QStringLiteral("dv"),
                                QStringLiteral("Annotate the report with Percent Daily Values."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the report as one JSON object."));
    const QCommandLineOption search(
        QStringLiteral("search"),
        QStringLiteral("List the descriptions the window's Search lists for TERM."),
        QStringLiteral("TERM"));
    parser.addOptions({database, grams, measure, count, dv, json, search});
    parser.addPositionalArgument(QStringLiteral("FOOD"),
                                 QStringLiteral("The food's description or NDB number."));
    if (const auto status = readCommandLine(parser, arguments)) return *status;

    ReportRequest r;
    r.dv = parser.isSet(dv);
    r.json = parser.isSet(json);
    const QStringList foods = parser.positionalArguments();
    if (parser.isSet(search)) {
        if (!foods.isEmpty())
            return usageError(QStringLiteral("FOOD and --search exclude each other"));
        if (parser.isSet(grams) || parser.isSet(measure) || parser.isSet(count) || r.dv || r.json)
            return usageError(
                QStringLiteral("--search takes no --grams, --measure, --count, --dv "
                               "or --json"));
        r.search = true;
        r.term = parser.value(search);
        // The window refuses an empty term too.
        if (r.term.isEmpty()) return usageError(QStringLiteral("the search term is empty"));
    } else {
        if (foods.isEmpty()) return usageError(QStringLiteral("no FOOD given"));
        if (foods.size() > 1)
            return usageError(
                QStringLiteral("one FOOD only, not also '%1' (quote a description with blanks)")
                    .arg(foods[1]));
        r.term = foods.first();
        if (r.term.isEmpty()) return usageError(QStringLiteral("FOOD is empty"));
        if (parser.isSet(grams) && (parser.isSet(measure) || parser.isSet(count)))
            return usageError(QStringLiteral("--grams and --measure exclude each other"));
        if (parser.isSet(measure) != parser.isSet(count))
            return usageError(QStringLiteral("--measure and --count go together"));
        if (parser.isSet(grams) && (r.grams = amountArgument(parser.value(grams))) == 0)
            return usageError(QStringLiteral("--grams needs a positive number such as 12.5, "
                                             "not '%1'")
                                  .arg(parser.value(grams)));
        if (parser.isSet(measure)) {
            const QString m = parser.value(measure);
            if (m != u"1" && m != u"2")
                return usageError(QStringLiteral("--measure is 1 or 2, not '%1'").arg(m));
            r.measure = m.toInt();
            if ((r.count = amountArgument(parser.value(count))) == 0)
                return usageError(QStringLiteral("--count needs a positive number such as 0.25, "
                                                 "not '%1'")
                                      .arg(parser.value(count)));
        }
    }
    r.database =
        parser.isSet(database)
            ? absoluteFileName(parser.value(database))
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Velmora.mdb"));
    return r;
}

ReportOutput runReport(const ReportRequest& request, const QLocale& locale) {
    try {
        DataControl data;
        data.DatabaseName = request.database;
        data.RecordSource = kLoadQuery;
        data.Refresh();
        if (request.search) {
            data.RecordSource = searchQuery(request.term);
            data.Refresh();
            ReportOutput listing;
            for (int row = 0; row < data.recordset().RecordCount(); ++row)
                listing.out += data.recordset().description(row) + u'\n';
            return listing;
        }
        if (!findFood(data, request.term))
            return failure(
                kExitNotFound,
                QStringLiteral("no food has the description or NDB number '%1'").arg(request.term));
        return reportOfCurrentFood(data, request, locale);
    } catch (const VbError& e) {
        return failure(kExitTableError, QStringLiteral("Run-time error '%1': %2")
                                            .arg(QString::number(e.number()), e.description()));
    } catch (const std::bad_alloc&) {
        return failure(kExitTableError, QStringLiteral("Run-time error '%1': %2")
                                            .arg(QString::number(err::OutOfMemory),
                                                 standardErrorText(err::OutOfMemory)));
    }
}

}  // namespace velmora
