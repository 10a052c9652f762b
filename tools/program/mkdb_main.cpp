// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-mkdb: builds the program's food table file from the CSV source, an SR release or a
// FoodData Central download, a national food table (Ciqual, the Canadian Nutrient File, NEVO,
// CoFID, BLS, AFCD), or a table built before, with the user's own foods and recipes after the
// source's foods.
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "common/utf8text.h"
#include "tools/formats/inputfile.h"
#include "tools/program/tablewriter.h"
#include "tools/sources/foodrow.h"
#include "tools/sources/ownfoods.h"
#include "tools/sources/readers.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <variant>
#include <vector>

namespace {

using namespace velmora::mkdb;

void printError(const QString& message) {
    Progress::instance().clear();
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

struct Source;

// What to build from where.
struct BuildRequest {
    const Source* source = nullptr;
    QString input, output;
    QStringList added, recipes;  // in the order given
    unsigned typeBits = (1u << kFdcTypes.size()) - 1;
    QString names;  // a national table's --names
};

QStringList oneFile(const QString& path) {
    return {path};
}

// A kind of input: its option (none for the CSV table), the files it reads from the path given,
// the languages --names takes (the first by default; none but for a national table), and the
// reader, which gives the rows to the sink.
struct Source {
    const char* option;
    const char* valueName;
    const char* help;
    std::array<const char*, 2> languages;
    QStringList (*inputs)(const QString& path);
    Built (*read)(const BuildRequest& r, const RowSink& sink, QStringList& notes);
};

// The places in kSources of the two the command line treats apart.
enum { kCsvSource = 0, kFdcSource = 2 };
const std::array<Source, 9> kSources{{
    {nullptr,
     "DATA.csv",
     "The CSV source.",
     {},
     [](const QString& path) { return QStringList{path}; },
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         if (isSqliteFile(r.input)) return readBuiltTable(r.input, sink);
         return Built{
             counted(readFoodTableCsv(r.input, sink), u"food"), csvSourceRecord(r.input), {}};
     }},
    {"sr",
     "SR_FOLDER",
     "Read the SR release in SR_FOLDER.",
     {},
     srReleaseFiles,
     [](const BuildRequest& r, const RowSink& sink, QStringList& notes) {
         return Built{
             counted(readSrRelease(r.input, sink, &notes), u"food"), srSourceRecord(r.input), {}};
     }},
    {"fdc",
     "FDC_FOLDER",
     "Read the FoodData Central download in FDC_FOLDER.",
     {},
     fdcInputFiles,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         QString version;
         const FdcCounts counts = readFdcDownload(r.input, r.typeBits, sink, &version);
         return Built{counts.toString(), fdcSourceRecord(r.input, counts, version), {}};
     }},
    {"ciqual",
     "CIQUAL_FOLDER",
     "Read the French Ciqual table in its XML form (alim_*.xml, const_*.xml, compo_*.xml) in "
     "CIQUAL_FOLDER.",
     {"en", "fr"},
     ciqualInputFiles,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readCiqual(r.input, r.names, sink);
     }},
    {"cnf",
     "CNF_FOLDER",
     "Read the Canadian Nutrient File in its CSV form (Food_Name.csv and the files beside it, or "
     "the 2015 release's FOOD NAME.csv and the files beside it) in CNF_FOLDER.",
     {"en", "fr"},
     cnfInputFiles,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readCnf(r.input, r.names, sink);
     }},
    {"nevo",
     "NEVO_FILE",
     "Read the Dutch NEVO table in its download form (one file, fields separated by \"|\") in "
     "NEVO_FILE.",
     {"en", "nl"},
     oneFile,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readNevo(r.input, r.names, sink);
     }},
    {"cofid",
     "COFID.xlsx",
     "Read the UK CoFID workbook (McCance and Widdowson's, sheets 1.3 Proximates and on) "
     "COFID.xlsx.",
     {"en", nullptr},
     oneFile,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readCofid(r.input, r.names, sink);
     }},
    {"bls",
     "BLS.xlsx",
     "Read the German BLS workbook (Bundeslebensmittelschluessel) BLS.xlsx.",
     {"en", "de"},
     oneFile,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readBls(r.input, r.names, sink);
     }},
    {"afcd",
     "AFCD.xlsx",
     "Read the Australian AFCD nutrient file workbook AFCD.xlsx (its per-100 g sheet).",
     {"en", nullptr},
     oneFile,
     [](const BuildRequest& r, const RowSink& sink, QStringList&) {
         return readAfcd(r.input, r.names, sink);
     }},
}};

