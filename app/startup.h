// SPDX-License-Identifier: GPL-3.0-or-later
// The start procedure and the application object.
#pragma once

#include "dailyvalues/dailyvalues.h"

#include <QApplication>

#include <memory>
#include <optional>

namespace velmora {

class FormB;

// Shows an error that nothing handled (number and text, title "Velmora") and ends the program: the
// last guard, for errors in Qt's own code.
class VelmoraApplication : public QApplication {
  public:
    VelmoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

struct StartResult {
    std::unique_ptr<FormB> mainWindow;  // null when the start failed
    int exitStatus = 0;                 // non-zero when the start failed
};

// Splash window, then the main window with its load step, then the splash window closes. A food
// table that cannot be opened is reported and ends the start with a non-zero status. The table is
// `databasePath`, or Velmora.mdb in the program's own folder; the percents are of `dailyValues`,
// or else of the table's own rule. A table the user named (`shownName` is what they called it,
// by default the path) that is no food table, such as a download, is said so in a message
// before any window shows, and the start ends with status 1.
StartResult Main(const QString& databasePath = {},
                 std::optional<DailyValueRule> dailyValues = std::nullopt,
                 const QString& shownName = {});

}  // namespace velmora
