// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/srimport.h"

#include "common/vbtext.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <array>
#include <map>

namespace velmora::mkdb {

namespace {

// Code page 1252 bytes 0x80..0x9F; the rest of the upper half equals Latin-1. 0 = undefined.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

struct SrField {
    QString text;
    qsizetype column = 0;
};

struct SrLine {
    std::vector<SrField> fields;
    qsizetype line = 0;
    qsizetype endColumn = 0;
};

class CaretFile {
  public:
    explicit CaretFile(const SrFile& file) : file_(file) {}

    std::optional<Diagnostic> read(std::vector<SrLine>& lines) {
        QByteArrayView bytes = file_.bytes;
        if (bytes.endsWith('\x1A')) bytes.chop(1);  // DOS end-of-file mark of older releases
        qsizetype start = 0, lineNumber = 1;
        while (start < bytes.size()) {
            qsizetype end = bytes.indexOf('\n', start);
            const qsizetype next = end < 0 ? bytes.size() : end + 1;
            if (end < 0) end = bytes.size();
            if (end > start && bytes[end - 1] == '\r') --end;
            SrLine line;
            line.line = lineNumber;
            if (auto error = readLine(bytes.sliced(start, end - start), line)) return error;
            lines.push_back(std::move(line));
            start = next;
            ++lineNumber;
        }
        return std::nullopt;
    }

    Diagnostic at(qsizetype line, qsizetype column, const QString& what) const {
        return Diagnostic{file_.name, line, column, what};
    }

  private:
    std::optional<Diagnostic> decode(QByteArrayView raw, qsizetype line, qsizetype column,
                                     QString& text) const {
        text.clear();
        text.reserve(raw.size());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const auto byte = static_cast<unsigned char>(raw[i]);
            if (byte == '\r')
                return at(line, column + i, QStringLiteral("carriage return without line feed"));
            const char16_t unit = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
            if (unit == 0)
                return at(line, column + i,
                          QStringLiteral("byte 0x%1 is not a code page 1252 character")
                              .arg(QString::number(byte, 16).toUpper()));
            text += QChar(unit);
        }
        return std::nullopt;
    }

    std::optional<Diagnostic> readLine(QByteArrayView bytes, SrLine& line) const {
        qsizetype i = 0;
        for (;;) {
            SrField field;
            field.column = i + 1;
            qsizetype end;
            if (i < bytes.size() && bytes[i] == '~') {
                end = bytes.indexOf('~', i + 1);
                if (end < 0)
                    return at(line.line, i + 1, QStringLiteral("unterminated ~text~ field"));
                if (auto error =
                        decode(bytes.sliced(i + 1, end - i - 1), line.line, i + 2, field.text))
                    return error;
                ++end;
                if (end < bytes.size() && bytes[end] != '^')
                    return at(line.line, end + 1,
                              QStringLiteral("unexpected character after closing ~"));
            } else {
                end = bytes.indexOf('^', i);
                if (end < 0) end = bytes.size();
                const qsizetype tilde = bytes.sliced(i, end - i).indexOf('~');
                if (tilde >= 0)
                    return at(line.line, i + tilde + 1,
                              QStringLiteral("~ inside a field not enclosed in ~"));
                if (auto error = decode(bytes.sliced(i, end - i), line.line, i + 1, field.text))
                    return error;
            }
            line.fields.push_back(std::move(field));
            if (end >= bytes.size()) {
                line.endColumn = bytes.size() + 1;
                return std::nullopt;
            }
            i = end + 1;  // past the "^"
        }
    }

    const SrFile& file_;
};

// Reads one file and checks that every row has at least the fields that are used.
std::optional<Diagnostic> readRows(const SrFile& file, qsizetype minFields,
                                   std::vector<SrLine>& lines) {
    CaretFile reader(file);
    if (auto error = reader.read(lines)) return error;
    for (const SrLine& line : lines) {
        const auto count = static_cast<qsizetype>(line.fields.size());
        if (count < minFields)
            return reader.at(line.line, line.endColumn,
                             QStringLiteral("row has %1 fields, expected at least %2")
                                 .arg(count)
                                 .arg(minFields));
    }
    return std::nullopt;
}

// Field `index` (from 0) of a row, with the release's field name for messages.
struct FieldRef {
    const SrFile& file;
    const SrLine& line;
    qsizetype index;
    const char* name;

