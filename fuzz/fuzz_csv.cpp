// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's record scanner on any bytes: a fault with a sensible position, or fields that are
// all UTF-8 and that, written back in the same format as UTF-8, read again the same. A first
// byte 0x01 to 0x04 picks a format other than RFC 4180 (SR's, a Latin-1 one padding its rows, a
// "|" one without quoting in the detected encoding, code page 1252). After a "#", food table rows
// under the table's header instead: every number the table accepts is finite, within the largest
// amount, and survives its own text.
#include "common/numbertext.h"
#include "common/utf8text.h"
#include "fooddb/foodcolumns.h"
#include "fuzzcheck.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/foodrow.h"
#include "tools/sources/readers.h"

using namespace velmora::mkdb;

static constexpr ScanFormat kFormats[] = {
    kCsvFormat,
    {.separator = '^',
     .quote = '~',
     .encoding = TextEncoding::Utf8ElseCp1252,
     .quotedLineBreaks = false},
    {.encoding = TextEncoding::Latin1, .trailingEmptyFields = true},
    {.separator = '|',
     .quote = '\0',
     .encoding = TextEncoding::Utf8ElseCp1252,
     .decimalPoint = ','},
    {.encoding = TextEncoding::Cp1252},
};

static bool isUtf8(std::string_view text) {
    for (const char* p = text.data(); p < text.data() + text.size();) {
        const qsizetype length = utf8SequenceLength(p, text.data() + text.size());
        if (length == 0) return false;
        p += length;
    }
    return true;
}

// Every field quoted (when the format quotes): two record lists write the same only when they are
// the same. Empty when the input is refused, with the fault in `fault`.
static QByteArray readBack(QByteArrayView input, const ScanFormat& format,
                           std::optional<Diagnostic>& fault) {
    const QByteArray quote = format.quote ? QByteArray(1, format.quote) : QByteArray();
    QByteArray out;
    try {
        InputFile in;
        in.openMemory(input, u"fuzz.csv"_s);
        RecordScanner scanner(in, format);
        while (scanner.next()) {
            for (qsizetype f = 0; f < scanner.size(); ++f) {
                const std::string_view field = scanner[f];
                FUZZ_REQUIRE(isUtf8(field));
                QByteArray text(field.data(), qsizetype(field.size()));
                if (!quote.isEmpty()) text.replace(quote, quote + quote);
                out += quote + text + quote + (f + 1 < scanner.size() ? format.separator : '\n');
            }
        }
    } catch (const Fault& f) {
        fault = f.diagnostic;
    }
    return out;
}

// `rows` after the header of every column, or with `header`, a file whose first line names its
// columns.
static void foodTable(QByteArrayView rows, bool header = false) {
    QByteArray csv;
    if (!header) {
        for (const FoodColumn& c : kColumns) csv.append(QByteArrayView(c.name)).append(',');
        csv.back() = '\n';
    }
    csv.append(rows);
    InputFile in;
    in.openMemory(csv, u"fuzz.csv"_s);
    try {
        readFoodTableCsv(in, [](const FoodRow& row) {
            for (const Cell& cell : row)
                if (cell.kind == Cell::Kind::Number)
                    FUZZ_REQUIRE(std::fabs(cell.number) <= kLargestAmount &&
                                 plainNumber(roundTripDecimal(cell.number)) == cell.number);
        });
    } catch (const Fault&) {
    }
}

void fuzzOne(QByteArrayView input) {
    if (input.startsWith('#')) return foodTable(input.sliced(1));
    if (input.startsWith('$')) return foodTable(input.sliced(1), true);
    const std::size_t pick = !input.isEmpty() && input[0] >= 1 && input[0] <= 4 ? input[0] : 0;
    if (pick) input = input.sliced(1);
    const ScanFormat& format = kFormats[pick];
    std::optional<Diagnostic> e;
    const QByteArray records = readBack(input, format, e);
    if (e)
        return FUZZ_REQUIRE(e->line >= 1 && e->line <= input.count('\n') + 1 && e->column >= 1 &&
                            e->column <= input.size() + 1);
    ScanFormat utf8 = format;
    utf8.encoding = TextEncoding::Utf8;
    utf8.trailingEmptyFields = false;
    std::optional<Diagnostic> again;
    FUZZ_REQUIRE(readBack(records, utf8, again) == records && !again);
}
