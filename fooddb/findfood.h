// SPDX-License-Identifier: GPL-3.0-or-later
// Moving to a food by its description, and the query texts of the food list.
#pragma once

#include "fooddb/tablequery.h"

#include <QString>

namespace velmora {

class DataControl;

// The text with every single quote written twice, so it can stand between single quotes.
QString SrchReplace(const QString& sStringToFix);

enum class FindOutcome { Found, NotFound, NothingToFind };

// Makes the first food of the current record set with exactly this description (case ignored)
// the current record. `svFindName` receives the description with its quotes doubled; when no
// food matches, the current record stays where it was and the caller tells the user
// notFoundText(svFindName).
FindOutcome FindFoodByDescription(DataControl& data, const QString& description,
                                  QString& svFindName);

// "Item <name> was not found.", shown with the title "Code" and the stop icon.
QString notFoundText(const QString& svFindName);
inline const QString kNotFoundTitle = QStringLiteral("Code");

// The record sources of the food list, with the texts the window's design gives them: every food
// at start-up; every food again after Reset, which refills the list with all items (one without a
// description too, which a pattern would leave out); and for Search the foods whose description
// contains `term` (its quotes doubled, its pattern characters kept).
inline const TableQuery kLoadQuery = TableQuery().inListOrder().writtenAs(
    QStringLiteral("Select ALL * From CSR14 Order by description"));
inline const TableQuery kResetQuery = TableQuery().inListOrder().writtenAs(
    QStringLiteral("Select ALL * From CSR14 WHERE description LIKE  '*' Order by description"));
TableQuery searchQuery(const QString& term);

}  // namespace velmora
