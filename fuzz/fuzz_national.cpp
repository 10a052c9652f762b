// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV national tables on any bytes: the first byte picks the reader (NEVO, or the Canadian
// Nutrient File in its 2026 or its 2015 layout), the rest is the NEVO file or, split at the byte
// 0x1E, the release's five files. A table, or a fault naming a file of the release and a place in
// it.
#include "fuzzcheck.h"
#include "tools/formats/inputfile.h"
#include "tools/sources/readers.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

using namespace velmora::mkdb;

namespace {

const char* const kCnf2026[] = {"Food_Name.csv", "Nutrient_Name.csv", "Nutrient_Amount.csv",
                                "Measure_Name.csv", "Measure_Weight_Conversion.csv"};
const char* const kCnf2015[] = {"FOOD NAME.csv", "NUTRIENT NAME.csv", "NUTRIENT AMOUNT.csv",
                                "MEASURE NAME.csv", "CONVERSION FACTOR.csv"};

// The last line a reader can name in `bytes`, whatever ends lines: the one after the last, where
// a fault about what is missing stands.
qsizetype lastPlace(const QByteArray& bytes) {
    return bytes.count('\n') + bytes.count('\r') + 2;
}

}  // namespace

void fuzzOne(QByteArrayView input) {
    static QTemporaryDir dir;  // one folder, its files written anew for every input
    if (input.isEmpty()) return;
    const int kind = static_cast<unsigned char>(input[0]) % 3;
    const QByteArray rest = input.sliced(1).toByteArray();
    QMap<QString, QByteArray> files;  // path: content
    if (kind == 0) {
        files[dir.filePath(u"nevo.txt"_s)] = rest;
    } else {
        const QList<QByteArray> parts = rest.split('\x1E');
        for (int i = 0; i < 5; ++i) {
            const QString path =
                dir.filePath(QString::fromLatin1((kind == 1 ? kCnf2026 : kCnf2015)[i]));
            QFile::remove(path);
            QFile::remove(dir.filePath(QString::fromLatin1((kind == 1 ? kCnf2015 : kCnf2026)[i])));
            if (i < parts.size()) files[path] = parts[i];
        }
    }
    for (auto f = files.cbegin(); f != files.cend(); ++f) {
        QFile out(f.key());
        FUZZ_REQUIRE(out.open(QIODevice::WriteOnly) && out.write(f.value()) == f.value().size());
    }
    qsizetype rows = 0;
    const RowSink sink = [&](const FoodRow&) { ++rows; };
    try {
        if (kind == 0)
            readNevo(files.firstKey(), u"en"_s, sink);
        else
            readCnf(dir.path(), u"en"_s, sink);
    } catch (const Fault& fault) {
        const Diagnostic& e = fault.diagnostic;
        FUZZ_REQUIRE(!e.what.isEmpty() && e.line >= 0 && e.column >= 0);
        if (files.contains(e.file)) FUZZ_REQUIRE(e.line <= lastPlace(files[e.file]));
        return;
    }
    FUZZ_REQUIRE(rows >= 0);
}
