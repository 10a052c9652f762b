// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/manyfoods.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/foodcolumns.h"

#include <QJsonArray>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace velmora {

namespace {

QString columnName(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].name);
}

// The WHERE condition of the window's Search for `term`, taken from its query.
QString searchCondition(const QString& term) {
    const QString query = searchQuery(term);
    const QLatin1StringView where(" WHERE ");
    const qsizetype begin = query.indexOf(where) + where.size();
    const qsizetype end = query.lastIndexOf(QLatin1StringView("Order by description"));
    return u'(' + query.mid(begin, end - begin) + u')';
}

// The decimals the portion report writes a slot with, as the recomputation itself writes them.
int portionDecimals(int slot) {
    ValueArray S, Z;
    double factor = 0;
    restatePortion([](int) { return QStringLiteral("0.123456789"); }, PortionState{100, {}, 0}, S,
                   Z, factor);
    const qsizetype point = Z[slot].indexOf(u'.');
    return point < 0 ? 0 : static_cast<int>(Z[slot].size() - point - 1);
}

// Lines of text, `gap` blanks between columns, each column padded to its width (to the right for
// the columns of the bits in `right`); the last column is not padded.
QString columns(const QList<QStringList>& rows, unsigned right = 0, qsizetype gap = 1) {
    QList<qsizetype> width;
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (width.size() <= c) width.append(0);
            width[c] = std::max(width[c], row[c].size());
        }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 == row.size()     ? row[c]
                    : (right >> c & 1) != 0 ? row[c].rightJustified(width[c]) + QString(gap, u' ')
                                            : row[c].leftJustified(width[c]) + QString(gap, u' ');
        while (line.endsWith(u' ')) line.chop(1);
        text += line + u'\n';
    }
    return text;
}

ReportOutput withPlace(ReportOutput failed, const QString& place) {
    failed.err.insert(failed.err.indexOf(u':') + 2, place + QStringLiteral(": "));
    return failed;
}

}  // namespace

int nutrientNamed(const QString& name, QString& problem) {
    QList<int> exact, partial;
    QStringList names;
    for (const int slot : reportNutrients()) {
        names << nutrientName(slot);
        const QString label = nutrientName(slot), column = columnName(slot);
        if (name.compare(label, Qt::CaseInsensitive) == 0 ||
            name.compare(column, Qt::CaseInsensitive) == 0)
            exact << slot;
        else if (!name.isEmpty() && (label.contains(name, Qt::CaseInsensitive) ||
                                     column.contains(name, Qt::CaseInsensitive)))
            partial << slot;
    }
    if (exact.size() == 1) return exact.first();
    if (partial.size() == 1) return partial.first();
    if (partial.isEmpty()) {
        problem = QStringLiteral("no nutrient is called '%1'; the nutrients are %2")
                      .arg(printable(name), names.join(QStringLiteral(", ")));
    } else {
        QStringList matching;
        for (const int slot : partial) matching << nutrientName(slot);
        problem = QStringLiteral("'%1' may be %2")
                      .arg(printable(name), matching.join(QStringLiteral(" or ")));
    }
    return 0;
}

ReportOutput searchList(DataControl& data, const ReportRequest& request) {
    data.RecordSource = searchQuery(request.term);
    data.Refresh();
    const Recordset& rs = data.recordset();
    ReportOutput listing;
    QJsonArray json;
    if (request.format == ReportFormat::Csv)
        listing.out = csvRecord({QStringLiteral("description")});
    for (int row = 0; row < rs.RecordCount(); ++row) {
        const QString description = rs.description(row);
        if (request.format == ReportFormat::Json)
            json.append(description);
        else if (request.format == ReportFormat::Csv)
            listing.out += csvRecord({description});
        else
            listing.out += lineText(description) + u'\n';
    }
    if (request.format == ReportFormat::Json) listing.out = jsonText(json);
    return listing;
}

