// SPDX-License-Identifier: GPL-3.0-or-later
// The food list's rows: the descriptions of the data control's current record set, in its order.
#pragma once

#include <QAbstractListModel>

namespace velmora {

class DataControl;

class FoodListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit FoodListModel(DataControl& data, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The list asks for every row's index when it lays itself out; without the base class's
    // checks through virtual calls.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // First row, from the top, whose description begins with `prefix`, both folded (case and
    // accents make no difference); -1 when none does.
    int firstRowWithPrefix(const QString& prefix) const;

  private:
    DataControl& data_;
};

}  // namespace velmora