    const QString& text() const { return line.fields[index].text; }
    Diagnostic error(const QString& what) const {
        return Diagnostic{file.name, line.line, line.fields[index].column,
                          QStringLiteral("%1 (field %2): %3")
                              .arg(QLatin1StringView(name))
                              .arg(index + 1)
                              .arg(what)};
    }
    std::optional<Diagnostic> number(std::optional<double>& value, bool required) const {
        value.reset();
        if (text().isEmpty()) {
            if (!required) return std::nullopt;
            return error(QStringLiteral("empty, expected a number"));
        }
        value = parseNumber(text());
        if (!value) return error(QStringLiteral("\"%1\" is not a number").arg(text()));
        return std::nullopt;
    }
};

// Nutr_No -> column. Vitamin E (alpha-tocopherol, 323) falls back to 394, which some releases
// give instead.
constexpr int kVitE = columnIndex("VIT_E");
const QHash<QString, int>& nutrientColumns() {
    static const QHash<QString, int> columns{
        {QStringLiteral("255"), columnIndex("WATER")},
        {QStringLiteral("208"), columnIndex("ENERG_KCAL")},
        {QStringLiteral("203"), columnIndex("PROTEIN")},
        {QStringLiteral("204"), columnIndex("TOT_LIPID")},
        {QStringLiteral("205"), columnIndex("CARBOHYDRT")},
        {QStringLiteral("291"), columnIndex("FIBER_TD")},
        {QStringLiteral("207"), columnIndex("ASH")},
        {QStringLiteral("301"), columnIndex("CALCIUM")},
        {QStringLiteral("305"), columnIndex("PHOSPHORUS")},
        {QStringLiteral("303"), columnIndex("IRON")},
        {QStringLiteral("307"), columnIndex("SODIUM")},
        {QStringLiteral("306"), columnIndex("POTASSIUM")},
        {QStringLiteral("304"), columnIndex("MAGNESIUM")},
        {QStringLiteral("309"), columnIndex("ZINC")},
        {QStringLiteral("312"), columnIndex("COPPER")},
        {QStringLiteral("315"), columnIndex("MANGANESE")},
        {QStringLiteral("317"), columnIndex("SELENIUM")},
        {QStringLiteral("318"), columnIndex("VIT_A")},
        {QStringLiteral("323"), kVitE},
        {QStringLiteral("404"), columnIndex("THIAMIN")},
        {QStringLiteral("405"), columnIndex("RIBOFLAVIN")},
        {QStringLiteral("406"), columnIndex("NIACIN")},
        {QStringLiteral("410"), columnIndex("PANTO_ACID")},
        {QStringLiteral("415"), columnIndex("VIT_B6")},
        {QStringLiteral("417"), columnIndex("FOLATE")},
        {QStringLiteral("418"), columnIndex("VIT_B12")},
        {QStringLiteral("401"), columnIndex("VIT_C")},
        {QStringLiteral("606"), columnIndex("FA_SAT")},
        {QStringLiteral("645"), columnIndex("FA_MONO")},
        {QStringLiteral("646"), columnIndex("FA_POLY")},
        {QStringLiteral("601"), columnIndex("CHOLESTRL")},
    };
    return columns;
}
const QString kVitEFallback = QStringLiteral("394");

struct Measure {
    double amount;
    QString description;
    double grams;
};

struct Food {
    FoodRow row;
    std::optional<double> vitEFallback;
    std::map<double, Measure> measures;  // by Seq, so the first two are the lowest
};

std::optional<Diagnostic> readFoods(const SrFile& file, std::vector<Food>& foods,
                                    QHash<QString, std::size_t>& byNumber) {
    std::vector<SrLine> lines;
    if (auto error = readRows(file, 9, lines)) return error;
    for (const SrLine& line : lines) {
        const FieldRef number{file, line, 0, "NDB_No"};
        if (number.text().isEmpty()) return number.error(QStringLiteral("empty"));
        if (byNumber.contains(number.text()))
            return number.error(QStringLiteral("food %1 listed twice").arg(number.text()));
        std::optional<double> refuse;
        if (auto error = FieldRef{file, line, 8, "Refuse"}.number(refuse, false)) return error;

        Food food;
        const auto setText = [&](int column, qsizetype field) {
            if (!line.fields[field].text.isEmpty()) food.row[column] = line.fields[field].text;
        };
        setText(columnIndex("Description"), 2);  // Long_Desc
        setText(columnIndex("NDB_NO"), 0);
        setText(columnIndex("CODE"), 1);  // FdGrp_Cd
        if (refuse) food.row[columnIndex("REFUSE_PCT")] = *refuse;
        byNumber.insert(number.text(), foods.size());
        foods.push_back(std::move(food));
    }
    return std::nullopt;
}

// The food a NUT_DATA or WEIGHT row belongs to; unknown foods are errors, not skipped rows.
std::optional<Diagnostic> findFood(const FieldRef& number,
                                   const QHash<QString, std::size_t>& byNumber,
                                   std::vector<Food>& foods, Food*& food) {
    const auto found = byNumber.constFind(number.text());
    if (found == byNumber.cend())
        return number.error(QStringLiteral("food %1 is not in FOOD_DES").arg(number.text()));
    food = &foods[*found];
    return std::nullopt;
}

std::optional<Diagnostic> readNutrients(const SrFile& file, std::vector<Food>& foods,
                                        const QHash<QString, std::size_t>& byNumber) {
    std::vector<SrLine> lines;
    if (auto error = readRows(file, 3, lines)) return error;
    for (const SrLine& line : lines) {
        Food* food = nullptr;
        if (auto error = findFood(FieldRef{file, line, 0, "NDB_No"}, byNumber, foods, food))
            return error;
        const FieldRef nutrient{file, line, 1, "Nutr_No"};
        std::optional<double> value;
        if (auto error = FieldRef{file, line, 2, "Nutr_Val"}.number(value, true)) return error;

        std::optional<double>* slot = nullptr;
        Cell* cell = nullptr;
        if (nutrient.text() == kVitEFallback) {
            slot = &food->vitEFallback;
        } else if (const auto column = nutrientColumns().constFind(nutrient.text());
                   column != nutrientColumns().cend()) {
            cell = &food->row[*column];
        } else {
            continue;  // a nutrient the table has no column for
        }
        if ((slot && slot->has_value()) || (cell && !std::holds_alternative<std::monostate>(*cell)))
            return nutrient.error(QStringLiteral("nutrient %1 of food %2 given twice")
                                      .arg(nutrient.text(), line.fields[0].text));
        if (slot)
            *slot = *value;
        else
            *cell = *value;
    }
    for (Food& food : foods)
        if (std::holds_alternative<std::monostate>(food.row[kVitE]) && food.vitEFallback)
            food.row[kVitE] = *food.vitEFallback;
    return std::nullopt;
}

std::optional<Diagnostic> readWeights(const SrFile& file, std::vector<Food>& foods,
                                      const QHash<QString, std::size_t>& byNumber) {
    std::vector<SrLine> lines;
    if (auto error = readRows(file, 5, lines)) return error;
    for (const SrLine& line : lines) {
        Food* food = nullptr;
        if (auto error = findFood(FieldRef{file, line, 0, "NDB_No"}, byNumber, foods, food))
            return error;
        const FieldRef seqField{file, line, 1, "Seq"};
        std::optional<double> seq, amount, grams;
        if (auto error = seqField.number(seq, true)) return error;
        if (auto error = FieldRef{file, line, 2, "Amount"}.number(amount, true)) return error;
        if (auto error = FieldRef{file, line, 4, "Gm_Wgt"}.number(grams, true)) return error;
        const Measure measure{*amount, line.fields[3].text, *grams};
        if (!food->measures.emplace(*seq, measure).second)
            return seqField.error(QStringLiteral("measure %1 of food %2 given twice")
                                      .arg(seqField.text(), line.fields[0].text));
    }
    constexpr std::array<std::pair<int, int>, 2> kMeasureColumns{{
        {columnIndex("GMWT_1"), columnIndex("GMWT_DESC1")},
        {columnIndex("GMWT_2"), columnIndex("GMWT_DESC2")},
    }};
    for (Food& food : foods) {
        auto measure = food.measures.cbegin();
        for (const auto& [gramsColumn, textColumn] : kMeasureColumns) {
            if (measure == food.measures.cend()) break;
            food.row[gramsColumn] = measure->second.grams;
            food.row[textColumn] =
                QString::fromStdString(roundTripDecimal(measure->second.amount)) + u' ' +
                measure->second.description;
            ++measure;
        }
    }
    return std::nullopt;
}

std::optional<Diagnostic> readFile(const QString& path, SrFile& file) {
    file.name = path;
    QFile in(file.name);
    if (!in.open(QIODevice::ReadOnly))
        return Diagnostic{file.name, 1, 1, QStringLiteral("cannot read: %1").arg(in.errorString())};
    file.bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return Diagnostic{file.name, 1, 1, QStringLiteral("cannot read: %1").arg(in.errorString())};
    return std::nullopt;
}

}  // namespace

