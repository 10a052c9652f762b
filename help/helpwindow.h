// SPDX-License-Identifier: GPL-3.0-or-later
// The help viewer: a sizable window over the main window that shows one RTF document at a time.
// It does not know which document it shows; the help commands hand it over in svDocText.
#pragma once

#include <QMainWindow>

class QTextEdit;

namespace velmora {

class frmHLP : public QMainWindow {
    Q_OBJECT
  public:
    // Creates the window, owned by `owner`, and fills it with the RTF text `svDocText` (not shown
    // yet).
    frmHLP(const QString& svDocText, QWidget* owner);

    // Shows the RTF text `svDocText` in the text box, replacing what it showed before.
    void Fill(const QString& svDocText);
    // Tells the user about error `number`; the window stays as it is.
    void FormErrorHandler(int number);

    // True once the window has been closed: it is only waiting to be deleted.
    bool isUnloaded() const { return unloaded_; }

    static QString designCaption() { return QStringLiteral("Help for Velmora"); }

  public slots:
    void mnuClose_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Resize();

    QTextEdit* RichTextBox1 = nullptr;
    bool unloaded_ = false;
};

// The message FormErrorHandler shows for error `number`.
QString helpErrorMessage(int number);

}  // namespace velmora
