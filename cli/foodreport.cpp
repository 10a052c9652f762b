// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/foodreport.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "dailyvalues/dailyvalues.h"
#include "fooddb/datacontrol.h"
#include "fooddb/foodcolumns.h"
#include "fooddb/foodlookup.h"
#include "report/reportlines.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

// The portion is kept in single precision, as the window's dialog keeps it: a weight that would
// become infinite or zero there is refused here too.
bool fitsPortion(double x) {
    return std::isfinite(x) && x > 0 && x <= std::numeric_limits<float>::max() &&
           static_cast<float>(x) > 0;
}

}  // namespace

ReportOutput failure(int status, const QString& message) {
    return {status, {}, QStringLiteral("velmora-report: ") + message + u'\n'};
}

QString readAmount(const QString& text, double& x) {
    const QByteArray utf8 = text.toUtf8();
    x = 0;
    const auto [end, ec] = std::from_chars(utf8.cbegin(), utf8.cend(), x);
    const bool outOfRange = ec == std::errc::result_out_of_range || std::isinf(x);
    if (utf8.isEmpty() || end != utf8.cend() || (ec != std::errc() && !outOfRange) || std::isnan(x))
        return QStringLiteral("'%1' is not a number such as 12.5").arg(printable(text));
    if (!outOfRange && !(x > 0)) return QStringLiteral("'%1' is not positive").arg(printable(text));
    if (outOfRange || !fitsPortion(x))
        return QStringLiteral("'%1' is out of range").arg(printable(text));
    return {};
}

QString readPortionedFood(const QString& text, PortionedFood& out) {
    const qsizetype at = text.lastIndexOf(u'@');
    out = PortionedFood{at < 0 ? text : text.left(at)};
    if (out.food.isEmpty()) return QStringLiteral("no food before '@'");
    const QString portion = at < 0 ? QString() : text.mid(at + 1);
    if (portion.isEmpty()) return {};
    QString problem;
    if (portion.endsWith(u'g')) {
        problem = readAmount(portion.chopped(1), out.grams);
    } else {
        const qsizetype x = portion.lastIndexOf(u'x');
        const QString measure = portion.mid(x + 1);
        if (x < 0 || (measure != u"1" && measure != u"2"))
            return QStringLiteral("'%1' is no portion such as 45g, 0.25x1 or 3x2")
                .arg(printable(portion));
        out.measure = measure.toInt();
        problem = readAmount(portion.left(x), out.count);
    }
    return problem.isEmpty() ? QString() : QStringLiteral("the portion ") + problem;
}

std::variant<FoodReport, ReportOutput> reportOf(const FieldReader& fields, const PortionedFood& p,
                                                const QLocale& locale) {
    FoodReport r;
    r.ndbNumber = fields(field::NdbNumber);
    ValueArray S;
    FillArray_S(S, fields);
    setHundredGramValues(S, r.Z);
    const QString& description = r.Z[slot::Description];
    if (p.grams > 0) {
        r.portion = PortionState{static_cast<float>(p.grams), {}, 0};
    } else if (p.measure > 0) {
        const HouseholdMeasure m = measuresOf(fields)[static_cast<std::size_t>(p.measure - 1)];
        if (m.text.isEmpty() || !(Val(m.grams) > 0))
            return failure(kExitNotFound, QStringLiteral("'%1' has no household measure %2")
                                              .arg(printable(description))
                                              .arg(p.measure));
        const PortionEntry entry = measurePortion(m, p.count);
        if (!fitsPortion(entry.grams))
            return failure(kExitUsage, QStringLiteral("%1 of '%2' is a weight out of range")
                                           .arg(printable(m.text), printable(description)));
        r.portion = PortionState{static_cast<float>(entry.grams), entry.unit,
                                 static_cast<float>(entry.quantity)};
    }
    if (r.portion) restatePortion(fields, *r.portion, S, r.Z, r.vPortionFactor, locale);
    return r;
}

