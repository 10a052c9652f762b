#include "findfood.h"

#include "datacontrol.h"
#include "msgbox.h"

namespace velmora {

QString svFindName;

QString SrchReplace(const QString& sStringToFix) {
    QString out = sStringToFix;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

FindOutcome FindFoodByDescription(DataControl& data, const QString& description) {
    svFindName = description.contains(u'\'') ? SrchReplace(description) : description;
    if (svFindName.isEmpty()) return FindOutcome::NothingToFind;
    data.FindFirst(QStringLiteral("description = '") + svFindName + QStringLiteral("' "));
    if (data.recordset().NoMatch()) {
        MsgBox(QStringLiteral("Item ") + svFindName + QStringLiteral(" was not found."),
               QStringLiteral("Code"), MsgIcon::Critical);
        return FindOutcome::NotFound;
    }
    return FindOutcome::Found;
}

}  // namespace velmora
