// SPDX-License-Identifier: GPL-3.0-or-later
// The food list: a plain list view with the type-ahead the users rely on: letters typed in quick
// succession form a prefix, and the first row from the top that begins with it is selected.
#pragma once

#include <QElapsedTimer>

#include <QListView>
#include <QPersistentModelIndex>
#include <functional>
#include <optional>

namespace velmora {

class FoodListModel;

// The row the keyboard is on is always the selected one: the list never shows, and the keys never
// start from, a current row that is not selected. After a refill no row is current, so the next
// Page Up or arrow key selects the first row.
class FoodListView : public QListView {
    Q_OBJECT
  public:
    explicit FoodListView(QWidget* parent = nullptr);

    void setFoodModel(FoodListModel* model);

    // Pause after which the next letter starts a new prefix.
    void setTypeAheadInterval(int ms) { typeAheadMs_ = ms; }
    // What tells the time of each letter, in milliseconds (a steady clock unless set); the next
    // letter after a change starts a new prefix.
    void setClock(std::function<qint64()> nowMs);
    int typeAheadInterval() const { return typeAheadMs_; }
    const QString& typeAheadPrefix() const { return prefix_; }

    // Description of the selected row; the empty text when none is selected.
    QString text() const;
    // The selected row, or -1.
    int selectedRow() const;

    // Qt's own search starts at the current row and wraps; the rule here is the first row from
    // the top, so it is replaced.
    void keyboardSearch(const QString& search) override;

  signals:
    // A mouse click on the row that was already selected: the selection does not change, but the
    // user asked for that food again.
    void reselected();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;

  private:
    void notePress(QMouseEvent* event);

    FoodListModel* foodModel_ = nullptr;
    QString prefix_;
    std::function<qint64()> nowMs_;
    std::optional<qint64> lastLetterAt_;
    int typeAheadMs_ = 2000;
    QPersistentModelIndex pressedSelected_;  // the selected row a left press landed on
};

}  // namespace velmora
