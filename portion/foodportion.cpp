// SPDX-License-Identifier: GPL-3.0-or-later
#include "portion/foodportion.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"
#include "fooddb/foodcolumns.h"
#include "fooddb/foodlookup.h"

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
    // Blanks between the number and its unit as people write them: "118 g", "1.5 x1", "2 x 1".
    QString problem;
    if (portion.endsWith(u'g')) {
        problem = readAmount(portion.chopped(1).trimmed(), out.grams);
    } else {
        const qsizetype x = portion.lastIndexOf(u'x');
        const QString measure = portion.mid(x + 1).trimmed();
        if (x < 0 || (measure != u"1" && measure != u"2"))
            return QStringLiteral("'%1' is no portion such as 45g, 0.25x1 or 3x2")
                .arg(printable(portion));
        out.measure = measure.toInt();
        problem = readAmount(portion.left(x).trimmed(), out.count);
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

namespace {

// The lines of a failure's message, without the program's name.
QStringList failureLines(const ReportOutput& failed) {
    QStringList lines = failed.err.split(u'\n', Qt::SkipEmptyParts);
    const QString program = QStringLiteral("velmora-report: ");
    for (QString& line : lines)
        if (line.startsWith(program)) line.remove(0, program.size());
    return lines;
}

}  // namespace

QString failureMessage(const ReportOutput& failed) {
    return failureLines(failed).value(0);
}

QStringList failureNotes(const ReportOutput& failed) {
    return failureLines(failed).mid(1);
}

std::optional<ReportOutput> findNamedFood(DataControl& data, const QString& food, QString& err,
                                          bool refuseShared) {
    const FoodMatch match = findFood(data, food);
    if (!match.found) {
        ReportOutput failed = failure(kExitNotFound, QStringLiteral("no food has the description "
                                                                    "or NDB number '%1'")
                                                         .arg(printable(food)));
        QStringList similar = similarFoods(data, food);
        for (QString& description : similar) description = u'\'' + printable(description) + u'\'';
        if (!similar.isEmpty())
            failed.err +=
                failure(0, QStringLiteral("did you mean: ") + similar.join(QStringLiteral(", ")))
                    .err;
        return failed;
    }
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

PortionSummary summaryOf(const FoodReport& r) {
    return {r.Z[slot::Description], r.ndbNumber, r.Z[slot::TotalWeight], r.Z[slot::Quantity],
            r.vPortionFactor * 100, r.portion};
}

QString nutrientName(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].nutrient);
}

QString nutrientUnit(int slot) {
    return latin1(kFoodColumns[static_cast<std::size_t>(slot)].unit);
}

}  // namespace velmora
