// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables published as .xlsx workbooks, one reader each, all handing their foods
// to a NationalTable (tools/nationaltable.h):
//  - CoFID, the UK's McCance and Widdowson's integrated dataset: the food data spread over the
//    sheets numbered from "1.3" on (Proximates, Inorganics, Vitamins, Vitamin Fractions, the
//    fatty acids), each with seven identifying columns and three header rows (label, tagname,
//    short label); joined on Food Code in the order the rows stand.
//  - BLS, the German Bundeslebensmittelschlüssel: one sheet, each nutrient in a column headed
//    "TAG name [unit/100g]", followed by its reference columns.
//  - AFCD, the Australian Food Composition Database "Nutrient file": the per-100 g sheet, columns
//    headed by a name with the unit in parentheses; no tagnames, so mapped by the header's name.
// A refusal names the file, the sheet and the row (and the cell where one is at fault).
#pragma once

#include <QString>

#include "tools/nationaltable.h"

namespace velmora::mkdb {

// Each reads the workbook at `path`, names its foods in `language` and gives them to `sink` in
// the workbook's order. Throw Fault.
NationalResult readCofid(const QString& path, const QString& language, const RowSink& sink);
NationalResult readBls(const QString& path, const QString& language, const RowSink& sink);
NationalResult readAfcd(const QString& path, const QString& language, const RowSink& sink);

}  // namespace velmora::mkdb
