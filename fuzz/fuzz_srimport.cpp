// SPDX-License-Identifier: GPL-3.0-or-later
// The SR release import on any bytes, split into FOOD_DES, NUT_DATA and WEIGHT at the byte 0x1E:
// a table with one row per FOOD_DES line, or a fault placed inside one of the three files.
#include "fuzzcheck.h"
#include "tools/formats/inputfile.h"
#include "tools/sources/readers.h"

using namespace velmora::mkdb;

// Lines the reader sees: a DOS end-of-file mark dropped, the last line end optional.
static qsizetype lineCount(QByteArrayView bytes) {
    if (bytes.endsWith('\x1A')) bytes.chop(1);
    return bytes.count('\n') + (bytes.isEmpty() || bytes.endsWith('\n') ? 0 : 1);
}

void fuzzOne(QByteArrayView input) {
    const QList<QByteArray> parts = input.toByteArray().split('\x1E');
    const SrFile files[] = {{u"FOOD_DES.txt"_s, parts.value(0)},
                            {u"NUT_DATA.txt"_s, parts.value(1)},
                            {u"WEIGHT.txt"_s, parts.value(2)}};
    qsizetype rows = 0;
    try {
        srTableFromFiles(files[0], files[1], files[2], [&](const FoodRow&) { ++rows; });
    } catch (const Fault& fault) {
        const Diagnostic& e = fault.diagnostic;
        const SrFile* file = std::find_if(std::begin(files), std::end(files),
                                          [&](const SrFile& f) { return f.name == e.file; });
        return FUZZ_REQUIRE(file != std::end(files) && e.line >= 1 &&
                            e.line <= lineCount(file->bytes) + 1 && e.column >= 1 &&
                            e.column <= file->bytes.size() + 1);
    }
    FUZZ_REQUIRE(rows == lineCount(files[0].bytes));
}
