// SPDX-License-Identifier: GPL-3.0-or-later
// Finding one food by its description or NDB number without reading the whole list: the same
// food as the window's find step over its list, read through the table's indexes where it has
// them. Everything goes through the data control, so the table is opened, limited and reported
// on exactly as the window's.
#pragma once

#include "fooddb/tablequery.h"

#include <QString>
#include <QStringList>

#include <string>

namespace velmora {

class DataControl;

struct FoodMatch {
    bool found = false;
    bool byNdbNumber = false;
    // How many foods the find step takes for the text: by description, twins or descriptions
    // that differ only in case (or, where none is equal so, in accents); by NDB number, the foods
    // that carry it (downloads give some numbers twice). The first of them in the list is the one
    // found.
    int sharing = 0;
    // Found by NDB number: the descriptions of the others, the first kMostNamed of them.
    QStringList others;
};
inline constexpr qsizetype kMostNamed = 5;

// Makes the food `food` names the current record of `data` (its DatabaseName set): the first
// food, in the order of the window's list, whose description equals `food` as the find step
// compares (case ignored, else accents too), or else the first whose NDB number does. The answer is
// always findFoodInList's; the record source is left as the lookup set it. Throws RunTimeError as
// Refresh.
FoodMatch findFood(DataControl& data, const QString& food);

// The same the window's way: the whole list, then the find step over it.
FoodMatch findFoodInList(DataControl& data, const QString& food);

// What a user may have meant by a name no food has: up to `most` descriptions that contain every
// word of `food` (runs of letters and digits, compared folded as the search compares), those
// that begin with its words in turn first, then those that begin with its first word, then the
// others, each in the list's order; named in the list's order. Empty for a text without words.
// Throws RunTimeError as Refresh.
QStringList similarFoods(DataControl& data, const QString& food, qsizetype most = kMostNamed);

// The record sources of the candidates for `food`, in list order (for the index check): every
// food that can match is among them.
TableQuery descriptionCandidates(const QString& food);
TableQuery ndbCandidates(const QString& food);

}  // namespace velmora
