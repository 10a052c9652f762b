// SPDX-License-Identifier: GPL-3.0-or-later
#include "appfixture.h"

#include "app/foodlistview.h"

#include <QtTest>

namespace velmora::test {

QList<FixtureFood> browseFoods() {
    QList<FixtureFood> foods = {
        {"Abiyuch, raw", {{"ENERG_KCAL", 69.0}}},
        {"Alcoholic beverage, beer, light", {{"ENERG_KCAL", 29.0}, {"PROTEIN", 0.24}}},
        {"Alcoholic beverage, wine", {{"ENERG_KCAL", 83.0}}},
        {"Alfalfa seeds", {{"ENERG_KCAL", 23.0}}},
        {"Apple, raw",
         {{"ENERG_KCAL", 52.0},
          {"TOT_LIPID", 0.17},
          {"SODIUM", 1.0},
          {"VIT_B12", 0.0},
          {"GMWT_1", 125.0},
          {"GMWT_DESC1", "1 cup"}}},
        {"Bread, white", {{"ENERG_KCAL", 266.0}}},
        {"Chef's salad", {{"ENERG_KCAL", 120.0}}},
        {"Spinach, raw", {{"ENERG_KCAL", 23.0}}},
    };
    // Enough rows that a page of the list is shorter than the table.
    for (int i = 10; i < 70; ++i)
        foods.append({QStringLiteral("Zucchini, variety %1").arg(i), {{"ENERG_KCAL", double(i)}}});
    return foods;
}

AppFixture::AppFixture(const QList<FixtureFood>& foods, DailyValueRule dailyValues) {
    const QString err = writeFixtureDb(databasePath(), foods);
    if (!err.isEmpty()) qFatal("fixture table: %s", qPrintable(err));
    form_ = std::make_unique<FormB>(databasePath(), dailyValues);
    form_->Form_Load();
}

QStringList AppFixture::listRows() const {
    QStringList rows;
    const QAbstractItemModel* m = form_->list()->model();
    for (int r = 0; r < m->rowCount(); ++r) rows << m->index(r, 0).data().toString();
    return rows;
}

int AppFixture::selectedRow() const {
    const QModelIndexList s = form_->list()->selectionModel()->selectedIndexes();
    return s.isEmpty() ? -1 : s.first().row();
}

void AppFixture::selectRow(int row) {
    FoodListView* list = form_->list();
    const QRect r = list->visualRect(list->model()->index(row, 0));
    if (!list->viewport()->rect().contains(r.center()))
        list->scrollTo(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 0)).center());
}

}  // namespace velmora::test
