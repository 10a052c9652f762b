// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-mkdb: builds the program's food table file from the CSV source, an SR release or a
// FoodData Central download, or a national food table.
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/utf8locale.h"
#include "tools/dbwriter.h"
#include "tools/fdcimport.h"
#include "tools/foodtable.h"
#include "tools/inputfile.h"
#include "tools/nationalreaders.h"
#include "tools/srimport.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <new>
#include <variant>

namespace {

using namespace velmora::mkdb;

// "en|fr": what --names takes with `reader`.
QString languages(const NationalReader& reader) {
    return QLatin1StringView(reader.languages[0]) + u'|' + QLatin1StringView(reader.languages[1]);
}

QString usage() {
    QString text = QStringLiteral(
        "usage: velmora-mkdb DATA.csv OUT.mdb\n"
        "       velmora-mkdb --sr SR_FOLDER OUT.mdb\n"
        "       velmora-mkdb --fdc FDC_FOLDER OUT.mdb [--types LIST]\n");
    for (const NationalReader& reader : kNationalReaders)
        text += QStringLiteral("       velmora-mkdb --%1 %2 OUT.mdb [--names %3]\n")
                    .arg(QLatin1StringView(reader.option), QLatin1StringView(reader.valueName),
                         languages(reader));
    return text;
}
const QString kUsage = usage();

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

// What to build from where.
struct BuildRequest {
    QString input, output;
    bool fromRelease = false, fromFdc = false;
    unsigned typeBits = (1u << kFdcTypes.size()) - 1;
    const NationalReader* national = nullptr;
    QString names = QStringLiteral("en");
};

struct MkdbOptions {
    QCommandLineOption release, fdc, types, names;
    QList<QCommandLineOption> national;  // one for each of kNationalReaders
};

MkdbOptions describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Build a Velmora food table OUT.mdb from the CSV source DATA.csv, from a USDA SR release "
        "in its ASCII form (FOOD_DES.txt, NUT_DATA.txt, WEIGHT.txt) in SR_FOLDER, or from a "
        "FoodData Central download in its CSV form (food.csv, nutrient.csv, food_nutrient.csv "
        "and the files beside them) in FDC_FOLDER, or from a national food table: the French "
        "Ciqual table in its XML form in CIQUAL_FOLDER."));
    MkdbOptions o{
        .release = QCommandLineOption(QStringLiteral("sr"),
                                      QStringLiteral("Read the SR release in SR_FOLDER."),
                                      QStringLiteral("SR_FOLDER")),
        .fdc =
            QCommandLineOption(QStringLiteral("fdc"),
                               QStringLiteral("Read the FoodData Central download in FDC_FOLDER."),
                               QStringLiteral("FDC_FOLDER")),
        .types = QCommandLineOption(
            QStringLiteral("types"),
            QStringLiteral("With --fdc, the food types to read, separated by commas: "
                           "sr_legacy_food, foundation_food, survey_fndds_food, branded_food "
                           "(default: all four)."),
            QStringLiteral("LIST")),
        .names = QCommandLineOption(
            QStringLiteral("names"),
            QStringLiteral("With a national table, the language of the names that become the "
                           "descriptions (default: en); a food without a name in it takes its "
                           "other name."),
            QStringLiteral("LANG")),
        .national = {},
    };
    for (const NationalReader& reader : kNationalReaders)
        o.national << QCommandLineOption(QLatin1StringView(reader.option),
                                         QLatin1StringView(reader.help),
                                         QLatin1StringView(reader.valueName));
    parser.addOptions({o.release, o.fdc, o.types});
    parser.addOptions(o.national);
    parser.addOption(o.names);
    parser.addPositionalArgument(QStringLiteral("DATA.csv"), QStringLiteral("The CSV source."),
                                 QStringLiteral("[DATA.csv]"));
    parser.addPositionalArgument(QStringLiteral("OUT.mdb"), QStringLiteral("The table to write."));
    return o;
}

