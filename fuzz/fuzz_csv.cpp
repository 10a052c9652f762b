// The builder's CSV reader on any bytes: records or a fault with a sensible position, never a
// crash. Records it accepts write back as RFC 4180 and read again the same. An input that starts
// with "#" is food table rows instead: with the table's header in front, every number the table
// accepts is finite and survives its own text.
#include "common/vbtext.h"
#include "fuzzcheck.h"
#include "tools/csvreader.h"
#include "tools/foodtable.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <variant>

namespace {

using namespace velmora::mkdb;

QByteArray header() {
    QByteArray h;
    for (const Column& c : kColumns) {
        if (!h.isEmpty()) h += ',';
        h += QByteArray(c.name.data(), qsizetype(c.name.size()));
    }
    return h + '\n';
}

QByteArray writeBack(const CsvData& doc) {
    QByteArray out;
    for (const CsvRecord& r : doc.records) {
        for (std::size_t f = 0; f < r.fields.size(); ++f) {
            if (f > 0) out += ',';
            QByteArray text = r.fields[f].text.toUtf8();
            text.replace('"', "\"\"");
            out += '"' + text + '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    if (bytes.startsWith('#')) {
        FoodTable table;
        if (!foodTableFromCsv(header() + bytes.sliced(1).toByteArray(), QStringLiteral("fuzz.csv"),
                              table)) {
            for (const FoodRow& row : table)
                for (const Cell& cell : row)
                    if (const double* v = std::get_if<double>(&cell)) {
                        FUZZ_REQUIRE(std::isfinite(*v), "non-finite number accepted");
                        FUZZ_REQUIRE(parseNumber(QString::fromStdString(
                                         velmora::roundTripDecimal(*v))) == *v,
                                     "%.17g does not survive its text \"%s\"", *v,
                                     velmora::roundTripDecimal(*v).c_str());
                    }
        }
        return 0;
    }

    const CsvData doc = readCsv(bytes, QStringLiteral("fuzz.csv"));
    if (doc.error) {
        FUZZ_REQUIRE(doc.error->line >= 1 && doc.error->line <= bytes.count('\n') + 1 &&
                         doc.error->column >= 1 && doc.error->column <= qsizetype(size) + 1,
                     "fault at %lld:%lld in %zu bytes", static_cast<long long>(doc.error->line),
                     static_cast<long long>(doc.error->column), size);
    } else {
        const CsvData again = readCsv(writeBack(doc), QStringLiteral("again.csv"));
        FUZZ_REQUIRE(!again.error && again.records.size() == doc.records.size(),
                     "written-back records do not read again");
        for (std::size_t r = 0; r < doc.records.size(); ++r) {
            FUZZ_REQUIRE(again.records[r].fields.size() == doc.records[r].fields.size(),
                         "record %zu changed its field count", r);
            for (std::size_t f = 0; f < doc.records[r].fields.size(); ++f)
                FUZZ_REQUIRE(again.records[r].fields[f].text == doc.records[r].fields[f].text,
                             "field %zu of record %zu changed", f, r);
        }
    }
    return 0;
}
