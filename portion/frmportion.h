// SPDX-License-Identifier: GPL-3.0-or-later
// The portion dialog: the user gives the amount eaten, either in grams or as a number of one of
// the food's household measures, and Submit leaves it in the portion state.
#pragma once

#include "portion/portion.h"

#include <QDialog>

#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class frmPortion : public QDialog {
    Q_OBJECT
  public:
    // Loads the dialog for the food `description`. `measures` are the food's household measures,
    // or nothing when the food could not be found (the options then keep their design captions).
    // A Submit of a positive weight stores it in `portion`, the window's portion state, and
    // exec() gives Accepted; the Cancel button, the close box and Escape give Rejected, and
    // neither they nor a refused entry change `portion`.
    frmPortion(const QString& description, const std::optional<HouseholdMeasures>& measures,
               PortionState& portion, QWidget* parent = nullptr);

  public slots:
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    // Stores the entry in the portion state and closes the dialog when it is a positive weight;
    // otherwise tells the user and stays open.
    void cmdSubmit_Click();
    void cmdCancel_Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Form_Load(const QString& description, const std::optional<HouseholdMeasures>& measures);
    void Form_Activate();
    bool readMeasure(const QLineEdit* box, int measure, PortionEntry& entry);
    // Shows a message about the entry, then puts the focus back into the box in use.
    void tell(const QString& message);

    PortionState& portion_;
    HouseholdMeasures measures_;

    QLabel* lblItem = nullptr;
    QLabel* lblDescrip = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QLineEdit* TextOp1 = nullptr;
    QLineEdit* TextOp2 = nullptr;
    QLineEdit* TextOp3 = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;
    QFrame* Line3 = nullptr;
    QPushButton* cmdSubmit = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* Label1 = nullptr;
};

}  // namespace velmora
