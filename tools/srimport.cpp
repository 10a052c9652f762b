// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/srimport.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/inputfile.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mkdb {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The lines of one caret file: fields separated by "^", text fields in "~", as raw bytes. Which
// encoding the text is in is known only at the end: finish() says.
class CaretReader {
  public:
    explicit CaretReader(InputFile& in) : in_(in) {
        while (in_.available() < 3 && in_.fill()) {
        }
        const std::string_view head(in_.begin(),
                                    std::size_t(std::min<qsizetype>(in_.available(), 3)));
        if (head.starts_with("\xEF\xBB\xBF")) {
            bom_ = true;
            in_.consume(3);
        } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
            throw Fault{{in_.name(), 1, 1,
                         QStringLiteral("the file is UTF-16 text; save it as UTF-8 or in code "
                                        "page 1252")}};
        }
    }

    bool next() {
        if (next_) in_.consume(next_ - in_.begin());
        next_ = nullptr;
        if (in_.available() == 0 && !in_.fill()) return false;
        ++line_;
        const char* lf = findLineFeed();
        start_ = in_.begin();
        const char* stop = lf ? lf : in_.end();
        next_ = lf ? lf + 1 : stop;
        if (!lf && stop > start_ && stop[-1] == '\x1A') --stop;  // DOS end-of-file mark
        if (!lf && stop == start_) return false;
        if (stop > start_ && stop[-1] == '\r') --stop;
        end_ = stop;
        checkBytes();
        split();
        return true;
    }

    qsizetype size() const { return qsizetype(fields_.size()); }
    std::string_view operator[](qsizetype i) const { return fields_[std::size_t(i)]; }
    Diagnostic at(qsizetype i, const QString& what) const {
        return positionAt(starts_[std::size_t(i)], what);
    }
    Diagnostic atEnd(const QString& what) const { return positionAt(end_, what); }

    // After the last line: true when the text is UTF-8. Throws the first byte the file's
    // encoding does not allow.
    bool finish(QStringList* notes) const {
        if (bom_ && badUtf8_) throw Fault{*badUtf8_};
        const bool utf8 = !badUtf8_ && (nonAscii_ || bom_);
        if (!utf8 && undefined_) throw Fault{*undefined_};
        if (utf8 && nonAscii_ && notes)
            *notes << QStringLiteral("%1: read as UTF-8").arg(printableLine(in_.name()));
        return utf8;
    }

  private:
    [[noreturn]] void fail(const char* at, const QString& what) const {
        throw Fault{positionAt(at, what)};
    }
    Diagnostic positionAt(const char* at, const QString& what, bool utf8 = true) const {
        return positionIn(in_.name(), line_, start_, at, what, utf8 && !badUtf8_ && nonAscii_);
    }

    const char* findLineFeed() {
        const char* from = in_.begin();
        for (;;) {
            const auto* lf =
                static_cast<const char*>(std::memchr(from, '\n', std::size_t(in_.end() - from)));
            if (lf && lf - in_.begin() <= kMaxRecordBytes) return lf;
            if (lf || in_.available() > kMaxRecordBytes) {
                start_ = in_.begin();
                if (const void* cr = std::memchr(start_, '\r', std::size_t(in_.available())))
                    fail(static_cast<const char*>(cr), crAlone());
                fail(start_, QStringLiteral("input too large: a line of more than %1 MB")
                                 .arg(kMaxRecordBytes >> 20));
            }
            const qsizetype offset = in_.available();
            if (!in_.fill()) return nullptr;
            from = in_.begin() + offset;
        }
    }

    static QString crAlone() {
        return QStringLiteral(
            "carriage return without line feed (lines must end in CR LF or "
            "LF, not in CR alone)");
    }

    // Control bytes that no encoding makes text, and what the encoding decides.
    void checkBytes() {
        for (const char* p = start_; p < end_; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            if (c == '\r') fail(p, crAlone());
            if (c == 0) fail(p, QStringLiteral("NUL byte (is this a text file?)"));
            if (c < 0x80) continue;
            nonAscii_ = true;
            if (!undefined_ && cp1252Char(c) == 0)
                undefined_ = positionAt(p,
                                        QStringLiteral("byte 0x%1 is not a code page 1252 "
                                                       "character")
                                            .arg(QString::number(c, 16).toUpper()),
                                        false);
            if (badUtf8_) continue;
            if (const qsizetype length = utf8SequenceLength(p, end_)) {
                p += length - 1;
            } else {
                badUtf8_ = positionAt(
                    p, QStringLiteral("invalid UTF-8 (byte 0x%1) in a file that starts with a "
                                      "UTF-8 byte order mark")
                           .arg(QString::number(c, 16).toUpper()));
            }
        }
    }

    void split() {
        fields_.clear();
        starts_.clear();
        const char* p = start_;
        for (;;) {
            starts_.push_back(p);
            if (p < end_ && *p == '~') {
                const auto* close =
                    static_cast<const char*>(std::memchr(p + 1, '~', std::size_t(end_ - p - 1)));
                if (!close) fail(p, QStringLiteral("unterminated ~text~ field"));
                fields_.emplace_back(p + 1, std::size_t(close - p - 1));
                p = close + 1;
                if (p < end_ && *p != '^')
                    fail(p, QStringLiteral("unexpected character after closing ~"));
            } else {
                const auto* caret =
                    static_cast<const char*>(std::memchr(p, '^', std::size_t(end_ - p)));
                const char* stop = caret ? caret : end_;
                if (const void* tilde = std::memchr(p, '~', std::size_t(stop - p)))
                    fail(static_cast<const char*>(tilde),
                         QStringLiteral("~ inside a field not enclosed in ~"));
                fields_.emplace_back(p, std::size_t(stop - p));
                p = stop;
            }
            if (p >= end_) return;
            ++p;  // past the "^"
        }
    }

    InputFile& in_;
    qsizetype line_ = 0;
    const char* start_ = nullptr;
    const char* end_ = nullptr;
    const char* next_ = nullptr;
    std::vector<std::string_view> fields_;
    std::vector<const char*> starts_;
    bool bom_ = false;
    bool nonAscii_ = false;
    std::optional<Diagnostic> badUtf8_;
    std::optional<Diagnostic> undefined_;
};

