// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/nationaltable.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "fooddb/jetlike.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmora::mkdb {

namespace {

constexpr double kKilojoulesPerKilocalorie = 4.184;

// Whether an amount is within the bound every builder applies (to become the shared amount
// reader's check).
bool withinAmountBound(double value) {
    return std::fabs(value) <= 1e15;
}

// Takes `description` unless a food has it already, ignoring case as the window's find step does
// (to become the builder's shared set of taken descriptions).
bool takeDescription(std::unordered_set<std::u32string>& taken, const QString& description) {
    return taken.insert(foldedCodePoints(description.toUtf8().toStdString())).second;
}

struct UnitName {
    const char16_t* name;
    Unit unit;
};
constexpr UnitName kUnitNames[] = {
    {u"g", Unit::Gram},
    {u"gram", Unit::Gram},
    {u"grams", Unit::Gram},
    {u"mg", Unit::Milligram},
    {u"milligram", Unit::Milligram},
    {u"milligrams", Unit::Milligram},
    {u"\u00B5g", Unit::Microgram},  // micro sign
    {u"\u03BCg", Unit::Microgram},  // Greek mu
    {u"ug", Unit::Microgram},
    {u"mcg", Unit::Microgram},
    {u"microgram", Unit::Microgram},
    {u"micrograms", Unit::Microgram},
    {u"kcal", Unit::Kilocalorie},
    {u"kilocalorie", Unit::Kilocalorie},
    {u"kilocalories", Unit::Kilocalorie},
    {u"kj", Unit::Kilojoule},
    {u"kilojoule", Unit::Kilojoule},
    {u"kilojoules", Unit::Kilojoule},
    {u"iu", Unit::InternationalUnit},
    {u"international unit", Unit::InternationalUnit},
    {u"international units", Unit::InternationalUnit},
};

// The power of ten of a mass unit in grams; nothing for the others.
std::optional<int> gramExponent(Unit unit) {
    switch (unit) {
        case Unit::Gram:
            return 0;
        case Unit::Milligram:
            return -3;
        case Unit::Microgram:
            return -6;
        default:
            return std::nullopt;
    }
}

Unit columnUnit(int column) {
    const std::string_view unit = kColumns[std::size_t(column)].unit;
    return unitNamed(QString::fromLatin1(unit.data(), qsizetype(unit.size())));
}

// `value` times 10^`exponent`, kept to 15 significant digits so that 0.07 mg stays 70 µg and
// does not become 70.00000000000001.
double scaled(double value, int exponent) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.15g", value * std::pow(10.0, exponent));
    return std::strtod(digits, nullptr);
}

// `value` in `from` as the column's unit `to`; nothing when the column cannot take it.
std::optional<double> inColumnUnit(double value, Unit from, Unit to, bool& fromKilojoules) {
    if (from == to && from != Unit::Unknown) return value;
    const auto fromExponent = gramExponent(from), toExponent = gramExponent(to);
    if (fromExponent && toExponent) return scaled(value, *fromExponent - *toExponent);
    if (from == Unit::Kilojoule && to == Unit::Kilocalorie) {
        fromKilojoules = true;
        return std::round(value / kKilojoulesPerKilocalorie);
    }
    return std::nullopt;
}

std::string_view utf8View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// A number written with a point, or with a decimal comma where the source writes one.
std::optional<double> decimalNumber(QStringView text, bool decimalComma) {
    char digits[64];
    if (text.size() >= qsizetype(sizeof digits)) return std::nullopt;  // no amount is this long
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80) return std::nullopt;
        digits[i] = decimalComma && c == u',' ? '.' : char(c);
    }
    return plainNumber(std::string_view(digits, std::size_t(text.size())));
}

}  // namespace

Unit unitNamed(QStringView text) {
    const QStringView name = text.trimmed();
    for (const UnitName& u : kUnitNames)
        if (name.compare(QStringView(u.name), Qt::CaseInsensitive) == 0) return u.unit;
    return Unit::Unknown;
}

std::optional<MarkedAmount> readMarkedAmount(QStringView text, bool decimalComma,
                                             QString& problem) {
    const QStringView t = text.trimmed();
    const auto is = [&](QStringView cell, const char* marker) {
        return cell.compare(QLatin1StringView(marker), Qt::CaseInsensitive) == 0;
    };
    if (t.isEmpty() || t == u"-" || t == u"N") return MarkedAmount{Marker::NotMeasured, 0};
    if (is(t, "traces") || is(t, "trace") || is(t, "tr")) return MarkedAmount{Marker::Trace, 0};
    if (t.startsWith(u'<')) {
        const QStringView limit = t.sliced(1).trimmed();
        if (is(limit, "LOD") || is(limit, "LOQ") || is(limit, "LOD or <LOQ") ||
            decimalNumber(limit, decimalComma))
            return MarkedAmount{Marker::BelowLimit, 0};
    }
    const bool estimate = t.size() > 2 && t.startsWith(u'(') && t.endsWith(u')');
    const auto value = decimalNumber(estimate ? t.sliced(1, t.size() - 2) : t, decimalComma);
    if (!value) {
        problem = QStringLiteral("\"%1\" is not an amount").arg(printable(t));
        return std::nullopt;
    }
    if (!withinAmountBound(*value)) {
        problem = QStringLiteral("\"%1\" is beyond the largest amount, 10^15").arg(printable(t));
        return std::nullopt;
    }
    return MarkedAmount{estimate ? Marker::Estimate : Marker::Value, *value};
}

