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
