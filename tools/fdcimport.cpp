// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/fdcimport.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "tools/csvreader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mkdb {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kUndeterminedUnit = 9999;
constexpr qsizetype kRequiredFiles =
    3;  // the first of fdcInputFiles  // its name is in the portion's modifier

// fdc_id (and other ids) -> index, open addressing: millions of look-ups, no node per entry.
class IdMap {
  public:
    explicit IdMap(std::size_t expected = 16) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.assign(capacity, Slot{});
    }
    // False when `id` is there already.
    bool insert(std::uint32_t id, std::uint32_t value) {
        if ((count_ + 1) * 2 > slots_.size()) grow();
        Slot& slot = find(id);
        if (slot.key != 0) return false;
        slot = Slot{id + 1, value};
        ++count_;
        return true;
    }
    std::uint32_t value(std::uint32_t id) const {
        const Slot& slot = const_cast<IdMap*>(this)->find(id);
        return slot.key != 0 ? slot.value : kAbsent;
    }

  private:
    struct Slot {
        std::uint32_t key = 0;  // id + 1; 0 is empty
        std::uint32_t value = 0;
    };
    Slot& find(std::uint32_t id) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = (std::uint64_t(id) * 0x9E3779B97F4A7C15ull) >> 20 & mask;
        while (slots_[i].key != 0 && slots_[i].key != id + 1) i = (i + 1) & mask;
        return slots_[i];
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        count_ = 0;
        for (const Slot& slot : old)
            if (slot.key != 0) insert(slot.key - 1, slot.value);
    }
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// The texts kept per food, in one block instead of a string each.
struct Text {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};
class TextPool {
  public:
    Text add(std::string_view text) {
        if (data_.size() + text.size() > kAbsent) throw std::bad_alloc();
        const Text added{std::uint32_t(data_.size()), std::uint32_t(text.size())};
        data_.append(text);
        return added;
    }
    std::string_view view(Text text) const { return {data_.data() + text.offset, text.size}; }

  private:
    std::string data_;
};

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// The descriptions taken so far, compared as the table's NOCASE index compares them: ASCII
// letters without case, every other byte as it is.
class CaselessSet {
  public:
    CaselessSet(const TextPool& pool, std::size_t expected) : pool_(pool) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.assign(capacity, Text{0, kAbsent});
    }
    bool contains(std::string_view text) const { return slots_[find(text)].size != kAbsent; }
    void insert(Text text) { slots_[find(pool_.view(text))] = text; }

  private:
    static std::size_t hash(std::string_view text) {
        std::uint64_t h = 0xCBF29CE484222325ull;
        for (const char c : text)
            h = (h ^ static_cast<unsigned char>(asciiLower(c))) * 0x100000001B3ull;
        return std::size_t(h);
    }
    static bool same(std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return asciiLower(x) == asciiLower(y); });
    }
    std::size_t find(std::string_view text) const {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash(text) & mask;
        while (slots_[i].size != kAbsent && !same(pool_.view(slots_[i]), text)) i = (i + 1) & mask;
        return i;
    }
    const TextPool& pool_;
    std::vector<Text> slots_;
};

// A household measure that may become one of the food's two: the lowest (order, id) win.
struct Measure {
    double order = std::numeric_limits<double>::infinity();
    std::uint32_t id = kAbsent;
    double grams = 0;
    Text text;
    bool before(const Measure& other) const {
        return order < other.order || (order == other.order && id < other.id);
    }
};
using MeasurePair = std::array<Measure, 2>;

struct Food {
    std::uint32_t fdcId;
    std::uint32_t category;  // food_category_id, kAbsent for none
    std::uint8_t type;
    Text description;
    Text number;  // NDB number or food code; empty: the fdc_id stands in
    Text brandOwner;
    std::uint32_t measures = kAbsent;  // index into the measure pairs
};

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

