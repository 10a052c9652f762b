// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-mkdb: builds the program's food table file from the CSV source, an SR release or a
// FoodData Central download.
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "tools/dbwriter.h"
#include "tools/fdcimport.h"
#include "tools/foodtable.h"
#include "tools/inputfile.h"
#include "tools/srimport.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <new>

namespace {

using namespace velmora::mkdb;

const QString kUsage = QStringLiteral(
    "usage: velmora-mkdb DATA.csv OUT.mdb\n"
    "       velmora-mkdb --sr SR_FOLDER OUT.mdb\n"
    "       velmora-mkdb --fdc FDC_FOLDER OUT.mdb [--types LIST]\n");

void printError(const QString& message) {
    Progress::instance().clear();
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The bits of the types LIST names; an unknown name is a usage error.
std::optional<unsigned> typeMask(const QString& list, QString& unknown) {
    unsigned mask = 0;
    for (const QString& name : list.split(u',')) {
        const auto type = std::find(kFdcTypes.begin(), kFdcTypes.end(), name.toStdString());
        if (type == kFdcTypes.end()) {
            unknown = name;
            return std::nullopt;
        }
        mask |= 1u << (type - kFdcTypes.begin());
    }
    return mask;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-mkdb"));
    QCoreApplication::setApplicationVersion(velmora::kVersion);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Build a Velmora food table OUT.mdb from the CSV source DATA.csv, from a USDA SR release "
        "in its ASCII form (FOOD_DES.txt, NUT_DATA.txt, WEIGHT.txt) in SR_FOLDER, or from a "
        "FoodData Central download in its CSV form (food.csv, nutrient.csv, food_nutrient.csv "
        "and the files beside them) in FDC_FOLDER."));
    const QCommandLineOption release(QStringLiteral("sr"),
                                     QStringLiteral("Read the SR release in SR_FOLDER."),
                                     QStringLiteral("SR_FOLDER"));
    const QCommandLineOption fdc(
        QStringLiteral("fdc"), QStringLiteral("Read the FoodData Central download in FDC_FOLDER."),
        QStringLiteral("FDC_FOLDER"));
    const QCommandLineOption types(
        QStringLiteral("types"),
        QStringLiteral("With --fdc, the food types to read, separated by commas: sr_legacy_food, "
                       "foundation_food, survey_fndds_food, branded_food (default: all four)."),
        QStringLiteral("LIST"));
    parser.addOptions({release, fdc, types});
    parser.addPositionalArgument(QStringLiteral("DATA.csv"), QStringLiteral("The CSV source."),
                                 QStringLiteral("[DATA.csv]"));
    parser.addPositionalArgument(QStringLiteral("OUT.mdb"), QStringLiteral("The table to write."));
    if (const auto status =
            velmora::readCommandLine(parser, velmora::commandLineArguments(argc, argv), kUsage))
        return *status;
    for (const QCommandLineOption* option : {&release, &fdc, &types})
        if (parser.values(*option).size() > 1)
            return velmora::usageError(
                QStringLiteral("--%1 given more than once").arg(option->names().first()), kUsage);
    const bool fromRelease = parser.isSet(release), fromFdc = parser.isSet(fdc);
    const QStringList files = parser.positionalArguments();
    if ((fromRelease && fromFdc) || (parser.isSet(types) && !fromFdc) ||
        files.size() != (fromRelease || fromFdc ? 1 : 2)) {
        std::fputs(qUtf8Printable(kUsage), stderr);
        return 2;
    }
    unsigned typeBits = (1u << kFdcTypes.size()) - 1;
    if (parser.isSet(types)) {
        QString unknown;
        const auto mask = typeMask(parser.value(types), unknown);
        if (!mask)
            return velmora::usageError(
                QStringLiteral("unknown food type \"%1\"").arg(velmora::printable(unknown)),
                kUsage);
        typeBits = *mask;
    }
    const QString input = fromRelease ? parser.value(release)
                          : fromFdc   ? parser.value(fdc)
                                      : files.first();
    const QString output = files.last();

    // The output first: a refused output, or one that cannot be written, must cost no reading.
    DatabaseOutput database;
    const QStringList inputs = fromRelease ? srReleaseFiles(input)
                               : fromFdc   ? fdcInputFiles(input)
                                           : QStringList{input};
    if (const auto error = database.open(output, inputs)) {
        printError(*error);
        return 1;
    }
    QString counts;
    QStringList notes;
    try {
        const auto error = database.write([&](const RowSink& sink) {
            if (fromFdc) {
                counts = readFdcDownload(input, typeBits, sink).toString();
            } else {
                const qsizetype foods = fromRelease ? readSrRelease(input, sink, &notes)
                                                    : readFoodTableCsv(input, sink);
                counts = QStringLiteral("%1 foods").arg(foods);
            }
        });
        if (error) {
            printError(*error);
            return 1;
        }
    } catch (const Fault& fault) {
        printError(fault.diagnostic.toString());
        return 1;
    } catch (const std::bad_alloc&) {
        // The temporary file goes with `database`, as after any other refusal.
        printError(QStringLiteral("%1: input too large (out of memory)")
                       .arg(velmora::printableLine(InputFile::current())));
        return 1;
    }
    Progress::instance().clear();
    for (const QString& note : notes)
        std::fprintf(stderr, "velmora-mkdb: %s\n", note.toLocal8Bit().constData());
    std::printf("%s: %s\n", velmora::printableLine(output).toLocal8Bit().constData(),
                qUtf8Printable(counts));
    return 0;
}
