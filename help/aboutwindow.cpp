// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/aboutwindow.h"

#include "common/designwidgets.h"
#include "common/outsidetext.h"
#include "common/version.h"
#include "common/windowguard.h"
#include "help/rtfreader.h"

#include <algorithm>
#include <cmath>

#include <QMenuBar>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

namespace velmora {

namespace {

// One paragraph per line; every line with text starts with one blank.
constexpr char kAboutRtf[] =
    R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fcharset0 Arial;}})"
    R"({\colortbl \red0\green0\blue0;})"
    "\n"
    R"(\pard\nowidctlpar\cf0\f0\fs20  Velmora, version )" VELMORA_VERSION R"(\par)"
    "\n"
    R"(\par)"
    "\n"
    R"( The Velmora project\par)"
    "\n"
    R"(\par)"
    "\n"
    R"( Velmora is developed in the open. Its source code, its\par)"
    "\n"
    R"( documentation (the README) and its issue tracker all\par)"
    "\n"
    R"( come with the source repository: look there for news,\par)"
    "\n"
    R"( for answers to questions, and to report a problem.\par)"
    "\n"
    R"(\par)"
    "\n"
    R"( Velmora project\par)"
    "\n"
    R"( See the README of the source repository\par)"
    "\n"
    R"( Issues: the project's issue tracker)"
    "\n"
    R"(})";

}  // namespace

frmAbout::frmAbout(QWidget* parent, const QStringList& tableLines) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Velmora program information"));
    // A fixed dialog: a title and a close box, no minimise, no maximise, no help button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    keepRestored(this);

    auto* menu = new QMenuBar(this);
    QAction* close = menu->addAction(QStringLiteral("&Close this window"));
    close->setObjectName(QStringLiteral("mnuClose"));
    connect(close, &QAction::triggered, this, &frmAbout::mnuClose_Click);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(tw(6180), tw(3195));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menu);
    layout->addWidget(client_);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    RichTextBox1 = new QTextEdit(client_);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setGeometry(twipsRect(90, 30, 6000, 3075));
    RichTextBox1->setReadOnly(true);
    // Mouse selection for copying; keys scroll instead of moving a caret.
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette palette = RichTextBox1->palette();
    palette.setColor(QPalette::Base, QColor(215, 228, 233));
    palette.setColor(QPalette::Text, Qt::black);
    RichTextBox1->setPalette(palette);
    readRtf(QByteArrayView(kAboutRtf), *RichTextBox1->document());
    if (!tableLines.isEmpty()) {
        // After an empty line, in the text's own font, each line starting with one blank as its
        // lines do.
        QTextCursor end(RichTextBox1->document());
        end.movePosition(QTextCursor::End);
        end.insertBlock();
        for (const QString& line : tableLines) {
            end.insertBlock();
            end.insertText(u' ' + shownText(line));  // the table's text: of any length
        }
        growForText();
    }
    RichTextBox1->moveCursor(QTextCursor::Start);

    adjustSize();
}

void frmAbout::growForText() {
    // The designed box holds the designed text; the table's lines make the window taller, by at
    // most the box's height again (a longer text scrolls), so they show without scrolling.
    const int frame = 2 * RichTextBox1->frameWidth();
    QTextDocument* doc = RichTextBox1->document();
    doc->setTextWidth(RichTextBox1->width() - frame);
    const int needed = int(std::ceil(doc->size().height())) + frame;
    const int extra = std::clamp(needed - RichTextBox1->height(), 0, RichTextBox1->height());
    RichTextBox1->resize(RichTextBox1->width(), RichTextBox1->height() + extra);
    client_->setFixedSize(client_->width(), client_->height() + extra);
}

void frmAbout::mnuClose_Click() {
    close();
}

}  // namespace velmora