// The request, or the exit status when the program ends now.
std::variant<BuildRequest, int> readMkdbCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    const MkdbOptions o = describeCommandLine(parser);
    if (const auto status =
            velmora::readCommandLine(parser, velmora::commandLineArguments(argc, argv), kUsage))
        return *status;
    QList<const QCommandLineOption*> once{&o.release, &o.fdc, &o.types, &o.names};
    for (const QCommandLineOption& option : o.national) once << &option;
    for (const QCommandLineOption* option : once)
        if (parser.values(*option).size() > 1)
            return velmora::usageError(
                QStringLiteral("--%1 given more than once").arg(option->names().first()), kUsage);
    BuildRequest r;
    r.fromRelease = parser.isSet(o.release);
    r.fromFdc = parser.isSet(o.fdc);
    int sources = r.fromRelease + r.fromFdc;
    for (qsizetype n = 0; n < o.national.size(); ++n)
        if (parser.isSet(o.national[n])) {
            r.national = &kNationalReaders[std::size_t(n)];
            r.input = parser.value(o.national[n]);
            ++sources;
        }
    const QStringList files = parser.positionalArguments();
    if (sources > 1 || (parser.isSet(o.types) && !r.fromFdc) ||
        (parser.isSet(o.names) && !r.national) || files.size() != (sources > 0 ? 1 : 2)) {
        std::fputs(qUtf8Printable(kUsage), stderr);
        return 2;
    }
    if (parser.isSet(o.types)) {
        QString unknown;
        const auto mask = typeMask(parser.value(o.types), unknown);
        if (!mask)
            return velmora::usageError(
                QStringLiteral("unknown food type \"%1\"").arg(velmora::printable(unknown)),
                kUsage);
        r.typeBits = *mask;
    }
    if (r.national && parser.isSet(o.names)) {
        r.names = parser.value(o.names);
        if (std::none_of(
                r.national->languages.begin(), r.national->languages.end(),
                [&](const char* language) { return r.names == QLatin1StringView(language); }))
            return velmora::usageError(
                QStringLiteral("--names is %1 with --%2, not \"%3\"")
                    .arg(languages(*r.national), QLatin1StringView(r.national->option),
                         velmora::printable(r.names)),
                kUsage);
    }
    if (!r.national)
        r.input = r.fromRelease ? parser.value(o.release)
                  : r.fromFdc   ? parser.value(o.fdc)
                                : files.first();
    r.output = files.last();
    return r;
}

// Reads the input into `sink`; what was read, as the last line counts it.
QString readInput(const BuildRequest& r, const RowSink& sink, QStringList& notes,
                  DatabaseOutput& database, QStringList& sourceLines) {
    if (r.national) {
        const NationalResult result = r.national->read(r.input, r.names, sink);
        database.setSourceRecord(result.source);
        sourceLines = velmora::sourceRecordLines(result.source);
        return result.counts;
    }
    if (r.fromFdc) return readFdcDownload(r.input, r.typeBits, sink).toString();
    const qsizetype foods =
        r.fromRelease ? readSrRelease(r.input, sink, &notes) : readFoodTableCsv(r.input, sink);
    return QStringLiteral("%1 foods").arg(foods);
}

// Builds the table; the exit status.
int build(const BuildRequest& r) {
    // The output first: a refused output, or one that cannot be written, must cost no reading.
    DatabaseOutput database;
    const QStringList inputs = r.national      ? r.national->inputFiles(r.input)
                               : r.fromRelease ? srReleaseFiles(r.input)
                               : r.fromFdc     ? fdcInputFiles(r.input)
                                               : QStringList{r.input};
    if (const auto error = database.open(r.output, inputs)) {
        printError(*error);
        return 1;
    }
    QString counts;
    QStringList notes, sourceLines;
    try {
        const auto error = database.write([&](const RowSink& sink) {
            counts = readInput(r, sink, notes, database, sourceLines);
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
    std::printf("%s: %s\n", velmora::printableLine(r.output).toLocal8Bit().constData(),
                qUtf8Printable(counts));
    for (const QString& line : sourceLines)
        std::printf("%s\n", qUtf8Printable(velmora::printableLine(line)));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QString locale = velmora::chooseUtf8Locale();
    QCoreApplication app(argc, argv);
    velmora::useRequestedLocale(locale);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-mkdb"));
    QCoreApplication::setApplicationVersion(velmora::kVersion);
    const auto request = readMkdbCommandLine(argc, argv);
    if (const int* status = std::get_if<int>(&request)) return *status;
    return build(std::get<BuildRequest>(request));
}
