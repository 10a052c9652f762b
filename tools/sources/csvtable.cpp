// SPDX-License-Identifier: GPL-3.0-or-later
// The builder's own CSV form of the food table: the one the shipped table is built from, and the
// one own foods are written in.
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/readers.h"

#include <array>

namespace velmora::mkdb {

namespace {

// Where each column of the table stands in the file; -1 for one the header does not name.
using ColumnPlaces = std::array<qsizetype, kColumnCount>;

// The header names the columns it has, in any order, case ignored as other downloads' headers
// are: a user writes the few a food needs. A name that is no column is refused, so a typo cannot
// silently leave a nutrient not measured.
ColumnPlaces readHeader(const RecordScanner& csv) {
    ColumnPlaces place;
    place.fill(-1);
    for (qsizetype i = 0; i < csv.size(); ++i) {
        std::size_t c = 0;
        while (c < place.size() && !sameName(csv[i], kColumns[c].name)) ++c;
        if (c == place.size())
            throw csv.fault(i, QStringLiteral("header cell %1 is %2, which is no column of the "
                                              "food table (velmora-mkdb --template shows them)")
                                   .arg(i + 1)
                                   .arg(quoted(csv[i])));
        if (place[c] >= 0)
            throw csv.fault(i, QStringLiteral("header cell %1 names %2 again (cell %3)")
                                   .arg(i + 1)
                                   .arg(latin1(kColumns[c].name))
                                   .arg(place[c] + 1));
        place[c] = i;
    }
    if (place[0] < 0)
        throw csv.fault(0, QStringLiteral("the header names no Description column: every food "
                                          "needs one"));
    return place;
}

}  // namespace

qsizetype readFoodTableCsv(const QString& path, const RowSink& sink, qsizetype* line) {
    InputFile in;
    in.open(path);
    return readFoodTableCsv(in, sink, line);
}

qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink, qsizetype* line) {
    RecordScanner csv(in, kCsvFormat);
    if (!csv.next()) throw Fault{{in.name(), 1, 1, QStringLiteral("empty file: no header row")}};
    const ColumnPlaces place = readHeader(csv);
    const qsizetype fields = csv.size();
    std::array<QString, kColumnCount> labels;  // for messages
    for (int c = 0; c < kColumnCount; ++c)
        labels[std::size_t(c)] = latin1(kColumns[std::size_t(c)].name);
    qsizetype rows = 0;
    FoodRow row;
    while (csv.next()) {
        csv.requireFields(fields, "row");
        if (csv[place[0]].empty())
            throw csv.fault(place[0], QStringLiteral("the description is empty"));
        for (int c = 0; c < kColumnCount; ++c) {
            Cell& cell = row[std::size_t(c)];
            const qsizetype at = place[std::size_t(c)];
            if (at < 0) {
                cell = {};  // not named: not measured
            } else if (kColumns[std::size_t(c)].type == ColumnType::Text) {
                cell = csv[at].empty() ? Cell{} : Cell::of(csv[at]);
            } else if (const auto value = csv.optionalAmount(at, labels[std::size_t(c)])) {
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