// "en|fr": what --names takes with `source`; "en" for a table in one language.
QString languages(const Source& source) {
    if (!source.languages[1]) return QLatin1StringView(source.languages[0]);
    return QLatin1StringView(source.languages[0]) + u'|' + QLatin1StringView(source.languages[1]);
}

QString usage() {
    QString text = QStringLiteral(
        "usage: velmora-mkdb DATA.csv OUT.mdb\n"
        "       velmora-mkdb TABLE.mdb OUT.mdb\n");
    for (const Source& source : kSources) {
        if (!source.option) continue;
        text += QStringLiteral("       velmora-mkdb --%1 %2 OUT.mdb")
                    .arg(QLatin1StringView(source.option), QLatin1StringView(source.valueName));
        if (&source == &kSources[kFdcSource]) text += QStringLiteral(" [--types LIST]");
        if (source.languages[1]) text += QStringLiteral(" [--names %1]").arg(languages(source));
        text += u'\n';
    }
    return text + QStringLiteral(
                      "       each with --add FOODS.csv and --recipes RECIPES, as often as "
                      "needed\n"
                      "       velmora-mkdb --template\n");
}
const QString kUsage = usage();

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

struct SourceOption {
    const Source* source;
    QCommandLineOption option;
};

struct MkdbOptions {
    std::vector<SourceOption> sources;  // of the sources that have an option
    QCommandLineOption types, names, add, recipes, foodTemplate;
};

// What --template prints: every column, and a made-up food to start from. SELENIUM is left empty
// (not measured) and NDB_NO too (the build numbers it U1, U2, ...).
constexpr char kTemplate[] =
    "Description,WATER,ENERG_KCAL,PROTEIN,TOT_LIPID,CARBOHYDRT,FIBER_TD,ASH,CALCIUM,PHOSPHORUS,"
    "IRON,SODIUM,POTASSIUM,MAGNESIUM,ZINC,COPPER,MANGANESE,SELENIUM,VIT_A,VIT_E,THIAMIN,"
    "RIBOFLAVIN,NIACIN,PANTO_ACID,VIT_B6,FOLATE,VIT_B12,VIT_C,FA_SAT,FA_MONO,FA_POLY,CHOLESTRL,"
    "GMWT_1,GMWT_DESC1,GMWT_2,GMWT_DESC2,REFUSE_PCT,NDB_NO,CODE\n"
    "\"Granola bar, homemade (example)\",6.5,471,10.1,20.2,60.5,5.3,1.9,54,294,2.9,12,357,107,"
    "2.05,0.35,2.8,,42,3.6,0.32,0.14,1.7,0.65,0.19,38,0,0.6,3.9,8.1,7.2,0,28,1 bar,112,4 bars,0,"
    ",\n";