namespace {

struct Ranked {
    FoodReport report;
    double amount;
};

// The rows that can rank: the nutrient measured and, per measure, a first measure with a weight.
QString rankFilter(const ReportRequest& request, const QString& column) {
    // A value that is no number is not measured, like Null; numbers sort before every text.
    QString filter = column + QStringLiteral(" < ''");
    if (request.perMeasure)
        filter += QStringLiteral(" AND GMWT_1 < '' AND GMWT_1 > 0 AND length(GMWT_DESC1) > 0");
    if (!request.term.isEmpty()) filter += QStringLiteral(" AND ") + searchCondition(request.term);
    return filter;
}

QString rankKey(const ReportRequest& request, const QString& column) {
    // Per measure the engine orders by an amount close to the one the report shows, rounded as
    // there but from a weight in double precision (single in the report) and away from zero for
    // halves of positive amounts only; a margin of further candidates, each restated exactly,
    // makes up for the difference.
    return request.perMeasure
               ? QStringLiteral("CAST(%1 * GMWT_1 * %2 + 0.5 AS INTEGER)")
                     .arg(column,
                          numberText(std::pow(10.0, portionDecimals(request.nutrient)) / 100))
               : column;
}

// The candidates as whole rows (not "*", which the data control would read again row by row as
// each becomes current), in list order.
QString candidateQuery(const QString& filter, const QString& key, int candidates) {
    return QStringLiteral(
               "SELECT CSR14.* FROM CSR14 WHERE rowid IN (SELECT rowid FROM CSR14 WHERE %1 "
               "ORDER BY %2 DESC, description, rowid LIMIT %3) ORDER BY Description, rowid")
        .arg(filter, key)
        .arg(candidates);
}

// The reports of the `found` candidates of the current query that show an amount, in list order.
std::vector<Ranked> readCandidates(DataControl& data, int found, const ReportRequest& request,
                                   const QLocale& locale) {
    std::vector<Ranked> ranked;
    const PortionedFood portion{{}, 0, request.perMeasure ? 1 : 0, 1};
    for (int row = 0; row < found; ++row) {
        data.moveToRow(row);
        // Only what the line shows: the portion recomputation skips what was not measured.
        const auto report = reportOf(
            [&](int i) {
                return i == 0 || i == request.nutrient || i > 31 ? data.txtFields(i) : QString();
            },
            portion, locale);
        const FoodReport* r = std::get_if<FoodReport>(&report);
        if (r && !r->Z[request.nutrient].isEmpty())
            ranked.push_back({*r, Val(r->Z[request.nutrient])});
    }
    return ranked;
}

// The foods with the most of the nutrient, highest first, at most `request.top`.
std::vector<Ranked> rankedFoods(DataControl& data, const ReportRequest& request,
                                const QLocale& locale) {
    const QString column = columnName(request.nutrient);
    const QString filter = rankFilter(request, column), key = rankKey(request, column);
    std::vector<Ranked> ranked;
    const int first = request.perMeasure ? request.top + 20 : request.top;
    // A candidate whose report shows no amount (a measure too heavy for a portion, a value the
    // data control does not read as a number) is left out; more candidates fill its place.
    for (int candidates = first;
         ranked.size() < static_cast<std::size_t>(request.top) && candidates <= 8 * first;
         candidates *= 2) {
        data.RecordSource = candidateQuery(filter, key, candidates);
        data.Refresh();
        const int found = data.recordset().RecordCount();
        ranked = readCandidates(data, found, request, locale);
        if (found < candidates) break;  // every food there is
    }
    // Highest first; equal amounts stay in list order.
    std::ranges::stable_sort(ranked, std::greater<>(), &Ranked::amount);
    if (ranked.size() > static_cast<std::size_t>(request.top))
        ranked.resize(static_cast<std::size_t>(request.top));
    return ranked;
}

QJsonObject rankedJson(const Ranked& food, int rank, const ReportRequest& request,
                       const QString& unit) {
    const FoodReport& r = food.report;
    QJsonObject json{
        {QStringLiteral("rank"), rank},
        {QStringLiteral("description"), r.Z[slot::Description]},
        {QStringLiteral("ndb_number"), r.ndbNumber.isEmpty() ? QJsonValue() : r.ndbNumber},
        {QStringLiteral("amount"), food.amount},
        {QStringLiteral("unit"), unit}};
    if (request.perMeasure) {
        json[QStringLiteral("measure")] = r.Z[slot::Unit];
        json[QStringLiteral("grams")] = roundHalfAway(r.vPortionFactor * 100, 2);
    }
    return json;
}

ReportOutput rankListing(const std::vector<Ranked>& ranked, const ReportRequest& request) {
    const QString unit = nutrientUnit(request.nutrient);
    ReportOutput out;
    QJsonArray json;
    QList<QStringList> lines;
    if (request.format == ReportFormat::Csv)
        out.out = csvRecord({QStringLiteral("rank"), QStringLiteral("description"),
                             QStringLiteral("amount"), QStringLiteral("unit")});
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const FoodReport& r = ranked[i].report;
        const QString rank = QString::number(i + 1);
        const QString amount = r.Z[request.nutrient].trimmed();
        const QString& description = r.Z[slot::Description];
        if (request.format == ReportFormat::Csv) {
            out.out += csvRecord({rank, description, amount, unit});
        } else if (request.format == ReportFormat::Json) {
            json.append(rankedJson(ranked[i], static_cast<int>(i + 1), request, unit));
        } else {
            QString per;
            if (request.perMeasure) per = QStringLiteral(" per ") + lineText(r.Z[slot::Unit]);
            lines.append({rank + u'.', amount, unit + per + u' ', lineText(description)});
        }
    }
    if (request.format == ReportFormat::Json) out.out = jsonText(json);
    if (request.format == ReportFormat::Text) out.out = columns(lines, 0b11);
    return out;
}

}  // namespace

