// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's help and information commands, and the document they hand to the viewer.
#pragma once

#include "dailyvalues/dailyvalues.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWidget;

namespace velmora {

class frmAbout;
class frmHLP;

// What the help commands keep between uses: the stored document last opened, as text one
// character per byte (trailing NULs included), which they hand to the viewer's Fill; and the help
// and About windows while they exist.
struct HelpState {
    QString svDocText;
    QPointer<frmHLP> helpWindow;
    QPointer<frmAbout> aboutWindow;
};

// Ids of the stored RTF documents.
namespace helpdoc {
inline constexpr int DailyValues = 101;
inline constexpr int Instructions = 102;
}  // namespace helpdoc

// The whole stored document of type `type` and id `id` (":/type/id"); empty when there is none.
QByteArray loadResourceBytes(const QString& type, int id);

// The instructions in the help window (menu "Instructions "): `document`, or when it is empty
// the stored one.
void showInstructions(HelpState& state, QWidget* mainWindow, const QByteArray& document = {});
// The Daily Values document of `rule`: the stored one under 1993, whose values it lists; under
// any other rule the one made of that rule's values, so that it lists what the percents use.
QByteArray dailyValuesInformation(DailyValueRule rule);
// The Daily Values document of `rule` in the help window (menu "Information on Daily Values ").
void showDailyValuesInformation(HelpState& state, QWidget* mainWindow,
                                DailyValueRule rule = DailyValueRule::Fda1993);
// The About window, modal (menu "Program Info "), with `tableLines` below its text; returns when
// it has been closed.
void showProgramInfo(HelpState& state, QWidget* mainWindow, const QStringList& tableLines = {});

// The help window while one is open, else null.
frmHLP* openHelpWindow(const HelpState& state);
// Closes the help window and the About window, if open; for the end of the program.
void unloadHelpWindows(HelpState& state);

}  // namespace velmora
