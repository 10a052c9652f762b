#include "helpcommands.h"

#include "aboutwindow.h"
#include "helpwindow.h"
#include "placement.h"

#include <QApplication>
#include <QFile>
#include <QPointer>

// The documents live in a static library: their resources register only when called for.
static void registerHelpResources() {
    Q_INIT_RESOURCE(helpdocs);
}

namespace velmora {

QByteArray vDocBytes;
QString svDocText;

namespace {

QPointer<frmHLP> helpWindow;
QPointer<frmAbout> aboutWindow;

// A closed help window may still await its deletion; it no longer counts as open.
frmHLP* openHelpWindow() {
    return helpWindow && !helpWindow->isUnloaded() ? helpWindow.data() : nullptr;
}

void showStoredDocument(QWidget* mainWindow, int id, const QString& caption) {
    vDocBytes = loadResourceBytes(QStringLiteral("RTF"), id);
    svDocText = QString::fromLatin1(vDocBytes);  // one character per byte, NULs kept

    frmHLP* window = openHelpWindow();
    if (!window) {
        window = new frmHLP(mainWindow);  // fills itself from svDocText
        helpWindow = window;
    }
    if (window->isVisible()) {
        window->Fill();
        window->setWindowTitle(caption);
        if (window->isMinimized()) window->showNormal();
    }
    if (!window->isVisible()) {
        centreOver(window, mainWindow);
        window->show();
        window->setWindowTitle(caption);
    }
}

}  // namespace

QByteArray loadResourceBytes(const QString& type, int id) {
    static const bool registered = (registerHelpResources(), true);
    Q_UNUSED(registered);
    QFile file(QStringLiteral(":/%1/%2").arg(type).arg(id));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void mnuHelp_Click(QWidget* mainWindow) {
    showStoredDocument(mainWindow, helpdoc::Instructions,
                       QStringLiteral("Instructions for Velmora"));
}

void mnuDailyValues_Click(QWidget* mainWindow) {
    showStoredDocument(mainWindow, helpdoc::DailyValues,
                       QStringLiteral("Information on Daily Values"));
}

void mnuAbout_Click(QWidget* mainWindow) {
    QWidget* owner = mainWindow ? mainWindow : QApplication::activeWindow();
    // On the heap: if the owner goes while the window is open, it takes the window with it.
    QPointer<frmAbout> about = new frmAbout(owner);
    aboutWindow = about;
    centreOver(about, owner);
    about->exec();
    delete about.data();
}

QWidget* helpWindowIfAny() {
    return openHelpWindow();
}

void unloadHelpWindows() {
    if (aboutWindow) aboutWindow->reject();
    if (helpWindow) {
        helpWindow->close();
        delete helpWindow.data();
    }
}

}  // namespace velmora
