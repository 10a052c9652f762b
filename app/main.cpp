// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formb.h"
#include "app/startup.h"
#include "common/commandline.h"
#include "common/msgbox_widgets.h"
#include "common/outsidetext.h"
#include "dailyvalues/dailyvalues.h"

#include <optional>

int main(int argc, char** argv) {
    QString database;
    std::optional<velmora::DailyValueRule> dailyValues;  // else the table's own
    {
        // Read before any window system is touched: --help and --version work without a display,
        // and a wrong argument never opens a window.
        const velmora::ProgramStart start(argc, argv, QStringLiteral("velmora"),
                                          QStringLiteral("Velmora"));
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Look up the nutrient content of foods in the USDA food table."));
        const QCommandLineOption databaseOption = velmora::databaseOption();
        const QCommandLineOption dailyValuesOption = velmora::dailyValuesOption();
        parser.addOptions({databaseOption, dailyValuesOption});
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
        if (parser.isSet(dailyValuesOption)) {
            velmora::DailyValueRule rule{};
            const QString problem =
                velmora::readDailyValueRule(parser.value(dailyValuesOption), rule);
            if (!problem.isEmpty()) return velmora::usageError(problem);
            dailyValues = rule;
        }
    }
    velmora::VelmoraApplication app(argc, argv);
    velmora::installWidgetMessageBoxes();
    velmora::StartResult start = velmora::Main(database, dailyValues);
    if (!start.mainWindow) return start.exitStatus;
    return app.exec();
}
