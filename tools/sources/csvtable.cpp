// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's own CSV form of the food table: the one the shipped table is built from, and the
// one own foods are written in.
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/readers.h"

#include <array>

namespace velmora::mkdb {

qsizetype readFoodTableCsv(const QString& path, const RowSink& sink, qsizetype* line) {
    InputFile in;
    in.open(path);
    return readFoodTableCsv(in, sink, line);
}

qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink, qsizetype* line) {
    RecordScanner csv(in, kCsvFormat);
    if (!csv.next()) throw Fault{{in.name(), 1, 1, QStringLiteral("empty file: no header row")}};
    csv.requireFields(kColumnCount, "header");
    for (int c = 0; c < kColumnCount; ++c) {
        const std::string_view expected = kColumns[std::size_t(c)].name;
        if (csv[c] != expected)
            throw csv.fault(c, QStringLiteral("header cell %1 is %2, expected %3")
                                   .arg(c + 1)
                                   .arg(quoted(csv[c]), quoted(expected)));
    }
    std::array<QString, kColumnCount> labels;  // for messages
    for (int c = 0; c < kColumnCount; ++c)
        labels[std::size_t(c)] = latin1(kColumns[std::size_t(c)].name);
    qsizetype rows = 0;
    FoodRow row;
    while (csv.next()) {
        csv.requireFields(kColumnCount, "row");
        if (csv[0].empty()) throw csv.fault(0, QStringLiteral("the description is empty"));
        for (int c = 0; c < kColumnCount; ++c) {
            Cell& cell = row[std::size_t(c)];
            if (kColumns[std::size_t(c)].type == ColumnType::Text) {
                cell = csv[c].empty() ? Cell{} : Cell::of(csv[c]);
            } else if (const auto value = csv.optionalAmount(c, labels[std::size_t(c)])) {
                cell = Cell::of(*value);
            } else {
                cell = {};  // Null: not measured, which is not 0
            }
        }
        if (line) *line = csv.line();
        sink(row);
        ++rows;
    }
    if (rows == 0)
        throw Fault{
            {in.name(), csv.line(), 1, QStringLiteral("no foods: the file has a header only")}};
    return rows;
}

SourceRecord csvSourceRecord(const QString& path) {
    // Only what the file itself says: its name. Nothing that changes from build to build (a
    // date, a folder) goes in, so the shipped table is built the same each time.
    // Escaped: a file name need not be text, the record is.
    const QString name = printableLine(path.sliced(path.lastIndexOf(u'/') + 1));
    return {
        .name = name,
        .shortName = name,
        .version = {},
        .citation = {},
        .energy = QStringLiteral("as given in the file"),
        .carbohydrate = QStringLiteral("as given in the file"),
        .traces = 0,
        .belowLimit = 0,
        .notes = {},
        .noticeRequired = false,
        .zerosTested = false,
    };
}

}  // namespace velmora::mkdb