std::uint32_t parseId(const CsvReader& csv, qsizetype column, std::string_view name) {
    const std::string_view text = csv[column];
    std::uint64_t value = 0;
    bool ok = !text.empty() && text.size() <= 10;
    for (const char c : text) {
        if (c < '0' || c > '9') ok = false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (!ok || value >= kAbsent)
        throw Fault{csv.at(
            column,
            QStringLiteral("%1: %2 is not a whole number").arg(latin1(name), quotedCell(text)))};
    return std::uint32_t(value);
}

double parseAmount(const CsvReader& csv, qsizetype column, std::string_view name) {
    const auto value = plainNumber(csv[column]);
    if (!value)
        throw Fault{csv.at(
            column,
            QStringLiteral("%1: %2 is not a number").arg(latin1(name), quotedCell(csv[column])))};
    return *value;
}

bool exists(const QString& path) {
    struct stat info {};
    return ::stat(encodeFileName(path).constData(), &info) == 0 || errno != ENOENT;
}

// One CSV file of the download with its header read and the wanted columns found.
class Table {
  public:
    Table(const QString& path, std::initializer_list<std::string_view> names) {
        in_.open(path);
        csv_.emplace(in_);
        if (!csv_->next()) throw Fault{{path, 1, 1, QStringLiteral("empty file: no header row")}};
        columns_ = headerColumns(*csv_, names);
        fields_ = csv_->size();
    }
    bool next() {
        if (!csv_->next()) return false;
        csv_->requireFields(fields_, QStringLiteral("row"));
        return true;
    }
    const CsvReader& row() const { return *csv_; }
    std::string_view operator[](std::size_t i) const { return (*csv_)[columns_[i]]; }
    qsizetype column(std::size_t i) const { return columns_[i]; }
    std::uint32_t id(std::size_t i, std::string_view name) const {
        return parseId(*csv_, columns_[i], name);
    }
    double amount(std::size_t i, std::string_view name) const {
        return parseAmount(*csv_, columns_[i], name);
    }
    Fault fault(std::size_t i, const QString& what) const {
        return Fault{csv_->at(columns_[i], what)};
    }
    const QString& path() const { return in_.name(); }
    qsizetype line() const { return csv_->line(); }

  private:
    InputFile in_;
    std::optional<CsvReader> csv_;
    std::vector<qsizetype> columns_;
    qsizetype fields_ = 0;
};

class Download {
  public:
    Download(const QString& folder, unsigned types) : folder_(folder), types_(types) {}

    FdcCounts read(const RowSink& sink) {
        // The required files first, so a missing one is refused before anything is read.
        for (const QString& path : fdcInputFiles(folder_).first(kRequiredFiles))
            if (!exists(path))
                throw Fault{{path, 1, 1, QStringLiteral("cannot read: No such file or directory")}};
        readFoods();
        for (std::size_t type = 0; type < kFdcTypes.size(); ++type)
            if (counts_.foods[type] > 0) readTypeFile(type);
        readCategories();
        readAmounts();
        readPortions();
        write(sink);
        return counts_;
    }

  private:
    QString path(std::string_view name) const {
        return folderEntry(folder_, QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
    Food& food(std::uint32_t index) { return foods_[index]; }

    void readFoods() {
        Table table(path("food.csv"), {"fdc_id", "data_type", "description", "food_category_id"});
        std::set<std::string> seen;  // the types the file has, for a refusal
        while (table.next()) {
            const std::string_view typeName = table[1];
            const auto type = std::find(kFdcTypes.begin(), kFdcTypes.end(), typeName);
            if (seen.size() < 20) seen.emplace(typeName);
            if (type == kFdcTypes.end() || !(types_ >> (type - kFdcTypes.begin()) & 1)) {
                ++counts_.otherFoods;
                continue;
            }
            Food food{};
            food.fdcId = table.id(0, "fdc_id");
            if (table[2].empty()) throw table.fault(2, QStringLiteral("the description is empty"));
            food.type = std::uint8_t(type - kFdcTypes.begin());
            food.description = pool_.add(table[2]);
            food.category = kAbsent;
            if (const auto category = plainNumber(table[3]); category && *category >= 0 &&
                                                             *category < kAbsent &&
                                                             std::floor(*category) == *category)
                food.category = std::uint32_t(*category);
            if (foods_.size() >= kAbsent) throw std::bad_alloc();
            if (!index_.insert(food.fdcId, std::uint32_t(foods_.size())))
                throw table.fault(0, QStringLiteral("fdc_id %1 listed twice").arg(food.fdcId));
            foods_.push_back(food);
            ++counts_.foods[food.type];
        }
        if (foods_.empty()) {
            QStringList wanted, found;
            for (std::size_t t = 0; t < kFdcTypes.size(); ++t)
                if (types_ >> t & 1) wanted << latin1(kFdcTypes[t]);
            for (const std::string& type : seen)
                found << (type.empty() ? QStringLiteral("(empty)")
                                       : printable(QString::fromUtf8(type)));
            throw Fault{
                {table.path(), table.line(), 1,
                 QStringLiteral("no foods of the types %1; the file has %2")
                     .arg(wanted.join(u", "),
                          found.isEmpty() ? QStringLiteral("no foods at all")
                                          : QStringLiteral("the types ") + found.join(u", "))}};
        }
        amounts_.assign(foods_.size() * kNutrientSlots, kNone);
    }

    // The food of this row when it is one of `type` that is read; else nothing.
    Food* foodOf(const Table& table, std::size_t column, int type = -1) {
        const std::uint32_t found = index_.value(table.id(column, "fdc_id"));
        if (found == kAbsent || (type >= 0 && foods_[found].type != type)) return nullptr;
        return &foods_[found];
    }

    void readTypeFile(std::size_t type) {
        const QString file = path(std::string(kFdcTypes[type]) + ".csv");
        if (!exists(file)) return;  // the foods keep their fdc_id and no label serving
        if (kFdcTypes[type] == "branded_food") return readBranded(file);
        const bool survey = kFdcTypes[type] == "survey_fndds_food";
        Table table(file, {"fdc_id", survey ? "food_code" : "NDB_number"});
        std::string padded;
        while (table.next()) {
            Food* food = foodOf(table, 0, int(type));
            if (!food || table[1].empty()) continue;
            padded = table[1];
            // NDB numbers as SR wrote them: five digits, zero-padded.
            if (!survey && padded.size() < 5 &&
                std::all_of(padded.begin(), padded.end(),
                            [](char c) { return c >= '0' && c <= '9'; }))
                padded.insert(0, 5 - padded.size(), '0');
            food->number = pool_.add(padded);
        }
    }

    void readBranded(const QString& file) {
        Table table(file, {"fdc_id", "brand_owner", "serving_size", "serving_size_unit",
                           "household_serving_fulltext"});
        while (table.next()) {
            Food* food = foodOf(table, 0, 3);
            if (!food) continue;
            food->brandOwner = pool_.add(table[1]);
            if (table[2].empty()) continue;
            const double grams = table.amount(2, "serving_size");
            const std::string_view unit = table[3];
            const bool inGrams = unit == "g" || unit == "G" || unit == "GRM" || unit == "grm";
            if (!inGrams || !(grams > 0)) continue;  // a millilitre serving weighs unknown grams
            Measure serving;
            serving.order = -std::numeric_limits<double>::infinity();  // before any portion
            serving.grams = grams;
            serving.text = pool_.add(table[4].empty() ? std::string_view("1 serving") : table[4]);
            offer(*food, serving);
        }
    }

    void readCategories() {
        const QString file = path("food_category.csv");
        if (!exists(file)) return;
        Table table(file, {"id", "code"});
        while (table.next()) categories_[table.id(0, "id")] = std::string(table[1].substr(0, 2));
    }

    void readAmounts() {
        IdMap slotOfNutrient;  // nutrient id -> slot
        {
            Table table(path("nutrient.csv"), {"id", "nutrient_nbr"});
            while (table.next()) {
                const int slot = nutrientSlot(table[1]);
                if (slot >= 0) slotOfNutrient.insert(table.id(0, "id"), std::uint32_t(slot));
            }
        }
        Table table(path("food_nutrient.csv"), {"fdc_id", "nutrient_id", "amount"});
        while (table.next()) {
            const std::uint32_t food = index_.value(table.id(0, "fdc_id"));
            if (food == kAbsent) {
                ++counts_.orphanAmounts;
                continue;
            }
            const std::uint32_t slot = slotOfNutrient.value(table.id(1, "nutrient_id"));
            if (slot == kAbsent || table[2].empty()) continue;
            const double value = table.amount(2, "amount");
            double& amount = amounts_[std::size_t(food) * kNutrientSlots + slot];
            if (!std::isnan(amount))
                ++counts_.repeatedAmounts;
            else
                amount = value;
        }
    }

    void readPortions() {
        const QString file = path("food_portion.csv");
        if (!exists(file)) return;
        std::unordered_map<std::uint32_t, std::string> units;
        if (const QString unitFile = path("measure_unit.csv"); exists(unitFile)) {
            Table table(unitFile, {"id", "name"});
            while (table.next()) units[table.id(0, "id")] = table[1];
        }
        Table table(file, {"fdc_id", "seq_num", "amount", "measure_unit_id", "portion_description",
                           "modifier", "gram_weight", "id"});
        std::string text;
        while (table.next()) {
            Food* food = foodOf(table, 0);
            if (!food || table[6].empty()) continue;
            Measure portion;
            portion.grams = table.amount(6, "gram_weight");
            if (!(portion.grams > 0)) continue;
            if (!table[1].empty()) portion.order = table.amount(1, "seq_num");
            portion.id = table.id(7, "id");
            const std::string amount =
                table[2].empty() ? std::string() : roundTripDecimal(table.amount(2, "amount"));
            if (!table[4].empty()) {
                text = table[4];
            } else {
                const std::uint32_t unitId = table.id(3, "measure_unit_id");
                std::string_view unit = table[5], modifier;
                if (unitId != kUndeterminedUnit) {
                    const auto found = units.find(unitId);
                    if (found == units.end())
                        throw table.fault(
                            3, QStringLiteral("measure unit %1 is not in measure_unit.csv")
                                   .arg(unitId));
                    unit = found->second;
                    modifier = table[5];
                }
                text = amount;
                if (!text.empty() && !unit.empty()) text += ' ';
                text += unit;
                if (!unit.empty() && !modifier.empty()) text.append(", ").append(modifier);
            }
            portion.text = pool_.add(text);
            offer(*food, portion);
        }
    }

    void offer(Food& food, const Measure& measure) {
        if (food.measures == kAbsent) {
            food.measures = std::uint32_t(measures_.size());
            measures_.emplace_back();
        }
        MeasurePair& pair = measures_[food.measures];
        if (measure.before(pair[0])) {
            pair[1] = pair[0];
            pair[0] = measure;
        } else if (measure.before(pair[1])) {
            pair[1] = measure;
        }
    }

    void write(const RowSink& sink) {
        std::vector<std::uint32_t> order(foods_.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return std::pair(foods_[a].type, foods_[a].fdcId) <
                   std::pair(foods_[b].type, foods_[b].fdcId);
        });
        CaselessSet taken(pool_, foods_.size());
        FoodRow row;
        std::array<double, kNutrientSlots> amounts;
        std::string description, number;
        for (const std::uint32_t i : order) {
            const Food& food = foods_[i];
            Text final = food.description;
            if (taken.contains(pool_.view(final))) {
                description = pool_.view(food.description);
                if (food.brandOwner.size > 0)
                    description.append(" (").append(pool_.view(food.brandOwner)).append(")");
                while (taken.contains(description))
                    description.append(" [FDC ").append(std::to_string(food.fdcId)).append("]");
                final = pool_.add(description);
                ++counts_.madeUnique;
            }
            taken.insert(final);

            row.fill(Cell{});
            row[columnIndex("Description")] = Cell::of(pool_.view(final));
            std::copy_n(amounts_.begin() + std::ptrdiff_t(i) * kNutrientSlots, kNutrientSlots,
                        amounts.begin());
            setNutrients(row, amounts);
            if (food.measures != kAbsent) {
                const MeasurePair& pair = measures_[food.measures];
                const auto set = [&](const Measure& m, int grams, int text) {
                    if (m.id == kAbsent && m.order == std::numeric_limits<double>::infinity())
                        return;  // no such measure
                    row[std::size_t(grams)] = Cell::of(m.grams);
                    row[std::size_t(text)] = Cell::of(pool_.view(m.text));
                };
                set(pair[0], columnIndex("GMWT_1"), columnIndex("GMWT_DESC1"));
                set(pair[1], columnIndex("GMWT_2"), columnIndex("GMWT_DESC2"));
            }
            number = food.number.size > 0 ? std::string(pool_.view(food.number))
                                          : std::to_string(food.fdcId);
            row[columnIndex("NDB_NO")] = Cell::of(number);
            if (const auto category = categories_.find(food.category);
                category != categories_.end() && !category->second.empty())
                row[columnIndex("CODE")] = Cell::of(category->second);
            sink(row);
        }
    }

    QString folder_;
    unsigned types_;
    FdcCounts counts_;
    std::vector<Food> foods_;
    IdMap index_{1 << 16};
    TextPool pool_;
    std::vector<double> amounts_;  // kNutrientSlots per food, NaN where the food has none
    std::vector<MeasurePair> measures_;
    std::unordered_map<std::uint32_t, std::string> categories_;  // id -> the code's group digits
};

}  // namespace

qsizetype FdcCounts::total() const {
    qsizetype sum = 0;
    for (const qsizetype n : foods) sum += n;
    return sum;
}

QString FdcCounts::toString() const {
    QStringList types;
    for (std::size_t t = 0; t < kFdcTypes.size(); ++t)
        types << QStringLiteral("%1 %2").arg(latin1(kFdcTypes[t])).arg(foods[t]);
    return QStringLiteral(
               "%1 foods (%2); skipped %3 food rows of other types and %4 "
               "food_nutrient rows of no such food, %5 repeated amounts; %6 "
               "descriptions made unique")
        .arg(total())
        .arg(types.join(u", "))
        .arg(otherFoods)
        .arg(orphanAmounts)
        .arg(repeatedAmounts)
        .arg(madeUnique);
}

QStringList fdcInputFiles(const QString& folder) {
    QStringList paths;
    for (const char* name : {"food.csv", "nutrient.csv", "food_nutrient.csv", "food_portion.csv",
                             "measure_unit.csv", "food_category.csv"})
        paths << folderEntry(folder, QLatin1StringView(name));
    for (const std::string_view type : kFdcTypes)
        paths << folderEntry(folder, latin1(type) + QStringLiteral(".csv"));
    return paths;
}

FdcCounts readFdcDownload(const QString& folder, unsigned types, const RowSink& sink) {
    return Download(folder, types).read(sink);
}

}  // namespace velmora::mkdb