// Field `index` (from 0) of the current line, with the release's field name for messages.
struct FieldRef {
    const CaretReader& line;
    qsizetype index;
    const char* name;

    std::string_view text() const { return line[index]; }
    Fault error(const QString& what) const {
        return Fault{line.at(index, QStringLiteral("%1 (field %2): %3")
                                        .arg(QLatin1StringView(name))
                                        .arg(index + 1)
                                        .arg(what))};
    }
    // NaN for an empty field that may be empty.
    double number(bool required) const {
        if (text().empty()) {
            if (!required) return kNone;
            throw error(QStringLiteral("empty, expected a number"));
        }
        const auto value = plainNumber(text());
        if (!value) throw error(QStringLiteral("%1 is not a number").arg(quotedCell(text())));
        return *value;
    }
};

void requireFields(const CaretReader& line, qsizetype count) {
    if (line.size() < count)
        throw Fault{line.atEnd(
            QStringLiteral("row has %1 fields, expected at least %2").arg(line.size()).arg(count))};
}

QString shown(std::string_view digits) {
    return printable(QString::fromLatin1(digits.data(), qsizetype(digits.size())));
}

// Text of a file in code page 1252 as UTF-8.
std::string toUtf8(std::string_view raw, bool utf8) {
    if (utf8) return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    for (const char byte : raw) {
        const auto c = static_cast<unsigned char>(byte);
        const char32_t u = cp1252Char(c);
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

struct Measure {
    double amount;
    std::string text;
    double grams;
};

struct Food {
    std::string number, group, description;  // as the file has them, until its encoding is known
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

bool readFoods(InputFile& in, std::vector<Food>& foods, FoodIndex& byNumber, QStringList* notes) {
    CaretReader line(in);
    while (line.next()) {
        requireFields(line, 9);
        const FieldRef number{line, 0, "NDB_No"};
        if (number.text().empty()) throw number.error(QStringLiteral("empty"));
        const FieldRef description{line, 2, "Long_Desc"};
        if (description.text().empty()) throw description.error(QStringLiteral("empty"));
        Food food;
        food.refuse = FieldRef{line, 8, "Refuse"}.number(false);
        if (!byNumber.emplace(std::string(number.text()), foods.size()).second)
            throw number.error(QStringLiteral("food %1 listed twice").arg(shown(number.text())));
        food.number = number.text();
        food.group = line[1];  // FdGrp_Cd
        food.description = description.text();
        food.amounts.fill(kNone);
        foods.push_back(std::move(food));
    }
    const bool utf8 = line.finish(notes);
    for (Food& food : foods) {
        food.number = toUtf8(food.number, utf8);
        food.group = toUtf8(food.group, utf8);
        food.description = toUtf8(food.description, utf8);
    }
    if (foods.empty()) throw Fault{{in.name(), 1, 1, QStringLiteral("no foods")}};
    return utf8;
}

void readNutrients(InputFile& in, std::vector<Food>& foods, const FoodIndex& byNumber,
                   QStringList* notes) {
    CaretReader line(in);
    while (line.next()) {
        requireFields(line, 3);
        Food& food = findFood(FieldRef{line, 0, "NDB_No"}, byNumber, foods);
        const FieldRef nutrient{line, 1, "Nutr_No"};
        const double value = FieldRef{line, 2, "Nutr_Val"}.number(true);
        const int slot = nutrientSlot(nutrient.text());
        if (slot < 0) continue;  // a nutrient the table has no column for
        double& amount = food.amounts[std::size_t(slot)];
        if (!std::isnan(amount))
            throw nutrient.error(QStringLiteral("nutrient %1 of food %2 given twice")
                                     .arg(shown(nutrient.text()), shown(line[0])));
        amount = value;
    }
    line.finish(notes);
}

void readWeights(InputFile& in, std::vector<Food>& foods, const FoodIndex& byNumber,
                 QStringList* notes) {
    CaretReader line(in);
    while (line.next()) {
        requireFields(line, 5);
        Food& food = findFood(FieldRef{line, 0, "NDB_No"}, byNumber, foods);
        const FieldRef seq{line, 1, "Seq"};
        const double order = seq.number(true);
        const double amount = FieldRef{line, 2, "Amount"}.number(true);
        const double grams = FieldRef{line, 4, "Gm_Wgt"}.number(true);
        if (!food.measures.emplace(order, Measure{amount, std::string(line[3]), grams}).second)
            throw seq.error(QStringLiteral("measure %1 of food %2 given twice")
                                .arg(shown(seq.text()), shown(line[0])));
    }
    const bool utf8 = line.finish(notes);
    for (Food& food : foods)
        for (auto& [order, measure] : food.measures) measure.text = toUtf8(measure.text, utf8);
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

}  // namespace velmora::mkdb
