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
        {"Apple, raw", {{"WATER", 85.56},      {"ENERG_KCAL", 52.0},   {"PROTEIN", 0.26},
                        {"TOT_LIPID", 0.17},   {"CARBOHYDRT", 13.81},  {"FIBER_TD", 2.4},
                        {"ASH", 0.19},         {"CALCIUM", 6.0},       {"PHOSPHORUS", 11.0},
                        {"IRON", 0.12},        {"SODIUM", 1.0},        {"POTASSIUM", 107.0},
                        {"MAGNESIUM", 5.0},    {"COPPER", 0.027},      {"MANGANESE", 0.035},
                        {"SELENIUM", 0.0},     {"VIT_A", 54.0},        {"VIT_E", 0.18},
                        {"THIAMIN", 0.017},    {"RIBOFLAVIN", 0.026},  {"NIACIN", 0.091},
                        {"PANTO_ACID", 0.061}, {"VIT_B6", 0.041},      {"FOLATE", 3.0},
                        {"VIT_B12", 0.0},      {"VIT_C", 4.6},         {"FA_SAT", 0.028},
                        {"FA_MONO", 0.007},    {"FA_POLY", 0.051},     {"CHOLESTRL", 0.0},
                        {"GMWT_1", 125.0},     {"GMWT_DESC1", "1 cup"}}},
        {"Bread, white", {{"ENERG_KCAL", 266.0}}},
        {"Chef's salad", {{"ENERG_KCAL", 120.0}}},
        {"Spinach, raw", {{"ENERG_KCAL", 23.0}}},
    };
    // Enough rows that a page of the list is shorter than the table.
    for (int i = 10; i < 70; ++i)
        foods.append({QStringLiteral("Zucchini, variety %1").arg(i), {{"ENERG_KCAL", double(i)}}});
    return foods;
}

AppFixture::AppFixture(const QList<FixtureFood>& foods) {
    const QString err = writeFixtureDb(databasePath(), foods);
    if (!err.isEmpty()) qFatal("fixture table: %s", qPrintable(err));
    form_ = std::make_unique<FormB>(databasePath());
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
