// SPDX-License-Identifier: GPL-3.0-or-later
// Import from an official USDA SR release in its ASCII form: FOOD_DES.txt, NUT_DATA.txt and
// WEIGHT.txt, fields separated by "^", text fields enclosed in "~", code page 1252 (or UTF-8),
// CRLF lines.
#include "tools/sources/readers.h"
#include "tools/sources/srnutrients.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "tools/formats/recordscanner.h"

#include <QDir>
#include <QRegularExpression>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mkdb {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Fields separated by "^", text fields in "~", one record a line; code page 1252 in most
// releases, UTF-8 in some re-saved ones.
constexpr ScanFormat kReleaseFormat{.separator = '^',
                                    .quote = '~',
                                    .encoding = TextEncoding::Utf8ElseCp1252,
                                    .quotedLineBreaks = false};

// Field `index` (from 0) of the current line, with the release's field name for messages.
struct FieldRef {
    const RecordScanner& line;
    qsizetype index;
    const char* name;

    std::string_view text() const { return line[index]; }
    QString label() const {
        return QStringLiteral("%1 (field %2)").arg(QLatin1StringView(name)).arg(index + 1);
    }
    Fault error(const QString& what) const {
        return line.fault(index, label() + QStringLiteral(": ") + what);
    }
    double number() const { return line.amount(index, label()); }
    double optionalNumber() const { return line.optionalAmount(index, label()).value_or(kNone); }
};

void requireFields(RecordScanner& line, qsizetype count) {
    line.requireFields(count, "row", RecordScanner::kOrMore);
}

void noteEncoding(const RecordScanner& line, QStringList* notes) {
    if (const auto note = line.encodingNote(); note && notes) *notes << *note;
}

