// SPDX-License-Identifier: GPL-3.0-or-later
// Import from an official USDA SR release in its ASCII form: FOOD_DES.txt, NUT_DATA.txt and
// WEIGHT.txt, fields separated by "^", text fields enclosed in "~", code page 1252 (or UTF-8),
// CRLF lines.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "tools/foodtable.h"

namespace velmora::mkdb {

struct SrFile {
    QString name;  // used in messages
    QByteArray bytes;
};

// One row per food of FOOD_DES, in its order, given to `sink`; returns their number. Every file
// is checked whole: a short row, a value that should be a number and is not, a food in NUT_DATA
// or WEIGHT that FOOD_DES lacks, a food, nutrient or measure given twice, an empty description,
// no foods, or a byte that the file's encoding does not allow is a Fault. A file whose first
// non-ASCII character is valid UTF-8 (or that starts with a UTF-8 byte order mark) is read as
// UTF-8, and `notes` says so; any other as code page 1252.
qsizetype srTableFromFiles(const SrFile& foodDes, const SrFile& nutData, const SrFile& weight,
                           const RowSink& sink, QStringList* notes = nullptr);

// The paths of FOOD_DES.txt, NUT_DATA.txt and WEIGHT.txt in `folder`, their names matched
// ignoring case, as releases differ in the case of ".txt".
QStringList srReleaseFiles(const QString& folder);

// The same as srTableFromFiles, reading the three files srReleaseFiles names.
qsizetype readSrRelease(const QString& folder, const RowSink& sink, QStringList* notes = nullptr);

}  // namespace velmora::mkdb
