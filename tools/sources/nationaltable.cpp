// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/nationaltable.h"

#include "tools/formats/inputfile.h"
#include "tools/formats/recordscanner.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora::mkdb {

namespace {

constexpr double kKilojoulesPerKilocalorie = 4.184;

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

// `value` in `from` as the column's unit `to`; nothing when the column cannot take it.
std::optional<double> inColumnUnit(double value, Unit from, Unit to, bool& fromKilojoules) {
    if (from == to && from != Unit::Unknown) return value;
    const auto fromExponent = gramExponent(from), toExponent = gramExponent(to);
    if (fromExponent && toExponent) return timesPowerOfTen(value, *fromExponent - *toExponent);
    if (from == Unit::Kilojoule && to == Unit::Kilocalorie) {
        fromKilojoules = true;
        return std::round(value / kKilojoulesPerKilocalorie);
    }
    return std::nullopt;
}

std::string_view utf8View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

}  // namespace

// Kept to 15 significant digits so that 0.07 mg stays 70 µg and does not become
// 70.00000000000001.
double timesPowerOfTen(double value, int exponent) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.15g", value * std::pow(10.0, exponent));
    return std::strtod(digits, nullptr);
}

Unit unitNamed(QStringView text) {
    const QStringView name = text.trimmed();
    for (const UnitName& u : kUnitNames)
        if (name.compare(QStringView(u.name), Qt::CaseInsensitive) == 0) return u.unit;
    return Unit::Unknown;
}

QString conversionProblem(std::span<const NutrientMapping> mapping, QStringView nutrient, Unit unit,
                          double value) {
    // No conversion multiplies by more than 10^6 (g to µg).
    if (std::fabs(value) <= kLargestAmount / 1e6) return {};
    for (const NutrientMapping& m : mapping) {
        if (nutrient != QLatin1StringView(m.nutrient.data(), qsizetype(m.nutrient.size())))
            continue;
        bool fromKilojoules = false;
        const auto converted = inColumnUnit(value, unit, columnUnit(m.column), fromKilojoules);
        if (converted && !(std::fabs(*converted) <= kLargestAmount))
            return QStringLiteral("is out of range once in %1 (beyond ±10^%2)")
                .arg(QLatin1StringView(kColumns[std::size_t(m.column)].unit))
                .arg(kLargestAmountPower);
        return {};
    }
    return {};
}

std::optional<MarkedAmount> readMarkedAmount(std::string_view text, char decimalPoint,
                                             QString& problem) {
    const std::string_view t = withoutBlanks(text);
    if (t.empty() || t == "-" || t == "N") return MarkedAmount{Marker::NotMeasured, 0};
    for (const std::string_view trace : {"traces", "trace", "tr"})
        if (sameName(t, trace)) return MarkedAmount{Marker::Trace, 0};
    if (t.front() == '<') {
        const std::string_view limit = withoutBlanks(t.substr(1));
        for (const std::string_view named : {"LOD", "LOQ", "LOD or <LOQ"})
            if (sameName(limit, named)) return MarkedAmount{Marker::BelowLimit, 0};
        if (!limit.empty() && readAmount(limit, decimalPoint).problem.isEmpty())
            return MarkedAmount{Marker::BelowLimit, 0};
    }
    const bool estimate = t.size() > 2 && t.front() == '(' && t.back() == ')';
    const Amount amount = readAmount(estimate ? t.substr(1, t.size() - 2) : t, decimalPoint);
    if (!amount.problem.isEmpty()) {
        problem = quoted(t) + u' ' + amount.problem;
        return std::nullopt;
    }
    return MarkedAmount{estimate ? Marker::Estimate : Marker::Value, amount.value};
}

NationalTable::NationalTable(NationalSource source, QString language, RowSink sink)
    : source_(std::move(source)), language_(std::move(language)), sink_(std::move(sink)) {
    for (int rank = 0; rank < int(source_.nutrients.size()); ++rank) {
        const std::string_view id = source_.nutrients[std::size_t(rank)].nutrient;
        rankOf_.insert(QString::fromUtf8(id.data(), qsizetype(id.size())), rank);
    }
}

void NationalTable::choose(int rank, const SourceAmount& amount, ChosenColumns& chosen) {
    if (rank < 0) {
        unknown_.insert(amount.nutrient);
        return;
    }
    if (amount.amount.marker == Marker::NotMeasured) return;
    const int column = source_.nutrients[std::size_t(rank)].column;
    Chosen& c = chosen[std::size_t(column - kFirstNutrientColumn)];
    if (c.rank >= 0 && c.rank <= rank) return;  // one the source prefers is there already
    bool fromKilojoules = false;
    const auto value =
        inColumnUnit(amount.amount.value, amount.unit, columnUnit(column), fromKilojoules);
    if (!value) {
        unusableUnit_.insert(amount.nutrient);
        return;
    }
    c = Chosen{*value, std::int16_t(rank), amount.amount.marker, fromKilojoules};
}

