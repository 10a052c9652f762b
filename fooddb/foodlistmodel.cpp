// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/foodlistmodel.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "fooddb/datacontrol.h"
#include "fooddb/textfold.h"

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
    const QByteArray utf8 = prefix.toUtf8();
    std::string p;
    appendFoldedUtf8(std::string_view(utf8.constData(), std::size_t(utf8.size())), p);
    if (p.empty()) return -1;  // marks only: they begin no description
    const bool asciiPrefix = isAscii(p);
    for (int row = 0; row < rs.RecordCount(); ++row) {
        const std::string_view d = rs.descriptionUtf8(row);
        if (!rs.descriptionIsAscii(row)) {
            if (foldedStartsWith(d, p)) return row;
        } else if (asciiPrefix && d.size() >= p.size() &&
                   compareNoCase(d.substr(0, p.size()), p) == 0) {
            return row;
        }
    }
    return -1;
}

}  // namespace velmora
