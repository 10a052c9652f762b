// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/findfood.h"

#include "fooddb/datacontrol.h"

namespace velmora {

QString SrchReplace(const QString& sStringToFix) {
    QString out = sStringToFix;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

FindOutcome FindFoodByDescription(DataControl& data, const QString& description,
                                  QString& svFindName) {
    svFindName = description.contains(u'\'') ? SrchReplace(description) : description;
    if (svFindName.isEmpty()) return FindOutcome::NothingToFind;
    data.FindFirst(QStringLiteral("description = '") + svFindName + QStringLiteral("' "));
    return data.recordset().NoMatch() ? FindOutcome::NotFound : FindOutcome::Found;
}

QString notFoundText(const QString& svFindName) {
    return QStringLiteral("Item ") + svFindName + QStringLiteral(" was not found.");
}

TableQuery searchQuery(const QString& term) {
    const QString cleaned = term.contains(u'\'') ? SrchReplace(term) : term;
    const QString pattern = QStringLiteral("'*") + cleaned + QStringLiteral("*'");
    // No blank around the pattern: the text has always been written this way.
    return TableQuery()
        .where(QStringLiteral("description LIKE ") + pattern)
        .inListOrder()
        .writtenAs(QStringLiteral("Select ALL * From CSR14 WHERE description LIKE") + pattern +
                   QStringLiteral("Order by description"));
}

}  // namespace velmora