namespace {

// The find step cannot tell them apart: say so, and how to name the others; or, `refused`, how
// to name one of them. The found one is the current record.
QString sharingNote(const DataControl& data, const FoodMatch& match, const QString& food,
                    bool refused) {
    const QString first =
        refused ? QString() : QStringLiteral("; this is the first of them in the list");
    const QString which = refused ? QStringLiteral("one") : QStringLiteral("another");
    if (!match.byNdbNumber)
        return QStringLiteral("%1 foods have the description '%2'%3 (name %4 by its NDB number)")
            .arg(match.sharing)
            .arg(printable(food), first, which);
    QStringList others;
    if (refused) others << u'\'' + printable(data.txtFields(field::Description)) + u'\'';
    for (const QString& other : match.others) others << u'\'' + printable(other) + u'\'';
    if (const qsizetype more = match.sharing - (refused ? 0 : 1) - others.size(); more > 0)
        others << QStringLiteral("%1 more").arg(more);
    return QStringLiteral("%1 foods have the NDB number '%2'%3 (name %4 by its description: %5)")
        .arg(match.sharing)
        .arg(printable(food), first, which, others.join(QStringLiteral(", ")));
}

}  // namespace

QString failureMessage(const ReportOutput& failed) {
    QString message = failed.err.section(u'\n', -2, -2);
    const QString program = QStringLiteral("velmora-report: ");
    return message.startsWith(program) ? message.sliced(program.size()) : message;
}

std::optional<ReportOutput> findNamedFood(DataControl& data, const QString& food, QString& err,
                                          bool refuseShared) {
    const FoodMatch match = findFood(data, food);
    if (!match.found)
        return failure(kExitNotFound, QStringLiteral("no food has the description or NDB number "
                                                     "'%1'")
                                          .arg(printable(food)));
    if (match.sharing > 1 && refuseShared)
        return failure(kExitNotFound, sharingNote(data, match, food, true));
    if (match.sharing > 1) err += failure(0, sharingNote(data, match, food, false)).err;
    return std::nullopt;
}

std::variant<FoodReport, ReportOutput> lookUpFood(DataControl& data, const PortionedFood& p,
                                                  const QLocale& locale, QString& err) {
    if (auto failed = findNamedFood(data, p.food, err)) return *failed;
    return reportOf([&data](int i) { return data.txtFields(i); }, p, locale);
}

QString waterText(const FoodReport& r) {
    const QString& water = r.Z[1];
    if (water.isEmpty() || !r.portion) return water;
    return roundedText(Val(water) * r.vPortionFactor, 3);
}

QString reportLines(const FoodReport& r, bool dv, DailyValueRule rule, const QLocale& locale) {
    // Texts from the table, bound for a terminal: no escape sequence or line break of theirs may
    // act there.
    ValueArray Z = r.Z;
    Z[slot::Description] = lineText(Z[slot::Description]);
    Z[slot::Unit] = lineText(Z[slot::Unit]);
    QString svPortionDescrip;
    DailyValueState state;
    state.rule = rule;
    QString text = dv ? annotatedReport(Z, state, svPortionDescrip, locale)
                      : reportText(Z, svPortionDescrip, locale);
    text.replace(CR, QStringLiteral("\n"));
    if (!text.endsWith(u'\n')) text += u'\n';
    return text;
}

PortionSummary summaryOf(const FoodReport& r) {
    return {r.Z[slot::Description], r.ndbNumber, r.Z[slot::TotalWeight], r.Z[slot::Quantity],
            r.vPortionFactor * 100, r.portion};
}

QJsonObject summaryJson(const PortionSummary& p) {
    QJsonObject food;
    food[QStringLiteral("description")] = p.description;
    food[QStringLiteral("ndb_number")] = p.ndbNumber.isEmpty() ? QJsonValue() : p.ndbNumber;
    food[QStringLiteral("grams")] = roundHalfAway(p.grams, 2);
    if (p.portion && !p.portion->svPortionUnit.isEmpty()) {
        // The quantity as the report's header writes it, as a number.
        food[QStringLiteral("quantity")] = Val(numberText(p.portion->vPortionQuantity, 7));
        food[QStringLiteral("unit")] = p.portion->svPortionUnit;
    }
    return food;
}

