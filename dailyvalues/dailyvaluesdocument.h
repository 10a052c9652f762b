// SPDX-License-Identifier: GPL-3.0-or-later
// The information document on the values the percents are of, for a rule that the stored
// document (the FDA's values of 1993) does not describe.
#pragma once

#include "dailyvalues/dailyvalues.h"

#include <QByteArray>

namespace velmora {

// An RTF document in 7-bit ASCII in the stored document's style: a title, what the values are,
// the list of `rule`'s values with their units as the rule states them (made from
// referenceValues, so it lists what the percents use), the notes on its energy basis and on
// values the reports cannot use, and its source and date. Empty for 1993.
QByteArray dailyValuesDocument(DailyValueRule rule);

}  // namespace velmora