std::string_view NationalTable::description(const NationalFood& food) {
    const FoodName* name = nullptr;
    for (const FoodName& n : food.names)
        if (!name && n.language == language_ && !n.text.isEmpty()) name = &n;
    if (!name) {
        for (const FoodName& n : food.names)
            if (!name && !n.text.isEmpty()) name = &n;
        if (name) ++otherLanguage_;
    }
    const QByteArray text = (name ? name->text : food.code).toUtf8();
    const QByteArray code = food.code.toUtf8();
    const NameSuffix suffix{" [", utf8View(code), "]"};
    return pool_.view(names_.take(utf8View(text), suffix, suffix));
}

void NationalTable::setNutrients(const ChosenColumns& chosen) {
    for (int column = kFirstNutrientColumn; column < kFirstNutrientColumn + kNutrientColumns;
         ++column) {
        const Chosen& c = chosen[std::size_t(column - kFirstNutrientColumn)];
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
    write(food, chosen);
}

std::size_t NationalTable::keep(NationalFood food) {
    ChosenColumns chosen{};
    for (const SourceAmount& amount : food.amounts) choose(amount, chosen);
    food.amounts = {};
    kept_.push_back({std::move(food), chosen});
    return kept_.size() - 1;
}

void NationalTable::addKept() {
    for (const Kept& k : kept_) write(k.food, k.chosen);
    kept_ = {};
}

void NationalTable::write(const NationalFood& food, const ChosenColumns& chosen) {
    row_.fill(Cell{});
    setNutrients(chosen);
    const auto text = [&](int column, int slot, const QString& value) {
        if (value.isEmpty()) return;
        texts_[slot] = value.toUtf8();
        row_[std::size_t(column)] = Cell::of(utf8View(texts_[slot]));
    };
    row_[std::size_t(columnIndex("Description"))] = Cell::of(description(food));
    text(columnIndex("NDB_NO"), 0, food.code);
    text(columnIndex("CODE"), 1, food.group);
    constexpr std::array<std::pair<int, int>, 2> kMeasureColumns{
        {{columnIndex("GMWT_1"), columnIndex("GMWT_DESC1")},
         {columnIndex("GMWT_2"), columnIndex("GMWT_DESC2")}}};
    for (std::size_t m = 0; m < food.measures.size() && m < kMeasureColumns.size(); ++m) {
        row_[std::size_t(kMeasureColumns[m].first)] = Cell::of(food.measures[m].grams);
        text(kMeasureColumns[m].second, 2 + int(m), food.measures[m].text);
    }
    sink_(row_);
    ++foods_;
}

QStringList NationalTable::unheld(const QStringList& held, const QString& file) const {
    QStringList warnings;
    for (int column = kFirstNutrientColumn; column < kFirstNutrientColumn + kNutrientColumns;
         ++column) {
        QStringList ids;
        bool found = false;
        for (const NutrientMapping& m : source_.nutrients) {
            if (m.column != column) continue;
            ids << latin1(m.nutrient);
            found = found || held.contains(ids.last(), Qt::CaseInsensitive);
        }
        if (!ids.isEmpty() && !found)
            warnings << QStringLiteral("%1: no column for %2 (%3): not measured")
                            .arg(printableLine(file),
                                 latin1(kColumns[std::size_t(column)].nutrient),
                                 printable(ids.join(QStringLiteral(" or "))));
    }
    return warnings;
}

Built NationalTable::result(const QStringList& readerNotes) const {
    QStringList parts{
        counted(foods_, u"food"),
        counted(traces_, u"trace") + QStringLiteral(" and ") + counted(belowLimit_, u"amount") +
            QStringLiteral(" below a limit stored as 0"),
        QStringLiteral("kcal from kJ for ") + counted(fromKilojoules_, u"food"),
        counted(names_.madeUnique(), u"description") + QStringLiteral(" made unique"),
        counted(unknown_.size(), u"nutrient") + QStringLiteral(" without a column skipped"),
    };
    if (otherLanguage_ > 0)
        parts << counted(otherLanguage_, u"food") +
                     QStringLiteral(" without a name in \"%1\" named in the other language")
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
        .shortName = source_.shortName,
        .version = source_.version,
        .citation = source_.citation,
        .energy = QStringLiteral("kcal as published"),
        .carbohydrate = source_.carbohydrate,
        .traces = traces_,
        .belowLimit = belowLimit_,
        .notes = source_.notes,
        .noticeRequired = source_.noticeRequired,
        .zerosTested = false,  // the agencies' zeros are traces, limits or their own 0
    };
    if (fromKilojoules_ > 0)
        record.energy += QStringLiteral("; for ") + counted(fromKilojoules_, u"food") +
                         QStringLiteral(" with kJ only, kJ / 4.184 rounded to a whole kcal");
    return {parts.join(QStringLiteral("; ")), record, {}};
}

}  // namespace velmora::mkdb