MkdbOptions describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Build a Velmora food table OUT.mdb from the CSV source DATA.csv, from a USDA SR release "
        "in its ASCII form (FOOD_DES.txt, NUT_DATA.txt, WEIGHT.txt) in SR_FOLDER, or from a "
        "FoodData Central download in its CSV form (food.csv, nutrient.csv, food_nutrient.csv "
        "and the files beside them) in FDC_FOLDER, or from a national food table: the French "
        "Ciqual table in its XML form in CIQUAL_FOLDER, the Canadian Nutrient File in its CSV "
        "form in CNF_FOLDER, the Dutch NEVO table in its download file NEVO_FILE, the UK's "
        "CoFID workbook COFID.xlsx, the German BLS workbook BLS.xlsx, the Australian AFCD "
        "workbook AFCD.xlsx; or from a table built before, TABLE.mdb (such as the installed "
        "/usr/share/velmora/Velmora.mdb), with its foods and source record: your own foods and "
        "recipes go onto it."));
    MkdbOptions o{
        {},
        QCommandLineOption(QStringLiteral("types"),
                           QStringLiteral("With --fdc, the food types to read, separated by "
                                          "commas: sr_legacy_food, foundation_food, "
                                          "survey_fndds_food, branded_food (default: all four)."),
                           QStringLiteral("LIST")),
        QCommandLineOption(QStringLiteral("names"),
                           QStringLiteral("With a national table, the language of the names that "
                                          "become the descriptions (default: en); a food without "
                                          "a name in it takes its other name."),
                           QStringLiteral("LANG")),
        QCommandLineOption(QStringLiteral("add"),
                           QStringLiteral("Add your own foods after the source's: a CSV file whose "
                                          "header names the columns it gives, in any order, "
                                          "Description among them (see --template); a column "
                                          "left out or a cell left empty is not measured, and a "
                                          "food without an NDB_NO is numbered U1, U2, ... May be "
                                          "given more than once."),
                           QStringLiteral("FOODS.csv")),
        QCommandLineOption(QStringLiteral("recipes"),
                           QStringLiteral("Make each recipe of the file RECIPES a food, after the "
                                          "added foods, of any food before it. May be given more "
                                          "than once."),
                           QStringLiteral("RECIPES")),
        QCommandLineOption(QStringLiteral("template"),
                           QStringLiteral("Print a header of every column and a made-up food, to "
                                          "start a file for --add from.")),
    };
    for (const Source& source : kSources)
        if (source.option)
            o.sources.push_back({&source, QCommandLineOption(QLatin1StringView(source.option),
                                                             QLatin1StringView(source.help),
                                                             QLatin1StringView(source.valueName))});
    for (const SourceOption& source : o.sources) parser.addOption(source.option);
    parser.addOptions({o.types, o.names, o.add, o.recipes, o.foodTemplate});
    parser.addPositionalArgument(QStringLiteral("DATA.csv"),
                                 QStringLiteral("The CSV source, or a table built before."),
                                 QStringLiteral("[DATA.csv|TABLE.mdb]"));
    parser.addPositionalArgument(QStringLiteral("OUT.mdb"), QStringLiteral("The table to write."));
    return o;
}

// Reads which source the options choose, and its path; what is wrong, or nothing.
QString readSource(const QCommandLineParser& parser, const MkdbOptions& o, BuildRequest& r) {
    r.source = &kSources[kCsvSource];
    for (const auto& [source, option] : o.sources) {
        if (!parser.isSet(option)) continue;
        if (r.source->option)
            return QStringLiteral("--%1 and --%2 exclude each other")
                .arg(QLatin1StringView(r.source->option), QLatin1StringView(source->option));
        if (QString problem = velmora::emptyFileName(parser, {&option}); !problem.isEmpty())
            return problem;
        r.source = source;
        r.input = parser.value(option);
    }
    if (parser.isSet(o.types) && r.source != &kSources[kFdcSource])
        return QStringLiteral("--types goes with --fdc only");
    if (QString problem = velmora::emptyFileName(parser, {&o.add, &o.recipes}); !problem.isEmpty())
        return problem;
    r.added = parser.values(o.add);
    r.recipes = parser.values(o.recipes);
    if (!r.source->languages[0])
        return parser.isSet(o.names) ? QStringLiteral("--names goes with a national table only")
                                     : QString();
    r.names =
        parser.isSet(o.names) ? parser.value(o.names) : QString::fromLatin1(r.source->languages[0]);
    if (std::none_of(r.source->languages.begin(), r.source->languages.end(),
                     [&](const char* language) {
                         return language && r.names == QLatin1StringView(language);
                     }))
        return QStringLiteral("--names is %1 with --%2, not \"%3\"")
            .arg(languages(*r.source), QLatin1StringView(r.source->option),
                 velmora::printable(r.names));
    return {};
}

// What is wrong with the request's files, or nothing.
QString readFiles(const QCommandLineParser& parser, BuildRequest& r) {
    const QStringList files = parser.positionalArguments();
    QStringList names{QStringLiteral("OUT.mdb")};
    if (!r.source->option) names.prepend(QStringLiteral("DATA.csv"));
    if (files.size() < names.size())
        return QStringLiteral("no %1 given").arg(names.sliced(files.size()).join(u" and "));
    if (files.size() > names.size())
        return QStringLiteral("unexpected argument '%1'")
            .arg(velmora::printable(files[names.size()]));
    for (qsizetype i = 0; i < files.size(); ++i)
        if (files[i].isEmpty()) return QStringLiteral("%1: the file name is empty").arg(names[i]);
    r.output = files.last();
    if (!r.source->option) r.input = files.first();
    return {};
}

