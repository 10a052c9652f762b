#include "app/foodlistview.h"

#include "fooddb/foodlistmodel.h"

#include <QKeyEvent>

namespace velmora {

FoodListView::FoodListView(QWidget* parent) : QListView(parent) {
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
}

QString FoodListView::text() const {
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

void FoodListView::keyboardSearch(const QString& search) {
    if (!foodModel_ || search.isEmpty()) return;
    if (!sinceLastLetter_.isValid() || sinceLastLetter_.elapsed() > typeAheadMs_) prefix_.clear();
    sinceLastLetter_.start();
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

}  // namespace velmora
