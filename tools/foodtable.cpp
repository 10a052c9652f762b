// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/foodtable.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/recordscanner.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace velmora::mkdb {

namespace {

consteval int slotOf(std::string_view column) {
    return columnIndex(column) - kFirstNutrientColumn;
}

// The SR number of each nutrient column's own nutrient, in column order.
constexpr std::array<std::string_view, kNutrientColumns> kColumnNumbers{
    "255", "208", "203", "204", "205", "291", "207", "301", "305", "303", "307",
    "306", "304", "309", "312", "315", "317", "318", "323", "404", "405", "406",
    "410", "415", "417", "418", "401", "606", "645", "646", "601",
};
static_assert(kColumnNumbers[slotOf("TOT_LIPID")] == "204" &&
              kColumnNumbers[slotOf("CHOLESTRL")] == "601");

constexpr std::array<NutrientMapping, kNutrientSlots> srMappings() {
    std::array<NutrientMapping, kNutrientSlots> mappings{};
    for (std::size_t slot = 0; slot < kColumnNumbers.size(); ++slot)
        mappings[slot] = {kColumnNumbers[slot], kFirstNutrientColumn + int(slot)};
    for (std::size_t i = 0; i < kStandIns.size(); ++i)
        mappings[kColumnNumbers.size() + i] = {kStandIns[i].number, kStandIns[i].column};
    return mappings;
}
constexpr std::array<NutrientMapping, kNutrientSlots> kSrMappings = srMappings();

}  // namespace

std::span<const NutrientMapping> srNutrientMappings() {
    return kSrMappings;
}

QString quotedCell(std::string_view utf8) {
    return u'"' + printable(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))) + u'"';
}

Amount readAmount(std::string_view text, char decimalPoint) {
    std::string number;
    if (decimalPoint != '.') {
        if (text.find('.') != std::string_view::npos) return {0, QStringLiteral("is not a number")};
        number = text;
        std::replace(number.begin(), number.end(), decimalPoint, '.');
        text = number;
    }
    const std::optional<double> value = plainNumber(text);
    if (!value && !isPlainNumberText(text)) return {0, QStringLiteral("is not a number")};
    if (!value || !(std::fabs(*value) <= kLargestAmount))
        return {0, QStringLiteral("is out of range (beyond ±10^%1)").arg(kLargestAmountPower)};
    return {*value, {}};
}

int nutrientSlot(std::string_view number) {
    for (int slot = 0; slot < kNutrientColumns; ++slot)
        if (kColumnNumbers[std::size_t(slot)] == number) return slot;
    for (std::size_t i = 0; i < kStandIns.size(); ++i)
        if (kStandIns[i].number == number) return kNutrientColumns + int(i);
    return -1;
}

void setNutrients(FoodRow& row, const std::array<double, kNutrientSlots>& amounts) {
    std::array<double, kNutrientColumns> columns;
    std::copy_n(amounts.begin(), kNutrientColumns, columns.begin());
    for (std::size_t i = 0; i < kStandIns.size(); ++i) {
        double& column = columns[std::size_t(kStandIns[i].column - kFirstNutrientColumn)];
        if (std::isnan(column)) column = amounts[std::size_t(kNutrientColumns) + i];
    }
    for (int c = 0; c < kNutrientColumns; ++c)
        row[std::size_t(kFirstNutrientColumn + c)] =
            std::isnan(columns[std::size_t(c)]) ? Cell{} : Cell::of(columns[std::size_t(c)]);
}

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
                                   .arg(quotedCell(csv[c]), quotedCell(expected)));
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

}  // namespace velmora::mkdb
