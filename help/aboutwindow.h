// SPDX-License-Identifier: GPL-3.0-or-later
// The program information window: name, version and where the project can be reached; below
// that, for a food table that names its source, the lines that say so.
#pragma once

#include <QDialog>
#include <QStringList>

class QTextEdit;

namespace velmora {

class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr, const QStringList& tableLines = {});

  public slots:
    void mnuClose_Click();

  private:
    void growForText();

    QWidget* client_ = nullptr;
    QTextEdit* RichTextBox1 = nullptr;
};

}  // namespace velmora
