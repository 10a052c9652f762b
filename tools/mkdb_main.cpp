// velmora-mkdb: builds the program's food table file from the CSV source (or an SR release).
#include <QFile>
#include <QString>
#include <cstdio>
#include <string_view>

#include "tools/dbwriter.h"
#include "tools/foodtable.h"
#include "tools/srimport.h"

namespace {

void printError(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace velmora::mkdb;

    const bool fromRelease = argc == 4 && std::string_view(argv[1]) == "--sr";
    if (argc != 3 && !fromRelease) {
        std::fprintf(stderr,
                     "usage: velmora-mkdb DATA.csv OUT.mdb\n"
                     "       velmora-mkdb --sr SR_FOLDER OUT.mdb\n");
        return 2;
    }
    const QString input = QFile::decodeName(argv[argc - 2]);
    const QString output = QFile::decodeName(argv[argc - 1]);

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
