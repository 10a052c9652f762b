// SPDX-License-Identifier: GPL-3.0-or-later
// The window shown while the food table opens.
#pragma once

#include <QWidget>

class QFrame;

namespace velmora {

class frmSplash : public QWidget {
    Q_OBJECT
  public:
    explicit frmSplash(QWidget* parent = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Form_KeyPress();
    void Frame1_Click();
    QFrame* Frame1 = nullptr;
};

}  // namespace velmora