ReportOutput rankFoods(DataControl& data, const ReportRequest& request, const QLocale& locale) {
    return rankListing(rankedFoods(data, request, locale), request);
}

namespace {

// Adds a row: `label`, then each report's `value`.
template <typename Value>
void addRow(QList<QStringList>& rows, const std::vector<FoodReport>& reports, const QString& label,
            const Value& value) {
    QStringList row{label};
    for (const FoodReport& r : reports) row << value(r);
    rows << row;
}

QStringList comparisonHeader(const std::vector<FoodReport>& reports, bool csv) {
    // Text columns are at most this wide: the description shortened to fit, the full one in CSV
    // and JSON.
    constexpr qsizetype kWidth = 24;
    QStringList header{csv ? QStringLiteral("nutrient") : QString()};
    if (csv) header << QStringLiteral("unit");
    for (const FoodReport& r : reports) {
        const QString& description = r.Z[slot::Description];
        header << (csv ? description : printable(description, kWidth - 1));
    }
    return header;
}

// The text's rows above the nutrients: the weight, and the measure where any food has one.
void addPortionRows(QList<QStringList>& rows, const std::vector<FoodReport>& reports) {
    addRow(rows, reports, QStringLiteral("Total weight (grams)"),
           [](const FoodReport& r) { return r.Z[slot::TotalWeight]; });
    const auto hasMeasure = [](const FoodReport& r) {
        return r.portion && !r.portion->svPortionUnit.isEmpty();
    };
    if (!std::ranges::any_of(reports, hasMeasure)) return;
    const auto measurePart = [&](const FoodReport& r, int s) {
        return hasMeasure(r) ? lineText(r.Z[s]) : QString();
    };
    addRow(rows, reports, QStringLiteral("Quantity"),
           [&](const FoodReport& r) { return measurePart(r, slot::Quantity); });
    addRow(rows, reports, QStringLiteral("Unit"),
           [&](const FoodReport& r) { return measurePart(r, slot::Unit); });
}

QList<QStringList> comparisonRows(const std::vector<FoodReport>& reports, bool csv) {
    QList<QStringList> rows{comparisonHeader(reports, csv)};
    if (!csv) addPortionRows(rows, reports);
    for (const int i : reportNutrients()) {
        const auto value = [i](const FoodReport& r) { return r.Z[i].trimmed(); };
        if (csv) {
            addRow(rows, reports, nutrientName(i), value);
            rows.last().insert(1, nutrientUnit(i));
        } else {
            addRow(rows, reports, nutrientName(i) + QStringLiteral(" (") + nutrientUnit(i) + u')',
                   value);
        }
    }
    return rows;
}

}  // namespace

ReportOutput compareFoods(DataControl& data, const ReportRequest& request, const QLocale& locale) {
    std::vector<FoodReport> reports;
    QString err;
    for (const PortionedFood& p : request.foods) {
        auto found = lookUpFood(data, p, locale, err);
        if (ReportOutput* failed = std::get_if<ReportOutput>(&found)) {
            failed->err.prepend(err);
            return *failed;
        }
        reports.push_back(std::get<FoodReport>(std::move(found)));
    }
    ReportOutput out{0, {}, err};
    if (request.format == ReportFormat::Json) {
        QJsonArray json;
        for (const FoodReport& r : reports) json.append(reportJson(r, locale));
        out.out = jsonText(json);
        return out;
    }
    const bool csv = request.format == ReportFormat::Csv;
    const QList<QStringList> rows = comparisonRows(reports, csv);
    if (csv)
        for (const QStringList& row : rows) out.out += csvRecord(row);
    else
        out.out = columns(rows, 0, 2);
    return out;
}

