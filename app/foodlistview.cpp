// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/foodlistview.h"

#include "fooddb/foodlistmodel.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <memory>

namespace velmora {

FoodListView::FoodListView(QWidget* parent) : QListView(parent) {
    setClock([clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid()) clock->start();
        return clock->elapsed();
    });
    setUniformItemSizes(true);  // thousands of rows: no per-row size queries
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideRight);
}

void FoodListView::setFoodModel(FoodListModel* model) {
    foodModel_ = model;
    setModel(model);
    // Left alone, a refilled list that takes the focus makes its first row current without
    // selecting it, and a Page Up from there moves nothing. Marking "no current row" as set keeps
    // the next key's move a real selection change.
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        setCurrentIndex(QModelIndex());
        scrollToTop();
        // Every row is as high as the first: on a grid of that height the layout measures no
        // row, which with half a million rows is a third of a Reset.
        if (foodModel_->rowCount() > 0 && !gridSize().isValid())
            setGridSize(QSize(1, sizeHintForIndex(foodModel_->index(0)).height()));
    });
}

QString FoodListView::text() const {
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

void FoodListView::setClock(std::function<qint64()> nowMs) {
    nowMs_ = std::move(nowMs);
    lastLetterAt_.reset();
}

int FoodListView::selectedRow() const {
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void FoodListView::keyboardSearch(const QString& search) {
    if (!foodModel_ || search.isEmpty()) return;
    const qint64 now = nowMs_();
    if (!lastLetterAt_ || now - *lastLetterAt_ > typeAheadMs_) prefix_.clear();
    lastLetterAt_ = now;
    prefix_ += search;
    const int row = foodModel_->firstRowWithPrefix(prefix_);
    if (row < 0) return;  // no row begins with it: the selection stays where it is
    const QModelIndex index = foodModel_->index(row);
    if (index != currentIndex() || !selectionModel()->isSelected(index)) setCurrentIndex(index);
    scrollTo(index);
}

void FoodListView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool printable =
        !text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (printable) {
        keyboardSearch(text);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

QItemSelectionModel::SelectionFlags FoodListView::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    const auto command = QListView::selectionCommand(index, event);
    if (!index.isValid()) return command;
    const bool keyOrPress =
        !event || event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress;
    // Ctrl with a key or a click would move the current row without selecting it, or deselect
    // the row on show; in a single-selection list both only lose the food on show.
    return keyOrPress ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows : command;
}

void FoodListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (current.isValid() && !selectionModel()->isSelected(current))
        selectionModel()->select(current,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FoodListView::notePress(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    pressedSelected_ =
        event->button() == Qt::LeftButton && index.isValid() && selectionModel()->isSelected(index)
            ? QPersistentModelIndex(index)
            : QPersistentModelIndex();
}

void FoodListView::mousePressEvent(QMouseEvent* event) {
    notePress(event);
    QListView::mousePressEvent(event);
}

void FoodListView::mouseDoubleClickEvent(QMouseEvent* event) {
    notePress(event);  // the second click of a double click is a click too
    QListView::mouseDoubleClickEvent(event);
}

void FoodListView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool again = pressedSelected_.isValid() && released == pressedSelected_ &&
                       event->button() == Qt::LeftButton;
    pressedSelected_ = QPersistentModelIndex();
    if (again) emit reselected();
}

}  // namespace velmora
