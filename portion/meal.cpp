// SPDX-License-Identifier: GPL-3.0-or-later
#include "portion/meal.h"

#include "common/numbertext.h"
#include "fooddb/datacontrol.h"

#include <functional>

namespace velmora {

namespace {

// Where a meal line's comment starts: at a "#" after an "@", a portion and blanks; -1 for none. A
// description may hold both "#" and "@", the comment too ("01001@5g # butter @ breakfast"). A
// portion is at most three words: "5g", "5 g", "2 x1", "2 x 1".
qsizetype commentStart(QStringView text) {
    for (qsizetype at = text.indexOf(u'@'); at >= 0; at = text.indexOf(u'@', at + 1)) {
        qsizetype i = at + 1;
        for (int words = 0; words <= 3; ++words) {
            while (i < text.size() && text[i].isSpace()) ++i;  // "01001 @ 5g # butter"
            if (i < text.size() && text[i] == u'#') return i;
            if (words == 3) break;
            while (i < text.size() && !text[i].isSpace() && text[i] != u'#' && text[i] != u'@') ++i;
        }
    }
    return -1;
}

}  // namespace

QString readMealLine(const QString& line, PortionedFood& out) {
    QString text = line.trimmed();
    if (const qsizetype hash = commentStart(text); hash >= 0) text.truncate(hash);
    const qsizetype at = text.lastIndexOf(u'@');
    if (at >= 0) text = text.left(at).trimmed() + u'@' + text.mid(at + 1).trimmed();
    const QString problem = readPortionedFood(text, out);
    if (problem.isEmpty() && out.grams == 0 && out.measure == 0) out.grams = 100;
    return problem;
}

void MealTotals::add(const MealPortion& p) {
    ++portions;
    grams += p.summary.grams;
    for (std::size_t i = slot::FirstNutrient; i <= slot::LastNutrient; ++i) {
        if (p.measured[i])
            sum[i] += p.amount[i];
        else
            ++lacking[i];
    }
}

std::size_t MealFoods::PortionHash::operator()(const PortionKey& k) const {
    return qHashMulti(0, k.food, k.grams, k.measure, k.count);
}

std::variant<int, ReportOutput> MealFoods::portion(const PortionedFood& p) {
    const auto food = this->food(p.food);
    if (const ReportOutput* failed = std::get_if<ReportOutput>(&food)) return *failed;
    const PortionKey key{std::get<int>(food), p.grams, p.measure, p.count};
    if (const auto known = known_.find(key); known != known_.end()) return known->second;

    const Food& f = foods_[std::size_t(key.food)];
    // The fields of the food as the restatement reads them.
    const FieldReader fields = [&f](int i) {
        const auto s = static_cast<std::size_t>(i);
        if (i == field::Description) return f.description;
        if (i == field::NdbNumber) return f.ndbNumber;
        if (i <= slot::LastNutrient)
            return f.measured[s] ? QString::fromStdString(roundTripDecimal(f.amount[s]))
                                 : QString();
        if (i == field::Measure1Grams) return f.measures[0].grams;
        if (i == field::Measure1Text) return f.measures[0].text;
        if (i == field::Measure2Grams) return f.measures[1].grams;
        if (i == field::Measure2Text) return f.measures[1].text;
        return QString();
    };
    const auto report = reportOf(fields, p, locale_);
    if (const ReportOutput* failed = std::get_if<ReportOutput>(&report)) return *failed;
    const FoodReport& r = std::get<FoodReport>(report);
    MealPortion m{summaryOf(r), {}, {}};
    for (int i = slot::FirstNutrient; i <= slot::LastNutrient; ++i) {
        const QString value = i == slot::FirstNutrient ? waterText(r) : r.Z[i];
        m.measured[static_cast<std::size_t>(i)] = !value.isEmpty();
        m.amount[static_cast<std::size_t>(i)] = Val(value);
    }
    portions_.push_back(std::move(m));
    const int number = int(portions_.size() - 1);
    known_.emplace(key, number);
    return number;
}

std::variant<int, ReportOutput> MealFoods::food(const QString& name) {
    if (const auto found = named_.constFind(name); found != named_.cend()) return *found;
    if (auto failed = findNamedFood(data_, name, notes_, shared_ == Shared::Refused))
        return *failed;
    const DataControl& data = data_;
    Food f{data.txtFields(field::Description),
           data.txtFields(field::NdbNumber),
           measuresOf([&data](int i) { return data.txtFields(i); }),
           {},
           {}};
    for (int i = slot::FirstNutrient; i <= slot::LastNutrient; ++i) {
        f.measured[static_cast<std::size_t>(i)] = !data.txtFields(i).isEmpty();
        f.amount[static_cast<std::size_t>(i)] = Val(data.txtFields(i));
    }
    foods_.push_back(std::move(f));
    const int number = int(foods_.size() - 1);
    named_.insert(name, number);
    return number;
}

}  // namespace velmora
