#include "msgbox_widgets.h"

#include "msgbox.h"

#include <QApplication>
#include <QMessageBox>

namespace velmora {

void installWidgetMessageBoxes() {
    setMessageBoxPresenter([](const MessageBoxRequest& r) {
        QMessageBox box(r.icon == MsgIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                        r.title, r.text, QMessageBox::Ok, QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
}

}  // namespace velmora