QString shown(std::string_view text) {
    return printable(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

struct Measure {
    double amount;
    std::string text;
    double grams;
};

struct Food {
    std::string number, group, description;
    double refuse = kNone;
    std::array<double, kNutrientSlots> amounts;
    std::map<double, Measure> measures;  // by Seq, so the first two are the lowest
};

using FoodIndex = std::unordered_map<std::string, std::size_t>;

// The food a NUT_DATA or WEIGHT row belongs to; unknown foods are errors, not skipped rows.
Food& findFood(const FieldRef& number, const FoodIndex& byNumber, std::vector<Food>& foods) {
    const auto found = byNumber.find(std::string(number.text()));
    if (found == byNumber.end())
        throw number.error(QStringLiteral("food %1 is not in FOOD_DES").arg(shown(number.text())));
    return foods[found->second];
}

void readFoods(InputFile& in, std::vector<Food>& foods, FoodIndex& byNumber, QStringList* notes) {
    RecordScanner line(in, kReleaseFormat);
    while (line.next()) {
        requireFields(line, 9);
        const FieldRef number{line, 0, "NDB_No"};
        if (number.text().empty()) throw number.error(QStringLiteral("empty"));
        const FieldRef description{line, 2, "Long_Desc"};
        if (description.text().empty()) throw description.error(QStringLiteral("empty"));
        Food food;
        food.refuse = FieldRef{line, 8, "Refuse"}.optionalNumber();
        if (!byNumber.emplace(std::string(number.text()), foods.size()).second)
            throw number.error(QStringLiteral("food %1 listed twice").arg(shown(number.text())));
        food.number = number.text();
        food.group = line[1];  // FdGrp_Cd
        food.description = description.text();
        food.amounts.fill(kNone);
        foods.push_back(std::move(food));
    }
    noteEncoding(line, notes);
    if (foods.empty()) throw Fault{{in.name(), 1, 1, QStringLiteral("no foods")}};
}

void readNutrients(InputFile& in, std::vector<Food>& foods, const FoodIndex& byNumber,
                   QStringList* notes) {
    RecordScanner line(in, kReleaseFormat);
    while (line.next()) {
        requireFields(line, 3);
        Food& food = findFood(FieldRef{line, 0, "NDB_No"}, byNumber, foods);
        const FieldRef nutrient{line, 1, "Nutr_No"};
        const double value = FieldRef{line, 2, "Nutr_Val"}.number();
        const int slot = nutrientSlot(nutrient.text());
        if (slot < 0) continue;  // a nutrient the table has no column for
        double& amount = food.amounts[std::size_t(slot)];
        if (!std::isnan(amount))
            throw nutrient.error(QStringLiteral("nutrient %1 of food %2 given twice")
                                     .arg(shown(nutrient.text()), shown(line[0])));
        amount = value;
    }
    noteEncoding(line, notes);
}

void readWeights(InputFile& in, std::vector<Food>& foods, const FoodIndex& byNumber,
                 QStringList* notes) {
    RecordScanner line(in, kReleaseFormat);
    while (line.next()) {
        requireFields(line, 5);
        Food& food = findFood(FieldRef{line, 0, "NDB_No"}, byNumber, foods);
        const FieldRef seq{line, 1, "Seq"};
        const double order = seq.number();
        const double amount = FieldRef{line, 2, "Amount"}.number();
        const double grams = FieldRef{line, 4, "Gm_Wgt"}.number();
        if (!food.measures.emplace(order, Measure{amount, std::string(line[3]), grams}).second)
            throw seq.error(QStringLiteral("measure %1 of food %2 given twice")
                                .arg(shown(seq.text()), shown(line[0])));
    }
    noteEncoding(line, notes);
}

qsizetype importRelease(InputFile& foodDes, InputFile& nutData, InputFile& weight,
                        const RowSink& sink, QStringList* notes) {
    std::vector<Food> foods;
    FoodIndex byNumber;
    readFoods(foodDes, foods, byNumber, notes);
    readNutrients(nutData, foods, byNumber, notes);
    readWeights(weight, foods, byNumber, notes);

    constexpr std::array<std::pair<int, int>, 2> kMeasureColumns{{
        {columnIndex("GMWT_1"), columnIndex("GMWT_DESC1")},
        {columnIndex("GMWT_2"), columnIndex("GMWT_DESC2")},
    }};
    FoodRow row;
    std::array<std::string, 2> measureTexts;
    for (const Food& food : foods) {
        row.fill(Cell{});
        row[columnIndex("Description")] = Cell::of(food.description);
        row[columnIndex("NDB_NO")] = Cell::of(food.number);
        if (!food.group.empty()) row[columnIndex("CODE")] = Cell::of(food.group);
        if (!std::isnan(food.refuse)) row[columnIndex("REFUSE_PCT")] = Cell::of(food.refuse);
        setNutrients(row, food.amounts);
        auto measure = food.measures.cbegin();
        for (std::size_t m = 0; m < kMeasureColumns.size() && measure != food.measures.cend();
             ++m, ++measure) {
            measureTexts[m] = roundTripDecimal(measure->second.amount) + ' ' + measure->second.text;
            row[std::size_t(kMeasureColumns[m].first)] = Cell::of(measure->second.grams);
            row[std::size_t(kMeasureColumns[m].second)] = Cell::of(measureTexts[m]);
        }
        sink(row);
    }
    return qsizetype(foods.size());
}

}  // namespace

qsizetype srTableFromFiles(const SrFile& foodDes, const SrFile& nutData, const SrFile& weight,
                           const RowSink& sink, QStringList* notes) {
    std::array<InputFile, 3> files;
    files[0].openMemory(foodDes.bytes, foodDes.name);
    files[1].openMemory(nutData.bytes, nutData.name);
    files[2].openMemory(weight.bytes, weight.name);
    return importRelease(files[0], files[1], files[2], sink, notes);
}

QStringList srReleaseFiles(const QString& folder) {
    QStringList paths;
    for (const char* name : {"FOOD_DES.txt", "NUT_DATA.txt", "WEIGHT.txt"})
        paths << folderEntry(folder, QLatin1StringView(name));
    return paths;
}

qsizetype readSrRelease(const QString& folder, const RowSink& sink, QStringList* notes) {
    const QStringList paths = srReleaseFiles(folder);
    std::array<InputFile, 3> files;
    for (std::size_t i = 0; i < files.size(); ++i) files[i].open(paths[qsizetype(i)]);
    return importRelease(files[0], files[1], files[2], sink, notes);
}

SourceRecord srSourceRecord(const QString& folder) {
    // A release's documentation is named after it: sr24_doc.pdf, SR-Legacy_Doc.pdf.
    static const QRegularExpression numbered(QStringLiteral("^sr[-_ ]?(\\d{1,2})[-_ ]?doc"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression legacy(QStringLiteral("^sr[-_ ]?leg(acy)?[-_ ]?doc"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString release;
    for (const QString& name : folderNames(folder, false)) {
        if (const QRegularExpressionMatch m = numbered.match(name); m.hasMatch())
            release = QStringLiteral("Release ") + QString::number(m.captured(1).toInt());
        else if (legacy.match(name).hasMatch())
            release = QStringLiteral("Legacy");
        if (!release.isEmpty()) break;
    }
    if (release.isEmpty()) {
        // "." names no release: the folder's own name does.
        const QString name = QDir::cleanPath(absoluteFileName(folder));
        release = printableLine(name.sliced(name.lastIndexOf(u'/') + 1));
    }
    return {
        .name = QStringLiteral("USDA National Nutrient Database for Standard Reference"),
        .shortName = QStringLiteral("USDA SR"),
        .version = release,
        .citation = QStringLiteral("U.S. Department of Agriculture, Agricultural Research "
                                   "Service. USDA National Nutrient Database for Standard "
                                   "Reference, %1")
                        .arg(release),
        .energy = QStringLiteral("kcal as published (208)"),
        .carbohydrate = QStringLiteral("carbohydrate by difference (205), as published"),
        .traces = 0,
        .belowLimit = 0,
        .notes = {},
        .noticeRequired = false,
        .zerosTested = true,
    };
}

}  // namespace velmora::mkdb
