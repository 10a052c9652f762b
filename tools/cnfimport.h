// SPDX-License-Identifier: GPL-3.0-or-later
// The Canadian Nutrient File (Health Canada) in its CSV form, in one folder, in either of its two
// layouts, told apart by the foods' file name:
//  - Food_Name.csv, Nutrient_Name.csv, Nutrient_Amount.csv, Measure_Name.csv and
//    Measure_Weight_Conversion.csv: UTF-8 with a byte order mark, LF, quotes only where needed;
//    units spelled out ("Milligram"); a food's measures carry a type, of which only 6 (household
//    measure) is a measure; the weight is in grams;
//  - FOOD NAME.csv, NUTRIENT NAME.csv, NUTRIENT AMOUNT.csv, MEASURE NAME.csv and CONVERSION
//    FACTOR.csv (the 2015 release): Latin-1, CR LF, quoted fields that may span lines, rows that
//    end in empty columns; amounts name their nutrient by NutrientID, which is not always its
//    NutrientCode; a measure's factor is its weight in units of 100 g.
// Nutrient codes are SR numbers, so the SR mapping applies, with kJ (268) for a food without kcal.
#pragma once

#include <QString>
#include <QStringList>

#include "tools/nationaltable.h"

namespace velmora::mkdb {

// The paths of the files read that are there, for the check that the output is none of them.
QStringList cnfInputFiles(const QString& folder);

// Reads the release in `folder` and gives its foods to `sink` in the order of its foods' file,
// named in `language` ("en" or "fr"). Throws Fault.
NationalResult readCnf(const QString& folder, const QString& language, const RowSink& sink);

}  // namespace velmora::mkdb
