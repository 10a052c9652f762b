// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/manyfoods.h"

#include "portion/meal.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/foodcolumns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

namespace {

QString columnName(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].name);
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
    if (!request.term.isEmpty())
        filter += QStringLiteral(" AND (") + searchQuery(request.term).condition + u')';
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

// The candidates in list order, as whole rows: each of them is read.
TableQuery candidateQuery(const QString& filter, const QString& key, int candidates) {
    return TableQuery()
        .where(QStringLiteral("rowid IN (SELECT rowid FROM CSR14 WHERE %1 ORDER BY %2 DESC, "
                              "description, rowid LIMIT %3)")
                   .arg(filter, key)
                   .arg(candidates))
        .inListOrder(QStringLiteral("Description, rowid"))
        .wholeRows();
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

// Adds a row: `head` (the label, and in CSV the unit), then each report's `value`.
template <typename Value>
void addRow(QList<QStringList>& rows, const std::vector<FoodReport>& reports, QStringList head,
            const Value& value) {
    for (const FoodReport& r : reports) head << value(r);
    rows << head;
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

// The rows above the nutrients: the weight, and the measure where any food has one. CSV writes
// its numbers with a point whatever the locale, and the measure's text as it stands.
void addPortionRows(QList<QStringList>& rows, const std::vector<FoodReport>& reports, bool csv) {
    // CSV gives the unit a column of its own, and none to the measure's rows.
    const auto head = [csv](const QString& text, const QString& label, const QString& unit) {
        return csv ? QStringList{label, unit} : QStringList{text};
    };
    addRow(rows, reports,
           head(QStringLiteral("Total weight (grams)"), QStringLiteral("Total weight"),
                QStringLiteral("g")),
           [csv](const FoodReport& r) {
               return csv ? roundedText(r.vPortionFactor * 100, 2) : r.Z[slot::TotalWeight];
           });
    const auto hasMeasure = [](const FoodReport& r) {
        return r.portion && !r.portion->svPortionUnit.isEmpty();
    };
    if (!std::ranges::any_of(reports, hasMeasure)) return;
    const QString quantity = QStringLiteral("Quantity"), unit = QStringLiteral("Unit");
    addRow(rows, reports, head(quantity, quantity, {}), [&](const FoodReport& r) {
        if (!hasMeasure(r)) return QString();
        return csv ? numberText(r.portion->vPortionQuantity, 7) : lineText(r.Z[slot::Quantity]);
    });
    addRow(rows, reports, head(unit, unit, {}), [&](const FoodReport& r) {
        if (!hasMeasure(r)) return QString();
        return csv ? r.portion->svPortionUnit : lineText(r.Z[slot::Unit]);
    });
}

QList<QStringList> comparisonRows(const std::vector<FoodReport>& reports, bool csv) {
    QList<QStringList> rows{comparisonHeader(reports, csv)};
    addPortionRows(rows, reports, csv);
    for (const int i : reportNutrients()) {
        const QStringList head =
            csv ? QStringList{nutrientName(i), nutrientUnit(i)}
                : QStringList{nutrientName(i) + QStringLiteral(" (") + nutrientUnit(i) + u')'};
        addRow(rows, reports, head, [i](const FoodReport& r) { return r.Z[i].trimmed(); });
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
        for (const FoodReport& r : reports) json.append(reportJson(r, request.dailyValues, locale));
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

QString linePlace(const QString& file, int line) {
    return QStringLiteral("%1:%2").arg(file).arg(line);
}

// A portion line of the meal: its number and its food with the portion. Gives the failure that
// ends the meal, if any.
using MealLineUse = std::function<std::optional<ReportOutput>(int, const PortionedFood&)>;

// Calls `use` for every portion line of the meal's `bytes`, in order, until it fails; a line that
// is no UTF-8 or no portion fails by itself. The failure, if any; `file` names the file.
std::optional<ReportOutput> forEachMealLine(QByteArrayView bytes, const QString& file,
                                            const MealLineUse& use) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    int portions = 0;
    for (int number = 1; !bytes.isEmpty(); ++number) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView line = end < 0 ? bytes : bytes.first(end);
        bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);
        // A byte that is no UTF-8 would become U+FFFD, and the food not found for it. Stateless:
        // a sequence cut off by the line's end is an error too, not a start kept for more bytes.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                        QStringConverter::Flag::Stateless);
        const QString text = QString(utf8(line)).trimmed();
        if (utf8.hasError())
            return failure(kExitUsage, linePlace(file, number) + QStringLiteral(": not UTF-8"));
        if (text.isEmpty() || text.startsWith(u'#')) continue;
        PortionedFood food;
        if (const QString problem = readMealLine(text, food); !problem.isEmpty())
            return failure(kExitUsage, linePlace(file, number) + QStringLiteral(": ") + problem);
        if (auto failed = use(number, food)) return withPlace(*failed, linePlace(file, number));
        ++portions;
    }
    if (portions == 0) return failure(kExitUsage, file + QStringLiteral(": no portions"));
    return std::nullopt;
}

// The meal so far, a line at a time: the totals, and for text and JSON the listing, which keeps
// of a line only the number of its portion.
struct Meal {
    MealFoods foods;
    bool listed;
    std::vector<int> listing;
    MealTotals totals;

    std::optional<ReportOutput> add(const PortionedFood& p) {
        const auto portion = foods.portion(p);
        if (const ReportOutput* failed = std::get_if<ReportOutput>(&portion)) return *failed;
        totals.add(foods[std::get<int>(portion)]);
        if (listed) listing.push_back(std::get<int>(portion));
        return std::nullopt;
    }
};

// The sums written as the portion report writes its amounts: the recomputation over them, for
// 100 grams.
FoodReport totalsReport(const MealTotals& t, const QString& title, const QLocale& locale) {
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

// A portion's JSON as an element of the meal's "portions", indented as the document indents it.
QString portionItem(const PortionSummary& p) {
    const QString object = QString::fromUtf8(QJsonDocument(summaryJson(p)).toJson()).trimmed();
    const QString indent(8, u' ');
    // JSON writes a line break inside a text as an escape, so every line break is the layout's.
    return indent + QString(object).replace(u'\n', u'\n' + indent);
}

// The meal's JSON. The portions are written into the text, each distinct one rendered once:
// a document of a hundred thousand portion objects would take a hundred times the memory.
QString mealJson(const FoodReport& meal, const Meal& m, DailyValueRule rule,
                 const QLocale& locale) {
    QJsonObject json = reportJson(meal, rule, locale);
    json.remove(QStringLiteral("description"));
    json.remove(QStringLiteral("ndb_number"));
    json[QStringLiteral("grams")] = roundHalfAway(m.totals.grams, 2);
    QJsonArray nutrients = json[QStringLiteral("nutrients")].toArray();
    for (qsizetype i = 0; i < nutrients.size(); ++i) {
        QJsonObject nutrient = nutrients[i].toObject();
        nutrient[QStringLiteral("foods_without_value")] =
            m.totals.lacking[static_cast<std::size_t>(i + 1)];
        nutrients[i] = nutrient;
    }
    json[QStringLiteral("nutrients")] = nutrients;
    // "portions" sorts last of the keys: it goes where the document's closing brace stands.
    QString text = jsonText(json);
    text.chop(QStringLiteral("\n}\n").size());
    text += QStringLiteral(",\n    \"portions\": [\n");
    QStringList items;
    qsizetype size = text.size();
    for (const MealPortion& p : m.foods.portions()) items << portionItem(p.summary);
    for (const int i : m.listing) size += items[i].size() + 2;
    text.reserve(size + 16);
    for (std::size_t i = 0; i < m.listing.size(); ++i) {
        if (i > 0) text += QStringLiteral(",\n");
        text += items[m.listing[i]];
    }
    return text + QStringLiteral("\n    ]\n}\n");
}

QString mealCsv(const FoodReport& meal, const MealTotals& t, bool dv, DailyValueRule rule,
                const QLocale& locale) {
    QString text =
        csvRecord(QStringList{QStringLiteral("nutrient"), QStringLiteral("unit"),
                              QStringLiteral("total"), QStringLiteral("foods_without_value")} +
                  dailyValueFields(dv, rule));
    const auto percents = percentTexts(meal.Z, rule, locale);
    for (const int i : reportNutrients()) {
        const auto s = static_cast<std::size_t>(i);
        text += csvRecord(QStringList{nutrientName(i), nutrientUnit(i), meal.Z[i].trimmed(),
                                      QString::number(t.lacking[s])} +
                          dailyValueFields(dv, rule, percents[s]));
    }
    return text;
}

// A line of the meal's listing: " 81.50 grams  Chef's salad (0.25 of 1.5 cup)", the weight
// right-aligned in `width`.
QString listingLine(const PortionSummary& p, qsizetype width) {
    QString line = u' ' + p.weight.rightJustified(width) + QStringLiteral(" grams  ") +
                   lineText(p.description);
    if (p.portion && !p.portion->svPortionUnit.isEmpty())
        line += QStringLiteral(" (%1 of %2)").arg(p.quantity, lineText(p.portion->svPortionUnit));
    while (line.endsWith(u' ')) line.chop(1);
    return line + u'\n';
}

QString mealText(FoodReport meal, const Meal& m, const ReportRequest& request,
                 const QLocale& locale) {
    qsizetype width = 0;
    for (const MealPortion& p : m.foods.portions())
        width = std::max(width, p.summary.weight.size());
    QStringList lines;
    for (const MealPortion& p : m.foods.portions()) lines << listingLine(p.summary, width);
    // A meal of a hundred thousand lines: the text is made in place, never copied.
    qsizetype size = 0;
    for (const int i : m.listing) size += lines[i].size();
    QString text;
    text.reserve(size + 4096);
    text += u' ' + meal.Z[slot::Description] + QStringLiteral(":\n");
    for (const int i : m.listing) text += lines[i];
    // A sum that misses some portions says so on its line.
    const int n = m.totals.portions;
    for (const int i : reportNutrients()) {
        const int missing = m.totals.lacking[static_cast<std::size_t>(i)];
        if (missing > 0 && missing < n)
            meal.Z[i] += QStringLiteral(" (%1 of %2 portions without a value)").arg(missing).arg(n);
    }
    text += u'\n';
    text += reportLines(meal, request.dv, request.dailyValues, locale);
    return text;
}

}  // namespace

ReportOutput mealReport(DataControl& data, const ReportRequest& request, const QLocale& locale) {
    const QString file = printableLine(request.mealFile);
    QByteArray bytes;
    if (const QString problem = readMeal(request.mealFile, bytes); !problem.isEmpty())
        return failure(kExitTableError, QStringLiteral("cannot read %1: %2").arg(file, problem));
    // Every line is read before the table is opened: a bad one ends the run with nothing printed.
    if (auto failed = forEachMealLine(
            bytes, file, [](int, const PortionedFood&) { return std::optional<ReportOutput>(); }))
        return *failed;
    Meal meal{MealFoods(data, locale, MealFoods::Shared::First),
              request.format != ReportFormat::Csv,
              {},
              {}};
    if (auto failed = forEachMealLine(bytes, file,
                                      [&meal](int, const PortionedFood& p) { return meal.add(p); }))
        return *failed;

    const MealTotals& totals = meal.totals;
    const int n = totals.portions;
    const QString title = QStringLiteral("Meal of %1 portion%2").arg(n).arg(n == 1 ? "" : "s");
    FoodReport sums = totalsReport(totals, title, locale);
    switch (request.format) {
        case ReportFormat::Json:
            return {0, mealJson(sums, meal, request.dailyValues, locale), meal.foods.notes()};
        case ReportFormat::Csv:
            return {0, mealCsv(sums, totals, request.dv, request.dailyValues, locale),
                    meal.foods.notes()};
        case ReportFormat::Text:
            break;
    }
    return {0, mealText(std::move(sums), meal, request, locale), meal.foods.notes()};
}

}  // namespace velmora
