// The main window's help and information commands, and the document they hand to the viewer.
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace velmora {

// The stored document last opened: its bytes (trailing NULs included) and the same as text, one
// character per byte. Written by the help commands, read by the help viewer's Fill.
extern QByteArray vDocBytes;
extern QString svDocText;

// Ids of the stored RTF documents.
namespace helpdoc {
inline constexpr int DailyValues = 101;
inline constexpr int Instructions = 102;
}  // namespace helpdoc

// The whole stored document of type `type` and id `id` (":/type/id"); empty when there is none.
QByteArray loadResourceBytes(const QString& type, int id);

// Menu "Instructions ": the instructions in the help window.
void mnuHelp_Click(QWidget* mainWindow);
// Menu "Information on Daily Values ": the Daily Values document in the help window.
void mnuDailyValues_Click(QWidget* mainWindow);
// Menu "Program Info ": the About window, modal; returns when it has been closed.
void mnuAbout_Click(QWidget* mainWindow);

// The help window while one is open, else null.
QWidget* helpWindowIfAny();
// Closes the help window and the About window, if open; for the end of the program.
void unloadHelpWindows();

}  // namespace velmora
