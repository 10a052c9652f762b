// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmsplash.h"

#include "common/designwidgets.h"
#include "common/version.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

namespace velmora {

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(tw(7275), tw(4005));
    setFocusPolicy(Qt::StrongFocus);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    Frame1->setGeometry(twipsRect(75, 45, 7095, 3855));
    Frame1->installEventFilter(this);

    auto* product = new QLabel(QStringLiteral("Velmora"), Frame1);
    product->setObjectName(QStringLiteral("lblProductName"));
    product->setGeometry(twipsRect(1605, 690, 3390, 540));
    product->setFont(designFont(u"Times New Roman", 24, true));

    auto* version = new QLabel(
        QStringLiteral("Version " VELMORA_VERSION "   Food data: USDA, public domain"), Frame1);
    version->setObjectName(QStringLiteral("Label2"));
    version->setGeometry(twipsRect(1650, 1275, 4200, 330));

    auto* loading = new QLabel(QStringLiteral("Loading Database.  Please wait...."), Frame1);
    loading->setObjectName(QStringLiteral("Label1"));
    loading->setGeometry(twipsRect(1395, 1710, 4515, 360));
    loading->setAlignment(Qt::AlignCenter);
    loading->setFont(designFont(u"Times New Roman", 15.75, true));

    // A click on a label is a click on the frame that holds it.
    for (QLabel* l : {product, version, loading}) l->setAttribute(Qt::WA_TransparentForMouseEvents);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Frame1 && event->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty()) {
        Form_KeyPress();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmSplash::Form_KeyPress() {
    close();
}

void frmSplash::Frame1_Click() {
    close();
}

}  // namespace velmora
