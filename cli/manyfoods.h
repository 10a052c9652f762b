// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report over several foods: the search list, foods ranked by a nutrient, foods side by
// side and a meal's totals, each as text, JSON or CSV.
#pragma once

#include "cli/reportcommand.h"

namespace velmora {

class DataControl;

// The value slot of a nutrient named as the report labels it without the unit words, or by its
// column ("potassium", "vitamin c", "FA_SAT"), case ignored; a part of one such name will do when
// it names one nutrient only. 0 and `problem` set when it names none or several.
int nutrientNamed(const QString& name, QString& problem);

ReportOutput searchList(DataControl& data, const ReportRequest& request);
ReportOutput rankFoods(DataControl& data, const ReportRequest& request, const QLocale& locale);
ReportOutput compareFoods(DataControl& data, const ReportRequest& request, const QLocale& locale);
ReportOutput mealReport(DataControl& data, const ReportRequest& request, const QLocale& locale);

}  // namespace velmora
