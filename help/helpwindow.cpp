// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/helpwindow.h"

#include "common/designwidgets.h"
#include "common/msgbox.h"
#include "common/runtimeerror.h"
#include "help/rtfreader.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QMenuBar>
#include <QTextEdit>

namespace velmora {

namespace {

// Design size of the inner area and the text box's margins, in twips.
constexpr int kClientWidth = 7065;
constexpr int kClientHeight = 4890;
constexpr int kMarginSide = 50;
constexpr int kMarginBottom = 35;

// Text without a font of its own shows in Fixedsys 9 pt, which here is the system's fixed font.
QFont defaultHelpFont() {
    QFont font(resolveFontFamily(QStringLiteral("Fixedsys")), 9);
    font.setStyleHint(QFont::Monospace);
    return font;
}

}  // namespace

QString helpErrorMessage(int number) {
    return QStringLiteral("Error number ") + QString::number(number) +
           QStringLiteral(" was encountered.") + QChar(10) + QChar(13) +
           QStringLiteral("Which is described as: ") + standardErrorText(number);
}

frmHLP::frmHLP(const QString& svDocText, QWidget* owner) : QMainWindow(owner) {
    setObjectName(QStringLiteral("frmHLP"));
    // A window of its own, both usable, that stays in front of its owner: the window system only
    // keeps a window above another for the dialog kind of window (transient for its owner).
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(designCaption());

    QAction* close = menuBar()->addAction(QStringLiteral("&Close this window"));
    close->setObjectName(QStringLiteral("mnuClose"));
    connect(close, &QAction::triggered, this, &frmHLP::mnuClose_Click);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->installEventFilter(this);

    RichTextBox1 = new QTextEdit(client);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setReadOnly(true);
    // Mouse selection for copying; keys scroll instead of moving a caret.
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    RichTextBox1->setFont(defaultHelpFont());
    // Laid out once at its final size: a scroll bar appearing later would lay the text out again.
    RichTextBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichTextBox1->setGeometry(twipsRect(kMarginSide, kMarginSide, kClientWidth - 2 * kMarginSide,
                                        kClientHeight - kMarginSide - kMarginBottom));

    // The inner area has its design size when first shown; the menu bar comes on top of it.
    resize(tw(kClientWidth), tw(kClientHeight) + menuBar()->sizeHint().height());

    Fill(svDocText);  // the window's load step
}

void frmHLP::Fill(const QString& svDocText) {
    try {
        readRtf(QStringView(svDocText), *RichTextBox1->document());
        RichTextBox1->moveCursor(QTextCursor::Start);
    } catch (...) {
        FormErrorHandler(caughtError().number);
    }
}

void frmHLP::FormErrorHandler(int number) {
    MsgBox(helpErrorMessage(number));
}

void frmHLP::mnuClose_Click() {
    close();
}

void frmHLP::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) unloaded_ = true;
}

bool frmHLP::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

void frmHLP::Form_Resize() {
    // A minimised window, or an inner area too small for the margins, would give the box a
    // negative size: it then keeps its place until the window grows again.
    if (isMinimized()) return;
    const int w = centralWidget()->width() * 15;
    const int h = centralWidget()->height() * 15;
    if (w < 2 * kMarginSide || h < kMarginSide + kMarginBottom) return;
    // Both edges are converted, so the pixel margins come out even on the left and right.
    const QPoint topLeft(tw(kMarginSide), tw(kMarginSide));
    const QPoint bottomRight(tw(w - kMarginSide), tw(h - kMarginBottom));
    RichTextBox1->setGeometry(QRect(topLeft, bottomRight - QPoint(1, 1)));
}

}  // namespace velmora
