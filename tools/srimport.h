// SPDX-License-Identifier: GPL-3.0-or-later
// Import from an official USDA SR release in its ASCII form: FOOD_DES.txt, NUT_DATA.txt and
// WEIGHT.txt, fields separated by "^", text fields enclosed in "~", code page 1252, CRLF lines.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "tools/diagnostic.h"
#include "tools/foodtable.h"

namespace velmora::mkdb {

struct SrFile {
    QString name;  // used in messages
    QByteArray bytes;
};

// One row per food of FOOD_DES, in its order. Every file is checked whole: a short row, a value
// that should be a number and is not, a food in NUT_DATA or WEIGHT that FOOD_DES lacks, a food or
// nutrient given twice, or a byte that code page 1252 leaves undefined is an error.
std::optional<Diagnostic> srTableFromFiles(const SrFile& foodDes, const SrFile& nutData,
                                           const SrFile& weight, FoodTable& table);

// The paths of FOOD_DES.txt, NUT_DATA.txt and WEIGHT.txt in `folder`, their names matched
// ignoring case, as releases differ in the case of ".txt".
QStringList srReleaseFiles(const QString& folder);

// The same as srTableFromFiles, reading the three files srReleaseFiles names.
std::optional<Diagnostic> readSrRelease(const QString& folder, FoodTable& table);

}  // namespace velmora::mkdb
