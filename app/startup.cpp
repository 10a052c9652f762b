// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "app/formb.h"
#include "app/frmsplash.h"
#include "common/commandline.h"
#include "common/msgbox.h"
#include "common/runtimeerror.h"
#include "tools/sources/tablecheck.h"

#include <QPointer>

namespace velmora {

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Velmora"));
    setApplicationVersion(kVersion);
    setDesktopFileName(QStringLiteral("velmora"));
}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
    // The last guard: every handler of the program catches its own errors, but Qt's own code
    // may still run out of memory.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        MsgBox(runTimeErrorText(caughtError()));
    }
    QCoreApplication::exit(1);
    return true;
}

namespace {

// The start cannot go on: no window stays, the user is told, the program ends with status 1.
StartResult failedStart(std::unique_ptr<FormB> formB, QPointer<frmSplash> splash,
                        const CaughtError& error) {
    formB->hide();
    formB.reset();
    if (splash) splash->close();
    MsgBox(runTimeErrorText(error));
    return {nullptr, 1};
}

}  // namespace

StartResult Main(const QString& databasePath, std::optional<DailyValueRule> dailyValues,
                 const QString& shownName) {
    if (!databasePath.isEmpty()) {
        const QString problem =
            mkdb::notATableMessage(databasePath, shownName.isEmpty() ? databasePath : shownName);
        if (!problem.isEmpty()) {
            MsgBox(problem);
            return {nullptr, 1};
        }
    }
    StartResult result;
    QPointer<frmSplash> splash = new frmSplash;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    QCoreApplication::processEvents();
    auto formB = std::make_unique<FormB>(databasePath, dailyValues);
    try {
        formB->Form_Load();
    } catch (...) {
        return failedStart(std::move(formB), splash, caughtError());
    }
    if (splash) splash->close();  // the user may have closed it already
    result.mainWindow = std::move(formB);
    return result;
}

}  // namespace velmora
