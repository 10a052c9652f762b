// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formb.h"
#include "app/startup.h"
#include "common/commandline.h"
#include "common/msgbox_widgets.h"
#include "common/outsidetext.h"

int main(int argc, char** argv) {
    QString database;
    {
        // Read before any window system is touched: --help and --version work without a display,
        // and a wrong argument never opens a window.
        const velmora::ProgramStart start(argc, argv, QStringLiteral("velmora"),
                                          QStringLiteral("Velmora"));
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Look up the nutrient content of foods in the USDA food table."));
        const QCommandLineOption databaseOption(
            QStringLiteral("database"),
            QStringLiteral("Read the food table PATH instead of Velmora.mdb in the program's "
                           "folder."),
            QStringLiteral("PATH"));
        parser.addOption(databaseOption);
        if (const auto status = velmora::readCommandLine(parser, start.arguments())) return *status;
        if (!parser.positionalArguments().isEmpty())
            return velmora::usageError(
                QStringLiteral("unexpected argument '%1'")
                    .arg(velmora::printable(parser.positionalArguments().first())));
        if (const QString problem = velmora::emptyFileName(parser, {&databaseOption});
            !problem.isEmpty())
            return velmora::usageError(problem);
        if (parser.isSet(databaseOption))
            database = velmora::absoluteFileName(parser.value(databaseOption));
    }
    velmora::VelmoraApplication app(argc, argv);
    velmora::installWidgetMessageBoxes();
    velmora::StartResult start = velmora::Main(database);
    if (!start.mainWindow) return start.exitStatus;
    return app.exec();
}
