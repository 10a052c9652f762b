// The portion dialog: the user gives the amount eaten, either in grams or as a number of one of
// the food's household measures, and Submit leaves it in the portion globals.
#pragma once

#include "valuearrays.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class DataControl;

class frmPortion : public QDialog {
    Q_OBJECT
  public:
    // Loads the dialog for the food named by Z(0), moving Data to it so the measure fields can be
    // read. The dialog only reads Z; `bvCancel` is set to true when the dialog is cancelled, by
    // its Cancel button, its close box or Escape.
    frmPortion(DataControl& data, const ValueArray& Z, bool& bvCancel, QWidget* parent = nullptr);

  public slots:
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    // Stores the entry in vPortionGrams, svPortionUnit and vPortionQuantity and closes the
    // dialog when it is a positive weight; otherwise tells the user and stays open.
    void cmdSubmit_Click();
    void cmdCancel_Click();
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Form_Load(const ValueArray& Z);
    void Form_Activate();
    bool readMeasure(const QLineEdit* box, int gramsField, int unitField, float& grams,
                     QString& unit, float& quantity) const;

    DataControl& data_;
    bool& bvCancel_;

    QLabel* lblItem_ = nullptr;
    QLabel* lblDescrip_ = nullptr;
    QRadioButton* Option1_ = nullptr;
    QRadioButton* Option2_ = nullptr;
    QRadioButton* Option3_ = nullptr;
    QLineEdit* TextOp1_ = nullptr;
    QLineEdit* TextOp2_ = nullptr;
    QLineEdit* TextOp3_ = nullptr;
    QFrame* Line1_ = nullptr;
    QFrame* Line2_ = nullptr;
    QFrame* Line3_ = nullptr;
    QPushButton* cmdSubmit_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QLabel* Label1_ = nullptr;
};

}  // namespace velmora
