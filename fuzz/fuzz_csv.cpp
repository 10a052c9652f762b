// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's CSV reader on any bytes: a fault with a sensible position, or records that write
// back as RFC 4180 and read again the same. After a "#", food table rows under the table's
// header instead: every number the table accepts is finite and survives its own text.
#include "common/vbtext.h"
#include "fuzzcheck.h"
#include "tools/csvreader.h"
#include "tools/foodtable.h"

using namespace velmora::mkdb;

// Every field quoted: two record lists write the same only when they are the same.
static QByteArray writeBack(const CsvData& data) {
    QByteArray out;
    for (const CsvRecord& r : data.records)
        for (std::size_t f = 0; f < r.fields.size(); ++f)
            out += '"' + r.fields[f].text.toUtf8().replace('"', "\"\"") +
                   (f + 1 < r.fields.size() ? "\"," : "\"\r\n");
    return out;
}

void fuzzOne(QByteArrayView input) {
    if (input.startsWith('#')) {
        QByteArray csv;
        for (const FoodColumn& c : kColumns) csv.append(QByteArrayView(c.name)).append(',');
        csv.back() = '\n';
        FoodTable table;
        if (!foodTableFromCsv(csv.append(input.sliced(1)), u"fuzz.csv"_s, table))
            for (const FoodRow& row : table)
                for (const Cell& cell : row)
                    if (const double* v = std::get_if<double>(&cell))
                        FUZZ_REQUIRE(std::isfinite(*v) && parseNumber(QString::fromStdString(
                                                              roundTripDecimal(*v))) == *v);
        return;
    }
    const CsvData doc = readCsv(input, u"fuzz.csv"_s);
    if (const std::optional<Diagnostic>& e = doc.error)
        return FUZZ_REQUIRE(e->line >= 1 && e->line <= input.count('\n') + 1 && e->column >= 1 &&
                            e->column <= input.size() + 1);
    const CsvData again = readCsv(writeBack(doc), u"again.csv"_s);
    FUZZ_REQUIRE(!again.error && writeBack(again) == writeBack(doc));
}
