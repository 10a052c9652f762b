// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "app/formb.h"
#include "app/frmsplash.h"
#include "common/commandline.h"
#include "common/msgbox.h"
#include "common/vberror.h"

#include <QPointer>

namespace velmora {

QString runTimeErrorText(int number, const QString& description) {
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(description);
}

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Velmora"));
    setApplicationVersion(kVersion);
    setDesktopFileName(QStringLiteral("velmora"));
}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const VbError& e) {
        MsgBox(runTimeErrorText(e.number(), e.description()));
    } catch (const std::bad_alloc&) {
        MsgBox(runTimeErrorText(err::OutOfMemory, standardErrorText(err::OutOfMemory)));
    }
    exit(1);
    return true;
}

namespace {

// The start cannot go on: no window stays, the user is told, the program ends with status 1.
StartResult failedStart(std::unique_ptr<FormB> formB, QPointer<frmSplash> splash, int number,
                        const QString& description) {
    formB->hide();
    formB.reset();
    if (splash) splash->close();
    MsgBox(runTimeErrorText(number, description));
    return {nullptr, 1};
}

}  // namespace

StartResult Main(const QString& databasePath) {
    StartResult result;
    QPointer<frmSplash> splash = new frmSplash;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    QCoreApplication::processEvents();
    auto formB = std::make_unique<FormB>(databasePath);
    try {
        formB->Form_Load();
    } catch (const VbError& e) {
        return failedStart(std::move(formB), splash, e.number(), e.description());
    } catch (const std::bad_alloc&) {
        return failedStart(std::move(formB), splash, err::OutOfMemory,
                           standardErrorText(err::OutOfMemory));
    }
    if (splash) splash->close();  // the user may have closed it already
    result.mainWindow = std::move(formB);
    return result;
}

}  // namespace velmora
