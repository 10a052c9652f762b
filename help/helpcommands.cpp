// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/helpcommands.h"

#include "dailyvalues/dailyvaluesdocument.h"
#include "help/aboutwindow.h"
#include "help/helpwindow.h"
#include "help/placement.h"

#include <QApplication>
#include <QFile>

// The documents live in a static library: their resources register only when called for.
static void registerHelpResources() {
    Q_INIT_RESOURCE(helpdocs);
}

namespace velmora {

namespace {

void showDocument(HelpState& state, QWidget* mainWindow, const QByteArray& document,
                  const QString& caption) {
    // One character per byte, NULs kept.
    state.svDocText = QString::fromLatin1(document);

    frmHLP* window = openHelpWindow(state);
    if (!window) {
        window = new frmHLP(state.svDocText, mainWindow);  // fills itself from svDocText
        state.helpWindow = window;
    }
    if (window->isVisible()) {
        window->Fill(state.svDocText);
        window->setWindowTitle(caption);
        if (window->isMinimized()) window->showNormal();
        // The user asked for it: it comes to the front even from behind another window.
        window->raise();
        window->activateWindow();
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

void showInstructions(HelpState& state, QWidget* mainWindow, const QByteArray& document) {
    showDocument(state, mainWindow,
                 document.isEmpty()
                     ? loadResourceBytes(QStringLiteral("RTF"), helpdoc::Instructions)
                     : document,
                 QStringLiteral("Instructions for Velmora"));
}

QByteArray dailyValuesInformation(DailyValueRule rule) {
    return rule == DailyValueRule::Fda1993
               ? loadResourceBytes(QStringLiteral("RTF"), helpdoc::DailyValues)
               : dailyValuesDocument(rule);
}

void showDailyValuesInformation(HelpState& state, QWidget* mainWindow, DailyValueRule rule) {
    showDocument(state, mainWindow, dailyValuesInformation(rule),
                 QStringLiteral("Information on Daily Values"));
}

void showProgramInfo(HelpState& state, QWidget* mainWindow, const QStringList& tableLines) {
    QWidget* owner = mainWindow ? mainWindow : QApplication::activeWindow();
    // On the heap: if the owner goes while the window is open, it takes the window with it.
    QPointer<frmAbout> about = new frmAbout(owner, tableLines);
    state.aboutWindow = about;
    centreOver(about, owner);
    about->exec();
    delete about.data();
}

frmHLP* openHelpWindow(const HelpState& state) {
    // A closed help window may still await its deletion; it no longer counts as open.
    return state.helpWindow && !state.helpWindow->isUnloaded() ? state.helpWindow.data() : nullptr;
}

void unloadHelpWindows(HelpState& state) {
    if (state.aboutWindow) state.aboutWindow->reject();
    if (state.helpWindow) {
        state.helpWindow->close();
        delete state.helpWindow.data();
    }
}

}  // namespace velmora
