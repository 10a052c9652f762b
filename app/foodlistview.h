// The food list: a plain list view with the type-ahead the users rely on: letters typed in quick
// succession form a prefix, and the first row from the top that begins with it is selected.
#pragma once

#include <QElapsedTimer>
#include <QListView>

namespace velmora {

class FoodListModel;

class FoodListView : public QListView {
    Q_OBJECT
  public:
    explicit FoodListView(QWidget* parent = nullptr);

    void setFoodModel(FoodListModel* model);

    // Pause after which the next letter starts a new prefix.
    void setTypeAheadInterval(int ms) { typeAheadMs_ = ms; }
    int typeAheadInterval() const { return typeAheadMs_; }
    const QString& typeAheadPrefix() const { return prefix_; }

    // Description of the selected row; the empty text when none is selected.
    QString text() const;

    // Qt's own search starts at the current row and wraps; the rule here is the first row from
    // the top, so it is replaced.
    void keyboardSearch(const QString& search) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    FoodListModel* foodModel_ = nullptr;
    QString prefix_;
    QElapsedTimer sinceLastLetter_;
    int typeAheadMs_ = 2000;
};

}  // namespace velmora