std::optional<Diagnostic> srTableFromFiles(const SrFile& foodDes, const SrFile& nutData,
                                           const SrFile& weight, FoodTable& table) {
    table.clear();
    std::vector<Food> foods;
    QHash<QString, std::size_t> byNumber;
    if (auto error = readFoods(foodDes, foods, byNumber)) return error;
    if (auto error = readNutrients(nutData, foods, byNumber)) return error;
    if (auto error = readWeights(weight, foods, byNumber)) return error;
    table.reserve(foods.size());
    for (Food& food : foods) table.push_back(std::move(food.row));
    return std::nullopt;
}

QStringList srReleaseFiles(const QString& folder) {
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files);
    QStringList paths;
    for (const QString& name : {QStringLiteral("FOOD_DES.txt"), QStringLiteral("NUT_DATA.txt"),
                                QStringLiteral("WEIGHT.txt")}) {
        paths << dir.filePath(name);
        for (const QString& entry : entries)
            if (entry.compare(name, Qt::CaseInsensitive) == 0) paths.back() = dir.filePath(entry);
    }
    return paths;
}

std::optional<Diagnostic> readSrRelease(const QString& folder, FoodTable& table) {
    table.clear();
    const QStringList paths = srReleaseFiles(folder);
    SrFile foodDes, nutData, weight;
    if (auto error = readFile(paths[0], foodDes)) return error;
    if (auto error = readFile(paths[1], nutData)) return error;
    if (auto error = readFile(paths[2], weight)) return error;
    return srTableFromFiles(foodDes, nutData, weight, table);
}

}  // namespace velmora::mkdb
