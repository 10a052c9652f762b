// SPDX-License-Identifier: GPL-3.0-or-later
// A meal's totals: its lines read, each food looked up and each distinct portion restated once,
// the amounts summed as the portion reports show them. velmora-report's --meal and the builder's
// recipes both total their lines here, so a recipe holds what the meal of its lines does.
#pragma once

#include "portion/foodportion.h"

#include <QHash>

#include <array>
#include <bitset>
#include <unordered_map>
#include <variant>
#include <vector>

namespace velmora {

class DataControl;

// A line of a meal: "FOOD" or "FOOD@PORTION", with blanks around each and a comment after the
// portion ("01001@5g # butter") left out; a food without a portion counts with 100 grams. The
// empty text, or what is wrong with it.
QString readMealLine(const QString& line, PortionedFood& out);

// A distinct portion of a meal, a food and an amount: what the totals and the listing take of its
// report.
struct MealPortion {
    PortionSummary summary;
    std::array<double, slot::LastNutrient + 1> amount{};  // as the report shows them
    std::bitset<slot::LastNutrient + 1> measured;
};

// Each nutrient's sum over the portions that have a value, as their reports show it.
struct MealTotals {
    int portions = 0;
    std::array<double, slot::LastNutrient + 1> sum{};
    std::array<int, slot::LastNutrient + 1> lacking{};  // the portions without a value
    double grams = 0;

    void add(const MealPortion& p);
};

// The foods and portions of meals: each food looked up once however often it is named, each
// distinct portion restated once.
class MealFoods {
  public:
    // What a name that several foods share stands for: the first of them in the list, with a note
    // that says so; or nothing, a failure.
    enum class Shared { First, Refused };

    MealFoods(DataControl& data, const QLocale& locale, Shared shared)
        : data_(data), locale_(locale), shared_(shared) {}

    // The number of the portion `p`, or the failure: no such food, a measure it lacks, a weight
    // out of range.
    std::variant<int, ReportOutput> portion(const PortionedFood& p);
    const MealPortion& operator[](int i) const { return portions_[std::size_t(i)]; }
    const std::vector<MealPortion>& portions() const { return portions_; }

    // Notes for standard error: the names that several foods share.
    const QString& notes() const { return notes_; }

    // A food has come into the table that `name` may find: it is looked up again when next named
    // (it may have found another food by the same NDB number).
    void forget(const QString& name) { named_.remove(name); }

  private:
    // A food as the restatement reads it: its amounts as the numbers their texts read as, all that
    // the restatement reads of them.
    struct Food {
        QString description, ndbNumber;
        HouseholdMeasures measures;
        std::array<double, slot::LastNutrient + 1> amount{};
        std::bitset<slot::LastNutrient + 1> measured;
    };
    struct PortionKey {
        int food;
        double grams;
        int measure;
        double count;
        bool operator==(const PortionKey&) const = default;
    };
    struct PortionHash {
        std::size_t operator()(const PortionKey& k) const;
    };

    std::variant<int, ReportOutput> food(const QString& name);

    DataControl& data_;
    const QLocale& locale_;
    Shared shared_;
    std::vector<Food> foods_;
    // By the name as given: each spelling of a shared name gets its note.
    QHash<QString, int> named_;
    std::unordered_map<PortionKey, int, PortionHash> known_;
    std::vector<MealPortion> portions_;
    QString notes_;
};

}  // namespace velmora