NationalTable::NationalTable(NationalSource source, QString language, RowSink sink)
    : source_(std::move(source)), language_(std::move(language)), sink_(std::move(sink)) {
    for (int rank = 0; rank < int(source_.nutrients.size()); ++rank) {
        const std::string_view id = source_.nutrients[std::size_t(rank)].nutrient;
        rankOf_.insert(QString::fromUtf8(id.data(), qsizetype(id.size())), rank);
    }
}

void NationalTable::choose(const SourceAmount& amount, ChosenColumns& chosen) {
    const auto found = rankOf_.constFind(amount.nutrient);
    if (found == rankOf_.cend()) {
        unknown_.insert(amount.nutrient);
        return;
    }
    if (amount.amount.marker == Marker::NotMeasured) return;
    const int rank = *found;
    const int column = source_.nutrients[std::size_t(rank)].column;
    Chosen& c = chosen[std::size_t(column)];
    if (c.rank >= 0 && c.rank <= rank) return;  // one the source prefers is there already
    bool fromKilojoules = false;
    const auto value =
        inColumnUnit(amount.amount.value, amount.unit, columnUnit(column), fromKilojoules);
    if (!value) {
        unusableUnit_.insert(amount.nutrient);
        return;
    }
    c = Chosen{rank, *value, amount.amount.marker, fromKilojoules};
}

QString NationalTable::description(const NationalFood& food) {
    const FoodName* name = nullptr;
    for (const FoodName& n : food.names)
        if (!name && n.language == language_ && !n.text.isEmpty()) name = &n;
    if (!name) {
        for (const FoodName& n : food.names)
            if (!name && !n.text.isEmpty()) name = &n;
        if (name) ++otherLanguage_;
    }
    QString text = name ? name->text : food.code;
    if (!takeDescription(taken_, text)) {
        ++madeUnique_;
        do text += QStringLiteral(" [%1]").arg(food.code);
        while (!takeDescription(taken_, text));
    }
    return text;
}

void NationalTable::setNutrients(const ChosenColumns& chosen) {
    for (int column = kFirstNutrientColumn; column < kFirstNutrientColumn + kNutrientColumns;
         ++column) {
        const Chosen& c = chosen[std::size_t(column)];
        if (c.rank < 0) continue;
        row_[std::size_t(column)] = Cell::of(c.value);
        traces_ += c.marker == Marker::Trace;
        belowLimit_ += c.marker == Marker::BelowLimit;
        fromKilojoules_ += c.fromKilojoules;
    }
}

void NationalTable::add(const NationalFood& food) {
    ChosenColumns chosen{};
    for (const SourceAmount& amount : food.amounts) choose(amount, chosen);
    row_.fill(Cell{});
    setNutrients(chosen);
    const auto text = [&](int column, int slot, const QString& value) {
        if (value.isEmpty()) return;
        texts_[slot] = value.toUtf8();
        row_[std::size_t(column)] = Cell::of(utf8View(texts_[slot]));
    };
    text(columnIndex("Description"), 0, description(food));
    text(columnIndex("NDB_NO"), 1, food.code);
    text(columnIndex("CODE"), 2, food.group);
    constexpr std::array<std::pair<int, int>, 2> kMeasureColumns{
        {{columnIndex("GMWT_1"), columnIndex("GMWT_DESC1")},
         {columnIndex("GMWT_2"), columnIndex("GMWT_DESC2")}}};
    for (std::size_t m = 0; m < food.measures.size() && m < kMeasureColumns.size(); ++m) {
        row_[std::size_t(kMeasureColumns[m].first)] = Cell::of(food.measures[m].grams);
        text(kMeasureColumns[m].second, 3 + int(m), food.measures[m].text);
    }
    sink_(row_);
    ++foods_;
}

NationalResult NationalTable::result(const QStringList& readerNotes) const {
    QStringList parts{
        QStringLiteral("%1 foods").arg(foods_),
        QStringLiteral("%1 traces and %2 amounts below a limit stored as 0")
            .arg(traces_)
            .arg(belowLimit_),
        QStringLiteral("kcal from kJ for %1 foods").arg(fromKilojoules_),
        QStringLiteral("%1 descriptions made unique").arg(madeUnique_),
        QStringLiteral("%1 nutrients without a column skipped").arg(unknown_.size()),
    };
    if (otherLanguage_ > 0)
        parts << QStringLiteral("%1 foods without a name in \"%2\" named in their other language")
                     .arg(otherLanguage_)
                     .arg(language_);
    if (!unusableUnit_.isEmpty()) {
        QStringList ids(unusableUnit_.cbegin(), unusableUnit_.cend());
        ids.sort();
        parts << QStringLiteral("not measured: %1 in a unit their column cannot take")
                     .arg(printable(ids.join(u", ")));
    }
    parts << readerNotes;
    SourceRecord record{
        .name = source_.name,
        .version = source_.version,
        .citation = source_.citation,
        .energy = QStringLiteral("kcal as published"),
        .carbohydrate = source_.carbohydrate,
        .traces = traces_,
        .belowLimit = belowLimit_,
        .notes = source_.notes,
        .noticeRequired = source_.noticeRequired,
    };
    if (fromKilojoules_ > 0)
        record.energy += QStringLiteral(
                             "; for %1 foods with kJ only, kJ / 4.184 rounded to a "
                             "whole kcal")
                             .arg(fromKilojoules_);
    return {parts.join(QStringLiteral("; ")), record};
}

}  // namespace velmora::mkdb
