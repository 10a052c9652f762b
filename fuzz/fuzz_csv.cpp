// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's CSV reader on any bytes: a fault with a sensible position, or records that write
// back as RFC 4180 and read again the same. After a "#", food table rows under the table's
// header instead: every number the table accepts is finite and survives its own text.
#include "common/numbertext.h"
#include "fuzzcheck.h"
#include "tools/csvreader.h"
#include "tools/foodtable.h"

using namespace velmora::mkdb;

// Every field quoted: two record lists write the same only when they are the same. Empty when the
// input is refused, with the fault in `fault`.
static QByteArray readBack(QByteArrayView input, std::optional<Diagnostic>& fault) {
    QByteArray out;
    try {
        InputFile in;
        in.openMemory(input, u"fuzz.csv"_s);
        CsvReader csv(in);
        while (csv.next())
            for (qsizetype f = 0; f < csv.size(); ++f)
                out += '"' +
                       QByteArray(csv[f].data(), qsizetype(csv[f].size())).replace('"', "\"\"") +
                       (f + 1 < csv.size() ? "\"," : "\"\r\n");
    } catch (const Fault& f) {
        fault = f.diagnostic;
    }
    return out;
}

void fuzzOne(QByteArrayView input) {
    if (input.startsWith('#')) {
        QByteArray csv;
        for (const FoodColumn& c : kColumns) csv.append(QByteArrayView(c.name)).append(',');
        csv.back() = '\n';
        csv.append(input.sliced(1));
        InputFile in;
        in.openMemory(csv, u"fuzz.csv"_s);
        try {
            readFoodTableCsv(in, [](const FoodRow& row) {
                for (const Cell& cell : row)
                    if (cell.kind == Cell::Kind::Number)
                        FUZZ_REQUIRE(std::isfinite(cell.number) &&
                                     plainNumber(roundTripDecimal(cell.number)) == cell.number);
            });
        } catch (const Fault&) {
        }
        return;
    }
    std::optional<Diagnostic> e;
    const QByteArray records = readBack(input, e);
    if (e)
        return FUZZ_REQUIRE(e->line >= 1 && e->line <= input.count('\n') + 1 && e->column >= 1 &&
                            e->column <= input.size() + 1);
    std::optional<Diagnostic> again;
    FUZZ_REQUIRE(readBack(records, again) == records && !again);
}