// The request, or the exit status when the program ends now.
std::variant<BuildRequest, int> readMkdbCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const MkdbOptions o = describeCommandLine(parser);
    if (const auto status = velmora::readCommandLine(
            parser, arguments, kUsage, {QStringLiteral("add"), QStringLiteral("recipes")}))
        return *status;
    if (parser.isSet(o.foodTemplate)) {
        if (parser.optionNames().size() > 1 || !parser.positionalArguments().isEmpty())
            return velmora::usageError(QStringLiteral("--template takes no other arguments"),
                                       kUsage);
        std::fputs(kTemplate, stdout);
        return velmora::outputStatus();
    }
    BuildRequest r;
    QString problem = readSource(parser, o, r);
    if (problem.isEmpty()) problem = readFiles(parser, r);
    if (!problem.isEmpty()) return velmora::usageError(problem, kUsage);
    if (parser.isSet(o.types)) {
        QString unknown;
        const auto mask = typeMask(parser.value(o.types), unknown);
        if (!mask)
            return velmora::usageError(
                QStringLiteral("unknown food type \"%1\"").arg(velmora::printable(unknown)),
                kUsage);
        r.typeBits = *mask;
    }
    return r;
}

// How the counts line names the source: its file or folder without the folders above it.
QString sourceName(const QString& input) {
    const QString name = QFileInfo(QDir::cleanPath(input)).fileName();
    return name.isEmpty() ? input : name;
}

// Builds the table; the exit status.
int build(const BuildRequest& r) {
    // The output first: a refused output, or one that cannot be written, must cost no reading.
    DatabaseOutput database;
    if (const auto error =
            database.open(r.output, r.source->inputs(r.input) + r.added + r.recipes)) {
        printError(*error);
        return 1;
    }
    Built built;
    QStringList notes;
    OwnFoods own;
    try {
        own.read(r.added, r.recipes);
        DatabaseOutput::MoreRows recipes;
        if (own.hasRecipes())
            recipes = [&](const QString& table, const RowSink& sink) {
                own.writeRecipes(table, sink, notes);
            };
        const auto error = database.write(
            [&](const RowSink& sink) {
                built = r.source->read(r, own.noting(sink), notes);
                own.writeAdded(sink);
                built.counts = own.countsLine(sourceName(r.input), built.counts);
                if (built.source) own.noteIn(*built.source);
                return built.source;
            },
            recipes);
        if (error) {
            printError(*error);
            return 1;
        }
    } catch (const Fault& fault) {
        printError(fault.diagnostic.toString());
        return 1;
    } catch (const velmora::RunTimeError& e) {  // reading back the table being written
        printError(QStringLiteral("%1: %2").arg(velmora::printableLine(r.output), e.description()));
        return 1;
    } catch (const std::bad_alloc&) {
        // The temporary file goes with `database`, as after any other refusal.
        printError(QStringLiteral("%1: input too large (out of memory)")
                       .arg(velmora::printableLine(InputFile::current())));
        return 1;
    }
    Progress::instance().clear();
    notes << built.warnings;
    for (const QString& note : notes)
        std::fprintf(stderr, "velmora-mkdb: %s\n", note.toLocal8Bit().constData());
    std::printf("%s: %s\n", velmora::printableLine(r.output).toLocal8Bit().constData(),
                qUtf8Printable(built.counts));
    if (built.source)
        for (const QString& line : velmora::sourceRecordLines(*built.source))
            std::printf("%s\n", qUtf8Printable(velmora::printableLine(line)));
    return velmora::outputStatus();
}

}  // namespace

int main(int argc, char* argv[]) {
    const velmora::ProgramStart start(argc, argv, QStringLiteral("velmora-mkdb"),
                                      QStringLiteral("velmora-mkdb"));
    const auto request = readMkdbCommandLine(start.arguments());
    if (const int* status = std::get_if<int>(&request)) return *status;
    return build(std::get<BuildRequest>(request));
}
