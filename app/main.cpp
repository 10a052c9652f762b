// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/choosetable.h"
#include "app/formb.h"
#include "app/startup.h"
#include "common/commandline.h"
#include "common/msgbox_widgets.h"
#include "common/outsidetext.h"
#include "dailyvalues/dailyvalues.h"

#include <optional>

int main(int argc, char** argv) {
    QString database, shown;  // shown: the table as the user named it
    bool choose = false;
    std::optional<velmora::DailyValueRule> dailyValues;  // else the table's own
    {
        // Read before any window system is touched: --help and --version work without a display,
        // and a wrong argument never opens a window.
        const velmora::ProgramStart start(argc, argv, QStringLiteral("velmora"),
                                          QStringLiteral("Velmora"));
        QCommandLineParser parser;
        parser.setApplicationDescription(QStringLiteral(
            "Look up the nutrient content of foods in a food table: the USDA table beside the "
            "program, or FILE, any table velmora-mkdb built. A file manager opens a table by "
            "double-click, and the menu entry's action \"Open a Food Table...\" chooses one."));
        const QCommandLineOption databaseOption = velmora::databaseOption();
        const QCommandLineOption dailyValuesOption = velmora::dailyValuesOption();
        const QCommandLineOption chooseOption(
            QStringLiteral("choose-table"),
            QStringLiteral("Choose the food table in a file dialog before the program starts; "
                           "Cancel ends it."));
        parser.addOptions({databaseOption, dailyValuesOption, chooseOption});
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("The food table to open, as --database opens "
                                                    "it."),
                                     QStringLiteral("[FILE]"));
        if (const auto status = velmora::readCommandLine(parser, start.arguments())) return *status;
        const QStringList files = parser.positionalArguments();
        if (files.size() > 1)
            return velmora::usageError(
                QStringLiteral("unexpected argument '%1'").arg(velmora::printable(files[1])));
        if (const QString problem = velmora::emptyFileName(parser, {&databaseOption});
            !problem.isEmpty())
            return velmora::usageError(problem);
        if (files.value(0, QStringLiteral("-")).isEmpty())
            return velmora::usageError(QStringLiteral("FILE: the file name is empty"));
        choose = parser.isSet(chooseOption);
        const int tables = int(parser.isSet(databaseOption)) + int(!files.isEmpty()) + int(choose);
        if (tables > 1)
            return velmora::usageError(
                QStringLiteral("give one table: FILE, --database or --choose-table"));
        if (parser.isSet(databaseOption)) shown = parser.value(databaseOption);
        if (!files.isEmpty()) shown = files.first();
        if (!shown.isEmpty()) database = velmora::absoluteFileName(shown);
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
    if (choose) {
        // Before the splash: the table is chosen first, and Cancel ends the program quietly.
        const std::optional<QString> chosen = velmora::chooseFoodTable();
        if (!chosen) return 0;
        database = shown = *chosen;
    }
    velmora::StartResult start = velmora::Main(database, dailyValues, shown);
    if (!start.mainWindow) return start.exitStatus;
    return app.exec();
}
