// Moving to a food by its description.
#pragma once

#include <QString>

namespace velmora {

class DataControl;

// The description of the food to find, quotes doubled; read by the not-found message.
extern QString svFindName;

// The text with every single quote written twice, so it can stand between single quotes.
QString SrchReplace(const QString& sStringToFix);

enum class FindOutcome { Found, NotFound, NothingToFind };

// Makes the first food of the current record set with exactly this description (case ignored)
// the current record. When none matches, shows "Item <name> was not found." (title "Code", stop
// icon) and leaves the current record where it was.
FindOutcome FindFoodByDescription(DataControl& data, const QString& description);

}  // namespace velmora
