// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/tablequery.h"

namespace velmora {

QString TableQuery::statement(const QString& columns) const {
    QString sql = QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") + table;
    if (!condition.isEmpty()) sql += QStringLiteral(" WHERE ") + condition;
    if (!order.isEmpty()) sql += QStringLiteral(" ORDER BY ") + order;
    if (limit > 0) sql += QStringLiteral(" LIMIT ") + QString::number(limit);
    return sql;
}

}  // namespace velmora