namespace {

// A meal is a few lines: anything much larger is no meal (or a device that never ends).
constexpr qsizetype kMealLimit = 1 << 20;

// The meal file's bytes, or why it cannot be read.
QString readMeal(const QString& name, QByteArray& bytes) {
    const bool standardInput = name == u"-";
    const int fd =
        standardInput ? 0 : ::open(encodeFileName(name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    QString problem;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) problem = QString::fromLocal8Bit(std::strerror(errno));
        if (n <= 0) break;
        bytes.append(buffer, n);
        if (bytes.size() > kMealLimit) {
            problem = QStringLiteral("too large for a meal");
            break;
        }
    }
    if (!standardInput) ::close(fd);
    return problem;
}

struct MealLine {
    int number;
    PortionedFood food;
};

// A meal line's food and portion; after the portion, "#" starts a comment too (a description may
// hold one).
QString withoutComment(QString text) {
    const qsizetype at = text.lastIndexOf(u'@');
    if (at >= 0) {
        const qsizetype hash = text.indexOf(u'#', at);
        text = text.left(at).trimmed() + u'@' +
               text.mid(at + 1, hash < 0 ? -1 : hash - at - 1).trimmed();
    }
    return text;
}

// Every line read before the table is opened: a bad one ends the run with nothing printed. The
// failure, if any; `file` names the file in messages.
std::optional<ReportOutput> readMealLines(const QString& name, const QString& file,
                                          std::vector<MealLine>& lines) {
    QByteArray bytes;
    if (const QString problem = readMeal(name, bytes); !problem.isEmpty())
        return failure(kExitTableError, QStringLiteral("cannot read %1: %2").arg(file, problem));
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    const QStringList texts = QString::fromUtf8(bytes).split(u'\n');
    for (qsizetype n = 0; n < texts.size(); ++n) {
        const QString text = texts[n].trimmed();
        if (text.isEmpty() || text.startsWith(u'#')) continue;
        PortionedFood food;
        const QString place = QStringLiteral("%1:%2").arg(file).arg(n + 1);
        if (const QString problem = readPortionedFood(withoutComment(text), food);
            !problem.isEmpty())
            return failure(kExitUsage, place + QStringLiteral(": ") + problem);
        // A food without a portion counts with 100 grams, its 100-gram report's amounts.
        if (food.grams == 0 && food.measure == 0) food.grams = 100;
        lines.push_back({static_cast<int>(n + 1), food});
    }
    if (lines.empty()) return failure(kExitUsage, file + QStringLiteral(": no portions"));
    return std::nullopt;
}

std::optional<ReportOutput> lookUpPortions(DataControl& data, const std::vector<MealLine>& lines,
                                           const QString& file, const QLocale& locale,
                                           std::vector<FoodReport>& portions, QString& err) {
    for (const MealLine& line : lines) {
        auto found = lookUpFood(data, line.food, locale, err);
        if (ReportOutput* failed = std::get_if<ReportOutput>(&found))
            return withPlace(*failed, QStringLiteral("%1:%2").arg(file).arg(line.number));
        portions.push_back(std::get<FoodReport>(std::move(found)));
    }
    return std::nullopt;
}

// Each nutrient's sum over the portions that have a value, as their reports show it.
struct MealTotals {
    int portions = 0;
    std::array<double, 32> sum{};
    std::array<int, 32> lacking{};  // the portions without a value
    double grams = 0;
};

MealTotals mealTotals(const std::vector<FoodReport>& portions) {
    MealTotals t;
    t.portions = static_cast<int>(portions.size());
    for (const FoodReport& r : portions) {
        t.grams += r.vPortionFactor * 100;
        for (int i = 1; i <= 31; ++i) {
            const QString value = i == 1 ? waterText(r) : r.Z[i];
            if (value.isEmpty())
                ++t.lacking[static_cast<std::size_t>(i)];
            else
                t.sum[static_cast<std::size_t>(i)] += Val(value);
        }
    }
    return t;
}

// The sums written as the portion report writes its amounts: the recomputation over them, for
// 100 grams.
FoodReport mealFood(const MealTotals& t, const QString& title, const QLocale& locale) {
    const FieldReader sums = [&](int i) {
        if (i == 0) return title;
        const auto s = static_cast<std::size_t>(i);
        return t.lacking[s] == t.portions ? QString()
                                          : QString::fromStdString(roundTripDecimal(t.sum[s]));
    };
    FoodReport meal;
    ValueArray S;
    FillArray_S(S, sums);
    setHundredGramValues(S, meal.Z);
    meal.portion = PortionState{100, {}, 0};
    restatePortion(sums, *meal.portion, S, meal.Z, meal.vPortionFactor, locale);
    meal.Z[slot::TotalWeight] = FormatNumber(t.grams, 2, locale);
    return meal;
}

QString mealJson(const FoodReport& meal, const std::vector<FoodReport>& portions,
                 const MealTotals& t, const QLocale& locale) {
    QJsonArray list;
    for (const FoodReport& r : portions) {
        QJsonObject portion = reportJson(r, locale);
        portion.remove(QStringLiteral("nutrients"));
        list.append(portion);
    }
    QJsonObject json = reportJson(meal, locale);
    json.remove(QStringLiteral("description"));
    json.remove(QStringLiteral("ndb_number"));
    json[QStringLiteral("grams")] = roundHalfAway(t.grams, 2);
    QJsonArray nutrients = json[QStringLiteral("nutrients")].toArray();
    for (qsizetype i = 0; i < nutrients.size(); ++i) {
        QJsonObject nutrient = nutrients[i].toObject();
        nutrient[QStringLiteral("foods_without_value")] =
            t.lacking[static_cast<std::size_t>(i + 1)];
        nutrients[i] = nutrient;
    }
    json[QStringLiteral("nutrients")] = nutrients;
    json[QStringLiteral("portions")] = list;
    return jsonText(json);
}

QString mealCsv(const FoodReport& meal, const MealTotals& t, bool dv, const QLocale& locale) {
    QStringList header{QStringLiteral("nutrient"), QStringLiteral("unit"), QStringLiteral("total"),
                       QStringLiteral("foods_without_value")};
    if (dv) header << QStringLiteral("percent_daily_value");
    QString text = csvRecord(header);
    const auto percents = percentTexts(meal.Z, locale);
    for (const int i : reportNutrients()) {
        QStringList row{nutrientName(i), nutrientUnit(i), meal.Z[i].trimmed(),
                        QString::number(t.lacking[static_cast<std::size_t>(i)])};
        if (dv) row << percents[static_cast<std::size_t>(i)];
        text += csvRecord(row);
    }
    return text;
}

QString mealText(FoodReport meal, const std::vector<FoodReport>& portions, const MealTotals& t,
                 const QString& title, bool dv, const QLocale& locale) {
    QList<QStringList> list;
    for (const FoodReport& r : portions) {
        QString item = lineText(r.Z[slot::Description]);
        if (r.portion && !r.portion->svPortionUnit.isEmpty())
            item +=
                QStringLiteral(" (%1 of %2)").arg(r.Z[slot::Quantity], lineText(r.Z[slot::Unit]));
        list.append({QString(), r.Z[slot::TotalWeight], QStringLiteral("grams "), item});
    }
    // A sum that misses some portions says so on its line.
    const int n = t.portions;
    for (const int i : reportNutrients()) {
        const int missing = t.lacking[static_cast<std::size_t>(i)];
        if (missing > 0 && missing < n)
            meal.Z[i] += QStringLiteral(" (%1 of %2 portions without a value)").arg(missing).arg(n);
    }
    return u' ' + title + QStringLiteral(":\n") + columns(list, 0b10) + u'\n' +
           reportLines(meal, dv, locale);
}

}  // namespace

ReportOutput mealReport(DataControl& data, const ReportRequest& request, const QLocale& locale) {
    const QString file = printableLine(request.mealFile);
    std::vector<MealLine> lines;
    if (auto failed = readMealLines(request.mealFile, file, lines)) return *failed;
    std::vector<FoodReport> portions;
    QString err;
    if (auto failed = lookUpPortions(data, lines, file, locale, portions, err)) return *failed;

    const MealTotals totals = mealTotals(portions);
    const int n = totals.portions;
    const QString title = QStringLiteral("Meal of %1 portion%2").arg(n).arg(n == 1 ? "" : "s");
    FoodReport meal = mealFood(totals, title, locale);
    switch (request.format) {
        case ReportFormat::Json:
            return {0, mealJson(meal, portions, totals, locale), err};
        case ReportFormat::Csv:
            return {0, mealCsv(meal, totals, request.dv, locale), err};
        case ReportFormat::Text:
            break;
    }
    return {0, mealText(std::move(meal), portions, totals, title, request.dv, locale), err};
}

}  // namespace velmora
