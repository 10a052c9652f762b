// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-mkdb: builds the program's food table file from the CSV source (or an SR release).
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/utf8locale.h"
#include "tools/dbwriter.h"
#include "tools/foodtable.h"
#include "tools/srimport.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdio>

namespace {

const QString kUsage = QStringLiteral(
    "usage: velmora-mkdb DATA.csv OUT.mdb\n"
    "       velmora-mkdb --sr SR_FOLDER OUT.mdb\n");

void printError(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace velmora::mkdb;
    const QString locale = velmora::chooseUtf8Locale();
    QCoreApplication app(argc, argv);
    velmora::useRequestedLocale(locale);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-mkdb"));
    QCoreApplication::setApplicationVersion(velmora::kVersion);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Build a Velmora food table OUT.mdb from the CSV source DATA.csv, or from "
                       "a USDA SR release in its ASCII form (FOOD_DES.txt, NUT_DATA.txt, "
                       "WEIGHT.txt) in SR_FOLDER."));
    const QCommandLineOption release(QStringLiteral("sr"),
                                     QStringLiteral("Read the SR release in SR_FOLDER."),
                                     QStringLiteral("SR_FOLDER"));
    parser.addOption(release);
    parser.addPositionalArgument(QStringLiteral("DATA.csv"), QStringLiteral("The CSV source."),
                                 QStringLiteral("[DATA.csv]"));
    parser.addPositionalArgument(QStringLiteral("OUT.mdb"), QStringLiteral("The table to write."));
    if (const auto status =
            velmora::readCommandLine(parser, velmora::commandLineArguments(argc, argv), kUsage))
        return *status;
    const bool fromRelease = parser.isSet(release);
    const QStringList files = parser.positionalArguments();
    if (files.size() != (fromRelease ? 1 : 2)) {
        std::fputs(qUtf8Printable(kUsage), stderr);
        return 2;
    }
    const QString input = fromRelease ? parser.value(release) : files.first();
    const QString output = files.last();

    // The output first: a refused output, or one that cannot be written, must cost no reading.
    DatabaseOutput database;
    if (const auto error =
            database.open(output, fromRelease ? srReleaseFiles(input) : QStringList{input})) {
        printError(*error);
        return 1;
    }
    FoodTable table;
    const auto fault = fromRelease ? readSrRelease(input, table) : readFoodTableCsv(input, table);
    if (fault) {
        printError(fault->toString());
        return 1;
    }
    if (const auto error = database.write(table)) {
        printError(*error);
        return 1;
    }
    std::printf("%s: %zu foods\n", QFile::encodeName(output).constData(), table.size());
    return 0;
}
