// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/msgbox_widgets.h"

#include "common/msgbox.h"
#include "common/outsidetext.h"
#include "common/windowguard.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace velmora {

void installWidgetMessageBoxes() {
    setMessageBoxPresenter([](const MessageBoxRequest& r) {
        // On a platform with no screen nobody could answer the box, and waiting for an answer
        // would hang the program: the message goes to the error output instead.
        const QString platform = QGuiApplication::platformName();
        if (platform == u"offscreen" || platform == u"minimal") {
            std::fprintf(stderr, "%s: %s\n", qUtf8Printable(r.title), qUtf8Printable(r.text));
            return;
        }
        QMessageBox box(r.icon == MsgIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                        r.title, shownText(r.text), QMessageBox::Ok, QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        keepRestored(&box);
        box.exec();
    });
}

}  // namespace velmora