QJsonObject reportJson(const FoodReport& r, DailyValueRule rule, const QLocale& locale) {
    // The percents as the annotated report computes and rounds them.
    DailyValueState dv;
    dv.rule = rule;
    QString header;
    annotatedReport(r.Z, dv, header, locale);

    QJsonObject food = summaryJson(summaryOf(r));
    // Said only of the table that is not the default, whose output stays as it always was.
    if (rule != DailyValueRule::Fda1993)
        food[QStringLiteral("daily_values")] = dailyValueRuleName(rule);
    QJsonArray nutrients;
    for (int i = 1; i <= 31; ++i) {
        const FoodColumn& column = kFoodColumns[static_cast<std::size_t>(i)];
        const QString amount = i == 1 ? waterText(r) : r.Z[i];
        // An empty text was not measured: null, never 0.
        const QJsonValue value = amount.isEmpty() ? QJsonValue() : QJsonValue(Val(amount));
        QJsonObject nutrient{{QStringLiteral("label"), latin1(column.nutrient)},
                             {QStringLiteral("unit"), latin1(column.unit)},
                             {QStringLiteral("value"), value}};
        if (hasDailyValue(rule, i))
            nutrient[QStringLiteral("percent_daily_value")] =
                value.isNull() ? QJsonValue() : QJsonValue(dv.vPercentDV[i]);
        nutrients.append(nutrient);
    }
    food[QStringLiteral("nutrients")] = nutrients;
    return food;
}

QString jsonText(const QJsonValue& value) {
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(doc.toJson(QJsonDocument::Indented));
}

std::vector<int> reportNutrients() {
    std::vector<int> nutrients;
    for (const ReportLine& line : kReportLines)
        if (isNutrientLine(line)) nutrients.push_back(line.slot);
    return nutrients;
}

QString nutrientName(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].nutrient);
}

QString nutrientUnit(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].unit);
}

std::array<QString, kValueSlots> percentTexts(const ValueArray& Z, DailyValueRule rule,
                                              const QLocale& locale) {
    DailyValueState dv;
    dv.rule = rule;
    QString header;
    annotatedReport(Z, dv, header, locale);
    std::array<QString, kValueSlots> texts;
    for (const DailyValueRow& row : dailyValues(rule))
        if (!Z[row.index].isEmpty()) texts[row.index] = numberText(dv.vPercentDV[row.index]);
    return texts;
}

QString csvRecord(const QStringList& fields) {
    QString record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) record += u',';
        // Escaped as the text report escapes: CSV is read on terminals too, and no line break is
        // left to quote.
        QString f = lineText(fields[i]);
        if (f.contains(u',') || f.contains(u'"')) {
            f.replace(u'"', QStringLiteral("\"\""));
            f = u'"' + f + u'"';
        }
        record += f;
    }
    return record + QStringLiteral("\r\n");
}

QStringList dailyValueFields(bool dv, DailyValueRule rule, const std::optional<QString>& percent) {
    if (!dv) return {};
    QStringList fields{percent.value_or(QStringLiteral("percent_daily_value"))};
    // As in JSON, only the table that is not the default is named.
    if (rule != DailyValueRule::Fda1993)
        fields << (percent ? dailyValueRuleName(rule) : QStringLiteral("daily_values"));
    return fields;
}

QString reportCsv(const FoodReport& r, bool dv, DailyValueRule rule, const QLocale& locale) {
    QString csv = csvRecord(
        QStringList{QStringLiteral("nutrient"), QStringLiteral("unit"), QStringLiteral("amount")} +
        dailyValueFields(dv, rule));
    const auto percents = percentTexts(r.Z, rule, locale);
    for (const int i : reportNutrients())
        csv += csvRecord(QStringList{nutrientName(i), nutrientUnit(i), r.Z[i].trimmed()} +
                         dailyValueFields(dv, rule, percents[i]));
    return csv;
}

QString lineText(const QString& text) {
    return printableLine(text);
}

}  // namespace velmora
