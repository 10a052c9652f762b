// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/foodlistmodel.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"

namespace velmora {

FoodListModel::FoodListModel(DataControl& data, QObject* parent)
    : QAbstractListModel(parent), data_(data) {
    connect(&data_, &DataControl::recordsetAboutToChange, this, [this] { beginResetModel(); });
    connect(&data_, &DataControl::recordsetChanged, this, [this] { endResetModel(); });
}

int FoodListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : data_.recordset().RecordCount();
}

QModelIndex FoodListModel::index(int row, int column, const QModelIndex& parent) const {
    return row >= 0 && row < data_.recordset().RecordCount() && column == 0 && !parent.isValid()
               ? createIndex(row, 0)
               : QModelIndex();
}

QVariant FoodListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= data_.recordset().RecordCount()) return {};
    // The tooltip shows descriptions too wide for the list in full.
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return shownText(data_.recordset().description(index.row()));
    return {};
}

int FoodListModel::firstRowWithPrefix(const QString& prefix) const {
    const Recordset& rs = data_.recordset();
    const QByteArray p = prefix.toUtf8();
    const bool asciiPrefix = isAscii(std::string_view(p.constData(), std::size_t(p.size())));
    for (int row = 0; row < rs.RecordCount(); ++row) {
        if (asciiPrefix && rs.descriptionIsAscii(row)) {
            const std::string_view d = rs.descriptionUtf8(row);
            if (d.size() < static_cast<std::size_t>(p.size())) continue;
            bool ok = true;
            for (qsizetype i = 0; i < p.size() && ok; ++i) {
                const auto a = static_cast<unsigned char>(d[static_cast<std::size_t>(i)]);
                const auto b = static_cast<unsigned char>(p[i]);
                ok = a == b || (std::isalpha(a) && std::isalpha(b) && (a | 0x20) == (b | 0x20));
            }
            if (ok) return row;
        } else if (rs.description(row).startsWith(prefix, Qt::CaseInsensitive)) {
            return row;
        }
    }
    return -1;
}

}  // namespace velmora
