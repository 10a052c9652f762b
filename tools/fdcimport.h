// SPDX-License-Identifier: GPL-3.0-or-later
// Import from a FoodData Central download in its CSV form: the folder holding food.csv,
// nutrient.csv and food_nutrient.csv, with food_portion.csv, measure_unit.csv, food_category.csv
// and one file per food type beside them. Columns are found by their header names, as releases
// add columns. Only what the table needs is kept per food, so a full download of about half a
// million foods and 26 million amounts is read in bounded memory.
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string_view>

#include "tools/foodtable.h"

namespace velmora::mkdb {

// The food types that are foods, in the order the table takes them, and their places in it.
inline constexpr std::array<std::string_view, 4> kFdcTypes{"sr_legacy_food", "foundation_food",
                                                           "survey_fndds_food", "branded_food"};
enum FdcType : std::uint8_t { kSrLegacyFood, kFoundationFood, kSurveyFood, kBrandedFood };

struct FdcCounts {
    std::array<qsizetype, kFdcTypes.size()> foods{};
    qsizetype otherFoods = 0;       // food.csv rows of other (or unselected) types
    qsizetype orphanAmounts = 0;    // food_nutrient.csv rows of no food that is read
    qsizetype repeatedAmounts = 0;  // a second amount of a food and nutrient: the first is kept
    qsizetype madeUnique = 0;       // descriptions given a suffix to tell them apart
    qsizetype sharedNumbers = 0;    // NDB numbers that more than one food has

    qsizetype total() const;
    QString toString() const;  // the counts line
};

// The files of a download that are read, as paths in `folder`: the three it must have first.
QStringList fdcInputFiles(const QString& folder);

// Reads the download in `folder`, the types whose bits are set in `types` (bit i: kFdcTypes[i]),
// and gives its foods to `sink` in the table's order: by type, then by fdc_id, each description
// unique as the find step compares them (UniqueNames). A file of the download that is there but
// cannot be read (a symbolic link to nothing among them) is refused, optional or not. Throws
// Fault.
FdcCounts readFdcDownload(const QString& folder, unsigned types, const RowSink& sink);

}  // namespace velmora::mkdb
