// SPDX-License-Identifier: GPL-3.0-or-later
// Import from a FoodData Central download in its CSV form: the folder holding food.csv,
// nutrient.csv and food_nutrient.csv, with food_portion.csv, measure_unit.csv, food_category.csv
// and one file per food type beside them. Columns are found by their header names, as releases
// add columns. Only what the table needs is kept per food, so a full download of about half a
// million foods and 26 million amounts is read in bounded memory.
#include "tools/sources/readers.h"
#include "tools/sources/srnutrients.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/sources/importstore.h"

#include <QDir>
#include <QRegularExpression>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mkdb {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
// A portion's measure_unit_id when its unit has no name of its own: the name is in the portion's
// modifier.
constexpr std::uint32_t kUndeterminedUnit = 9999;
constexpr qsizetype kRequiredFiles = 3;  // the first of fdcInputFiles
static_assert(kFdcTypes[kBrandedFood] == "branded_food" &&
              kFdcTypes[kSurveyFood] == "survey_fndds_food");

// A household measure that may become one of the food's two: the lowest (order, id) win.
struct Measure {
    bool present = false;
    double order = std::numeric_limits<double>::infinity();  // seq_num; none: after the others
    std::uint32_t id = 0;                                    // food_portion's id
    double grams = 0;
    Text text;
    bool before(const Measure& other) const {
        if (present != other.present) return present;
        return order < other.order || (order == other.order && id < other.id);
    }
};
using MeasurePair = std::array<Measure, 2>;

struct Food {
    static constexpr std::uint32_t kNoCategory = 0xFFFFFFFF;
    static constexpr std::uint32_t kNoMeasures = 0xFFFFFFFF;
    std::uint32_t fdcId = 0;
    std::uint32_t category = kNoCategory;  // food_category_id
    FdcType type = kSrLegacyFood;
    Text description;
    Text number;  // NDB number or food code; empty: the fdc_id stands in
    Text brandOwner;
    std::uint32_t measures = kNoMeasures;  // index into the measure pairs
};

// Whether the entry `path` is there, a link to nothing included: an optional file that is there
// must be read, so that a broken one is refused instead of its measures going missing unseen.
bool exists(const QString& path) {
    struct stat info {};
    return ::lstat(encodeFileName(path).constData(), &info) == 0 || errno != ENOENT;
}

// NDB numbers as SR wrote them: five digits, zero-padded.
std::string paddedNdbNumber(std::string_view number) {
    std::string padded(number);
    if (padded.size() < 5 &&
        std::all_of(padded.begin(), padded.end(), [](char c) { return c >= '0' && c <= '9'; }))
        padded.insert(0, 5 - padded.size(), '0');
    return padded;
}

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
            if (counts_.foods[type] > 0) readTypeFile(FdcType(type));
        readCategories();
        readAmounts();
        readPortions();
        write(sink);
        return counts_;
    }

    // The latest publication date of the foods read, "YYYY-MM-DD"; empty when none gives one.
    const std::string& latestDate() const { return latest_; }

  private:
    QString path(std::string_view name) const { return folderEntry(folder_, latin1(name)); }

    void noteDate(std::string_view date) {
        // ISO dates, perhaps with a time: compared as text they sort by time.
        if (date.size() < 10) return;
        date = date.substr(0, 10);
        const bool iso = std::all_of(date.begin(), date.end(),
                                     [](char c) { return (c >= '0' && c <= '9') || c == '-'; }) &&
                         date[4] == '-' && date[7] == '-';
        if (iso && date > latest_) latest_ = date;
    }

    void readFoods() {
        enum { FdcId, DataType, Description, Category };
        TableFile table(path("food.csv"),
                        {"fdc_id", "data_type", "description", "food_category_id"});
        // Older downloads have no publication_date; the latest of the foods read dates the table.
        const qsizetype published = table.columnOf("publication_date");
        std::set<std::string> seen;  // the types the file has, for a refusal
        while (table.next()) {
            const std::string_view typeName = table[DataType];
            const auto type = std::find(kFdcTypes.begin(), kFdcTypes.end(), typeName);
            if (seen.size() < 20) seen.emplace(typeName);
            if (type == kFdcTypes.end() || !(types_ >> (type - kFdcTypes.begin()) & 1)) {
                ++counts_.otherFoods;
                continue;
            }
            Food food;
            food.fdcId = table.id(FdcId);
            if (table[Description].empty())
                throw table.fault(Description, QStringLiteral("the description is empty"));
            food.type = FdcType(type - kFdcTypes.begin());
            food.description = pool_.add(table[Description]);
            if (const auto category = plainNumber(table[Category]);
                category && *category >= 0 && *category < Food::kNoCategory &&
                std::floor(*category) == *category)
                food.category = std::uint32_t(*category);
            if (foods_.size() >= IdMap::kMissing) throw std::bad_alloc();
            if (!index_.insert(food.fdcId, std::uint32_t(foods_.size())))
                throw table.fault(FdcId, QStringLiteral("fdc_id %1 listed twice").arg(food.fdcId));
            foods_.push_back(food);
            ++counts_.foods[food.type];
            if (published >= 0) noteDate(table.row()[published]);
        }
        if (foods_.empty()) refuseNoFoods(table, seen);
        amounts_.assign(foods_.size() * kNutrientSlots, kNone);
    }

    [[noreturn]] void refuseNoFoods(const TableFile& table, const std::set<std::string>& seen) {
        QStringList wanted, found;
        for (std::size_t t = 0; t < kFdcTypes.size(); ++t)
            if (types_ >> t & 1) wanted << latin1(kFdcTypes[t]);
        for (const std::string& type : seen)
            found << (type.empty() ? QStringLiteral("(empty)")
                                   : printable(QString::fromUtf8(type)));
        throw Fault{{table.path(), table.line(), 1,
                     QStringLiteral("no foods of the types %1; the file has %2")
                         .arg(wanted.join(u", "),
                              found.isEmpty() ? QStringLiteral("no foods at all")
                                              : QStringLiteral("the types ") + found.join(u", "))}};
    }

    // The food whose fdc_id is in column `column` of the row, when it is one that is read (and
    // of `type`, when one is given); else nothing.
    Food* foodOf(const TableFile& table, std::size_t column,
                 std::optional<FdcType> type = std::nullopt) {
        const std::uint32_t found = index_.value(table.id(column));
        if (found == IdMap::kMissing || (type && foods_[found].type != *type)) return nullptr;
        return &foods_[found];
    }

    void readTypeFile(FdcType type) {
        const QString file = path(std::string(kFdcTypes[type]) + ".csv");
        if (!exists(file)) return;  // the foods keep their fdc_id and no label serving
        if (type == kBrandedFood) return readBranded(file);
        enum { FdcId, Number };
        TableFile table(file, {"fdc_id", type == kSurveyFood ? "food_code" : "NDB_number"});
        while (table.next()) {
            Food* food = foodOf(table, FdcId, type);
            if (!food || table[Number].empty()) continue;
            food->number = pool_.add(type == kSurveyFood ? std::string(table[Number])
                                                         : paddedNdbNumber(table[Number]));
        }
    }

    void readBranded(const QString& file) {
        enum { FdcId, BrandOwner, ServingSize, ServingUnit, HouseholdServing };
        TableFile table(file, {"fdc_id", "brand_owner", "serving_size", "serving_size_unit",
                               "household_serving_fulltext"});
        while (table.next()) {
            Food* food = foodOf(table, FdcId, kBrandedFood);
            if (!food) continue;
            food->brandOwner = pool_.add(table[BrandOwner]);
            const auto grams = table.optionalAmount(ServingSize);
            const std::string_view unit = table[ServingUnit];
            const bool inGrams = unit == "g" || unit == "G" || unit == "GRM" || unit == "grm";
            if (!grams || !inGrams || !(*grams > 0)) continue;  // ml: a weight unknown
            Measure serving;
            serving.present = true;
            serving.order = -std::numeric_limits<double>::infinity();  // before any portion
            serving.grams = *grams;
            serving.text = pool_.add(table[HouseholdServing].empty() ? std::string_view("1 serving")
                                                                     : table[HouseholdServing]);
            offer(*food, serving);
        }
    }

    void readCategories() {
        const QString file = path("food_category.csv");
        if (!exists(file)) return;
        enum { Id, Code };
        TableFile table(file, {"id", "code"});
        while (table.next()) categories_[table.id(Id)] = std::string(table[Code].substr(0, 2));
    }

    void readAmounts() {
        IdMap slotOfNutrient;  // nutrient id -> slot
        {
            enum { Id, Number };
            TableFile table(path("nutrient.csv"), {"id", "nutrient_nbr"});
            while (table.next()) {
                const int slot = nutrientSlot(table[Number]);
                if (slot >= 0) slotOfNutrient.insert(table.id(Id), std::uint32_t(slot));
            }
        }
        enum { FdcId, NutrientId, Amount };
        TableFile table(path("food_nutrient.csv"), {"fdc_id", "nutrient_id", "amount"});
        while (table.next()) {
            const std::uint32_t food = index_.value(table.id(FdcId));
            if (food == IdMap::kMissing) {
                ++counts_.orphanAmounts;
                continue;
            }
            const std::uint32_t slot = slotOfNutrient.value(table.id(NutrientId));
            if (slot == IdMap::kMissing || table[Amount].empty()) continue;
            const double value = table.amount(Amount);
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
            enum { UnitId, Name };
            TableFile table(unitFile, {"id", "name"});
            while (table.next()) units[table.id(UnitId)] = table[Name];
        }
        enum { FdcId, Seq, Amount, Unit, Description, Modifier, Grams, Id };
        TableFile table(file, {"fdc_id", "seq_num", "amount", "measure_unit_id",
                               "portion_description", "modifier", "gram_weight", "id"});
        std::string text;
        while (table.next()) {
            Food* food = foodOf(table, FdcId);
            if (!food || table[Grams].empty()) continue;
            Measure portion;
            portion.present = true;
            portion.grams = table.amount(Grams);
            if (!(portion.grams > 0)) continue;
            portion.order = table.optionalAmount(Seq).value_or(portion.order);
            portion.id = table.id(Id);
            const auto amount = table.optionalAmount(Amount);
            if (!table[Description].empty()) {
                text = table[Description];
            } else {
                const std::uint32_t unitId = table.id(Unit);
                std::string_view unit = table[Modifier], modifier;
                if (unitId != kUndeterminedUnit) {
                    const auto found = units.find(unitId);
                    if (found == units.end())
                        throw table.fault(
                            Unit, QStringLiteral("measure unit %1 is not in measure_unit.csv")
                                      .arg(unitId));
                    unit = found->second;
                    modifier = table[Modifier];
                }
                text = amount ? roundTripDecimal(*amount) : std::string();
                if (!text.empty() && !unit.empty()) text += ' ';
                text += unit;
                if (!unit.empty() && !modifier.empty()) text.append(", ").append(modifier);
            }
            portion.text = pool_.add(text);
            offer(*food, portion);
        }
    }

    void offer(Food& food, const Measure& measure) {
        if (food.measures == Food::kNoMeasures) {
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

    // The table's row of food `i`, with its description and number as they are written.
    void fillRow(FoodRow& row, std::uint32_t i, Text description, std::string_view number) {
        const Food& food = foods_[i];
        row.fill(Cell{});
        row[columnIndex("Description")] = Cell::of(pool_.view(description));
        std::array<double, kNutrientSlots> amounts;
        std::copy_n(amounts_.begin() + std::ptrdiff_t(i) * kNutrientSlots, kNutrientSlots,
                    amounts.begin());
        setNutrients(row, amounts);
        if (food.measures != Food::kNoMeasures) {
            const MeasurePair& pair = measures_[food.measures];
            const auto set = [&](const Measure& m, int grams, int text) {
                if (!m.present) return;
                row[std::size_t(grams)] = Cell::of(m.grams);
                row[std::size_t(text)] = Cell::of(pool_.view(m.text));
            };
            set(pair[0], columnIndex("GMWT_1"), columnIndex("GMWT_DESC1"));
            set(pair[1], columnIndex("GMWT_2"), columnIndex("GMWT_DESC2"));
        }
        row[columnIndex("NDB_NO")] = Cell::of(number);
        if (const auto category = categories_.find(food.category);
            category != categories_.end() && !category->second.empty())
            row[columnIndex("CODE")] = Cell::of(category->second);
    }

    void write(const RowSink& sink) {
        std::vector<std::uint32_t> order(foods_.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return std::pair(foods_[a].type, foods_[a].fdcId) <
                   std::pair(foods_[b].type, foods_[b].fdcId);
        });
        UniqueNames names(pool_, foods_.size());
        TextSet numbers(pool_, TextSet::Comparison::Exact, foods_.size());
        TextSet shared(pool_, TextSet::Comparison::Exact);
        FoodRow row;
        for (const std::uint32_t i : order) {
            const Food& food = foods_[i];
            const std::string fdcId = std::to_string(food.fdcId);
            const Text description = names.take(
                food.description, {" (", pool_.view(food.brandOwner), ")"}, {" [FDC ", fdcId, "]"});
            const Text number = food.number.size > 0 ? food.number : pool_.add(fdcId);
            if (!numbers.insert(number)) shared.insert(number);
            fillRow(row, i, description, pool_.view(number));
            sink(row);
        }
        counts_.madeUnique = names.madeUnique();
        counts_.sharedNumbers = qsizetype(shared.size());
    }

    QString folder_;
    unsigned types_;
    FdcCounts counts_;
    std::vector<Food> foods_;
    IdMap index_{1 << 16};  // fdc_id -> index into foods_
    TextPool pool_;
    std::vector<double> amounts_;  // kNutrientSlots per food, NaN where the food has none
    std::vector<MeasurePair> measures_;
    std::unordered_map<std::uint32_t, std::string> categories_;  // id -> the code's group digits
    std::string latest_;
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
               "%1 (%2); skipped %3 of other types and %4 of no such food, %5; %6 made "
               "unique; %7 held by more than one food")
        .arg(counted(total(), u"food"), types.join(u", "), counted(otherFoods, u"food row"),
             counted(orphanAmounts, u"food_nutrient row"),
             counted(repeatedAmounts, u"repeated amount"), counted(madeUnique, u"description"),
             counted(sharedNumbers, u"NDB number"));
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

FdcCounts readFdcDownload(const QString& folder, unsigned types, const RowSink& sink,
                          QString* version) {
    Download download(folder, types);
    const FdcCounts counts = download.read(sink);
    if (version) *version = QString::fromLatin1(download.latestDate());
    return counts;
}

SourceRecord fdcSourceRecord(const QString& folder, const FdcCounts& counts,
                             const QString& version) {
    QString date = version;
    if (date.isEmpty()) {
        // A download's folder is named after its date: FoodData_Central_csv_2024-10-31.
        static const QRegularExpression dated(QStringLiteral("(\\d{4}-\\d{2}(?:-\\d{2})?)"));
        const QString name = QDir::cleanPath(absoluteFileName(folder));
        QRegularExpressionMatchIterator it =
            dated.globalMatch(name.sliced(name.lastIndexOf(u'/') + 1));
        while (it.hasNext()) date = it.next().captured(1);
    }
    if (date.isEmpty()) date = QStringLiteral("date not stated");
    QStringList types;
    for (std::size_t t = 0; t < kFdcTypes.size(); ++t)
        if (counts.foods[t] > 0) types << latin1(kFdcTypes[t]);
    return {
        .name = QStringLiteral("USDA FoodData Central"),
        .shortName = QStringLiteral("FoodData Central"),
        .version = date,
        .citation = QStringLiteral("U.S. Department of Agriculture, Agricultural Research "
                                   "Service. FoodData Central, %1. fdc.nal.usda.gov")
                        .arg(date),
        .energy = QStringLiteral("kcal (208), else from Atwater specific factors (958), else "
                                 "from Atwater general factors (957)"),
        .carbohydrate = QStringLiteral("carbohydrate by difference (205), else by summation "
                                       "(205.2)"),
        .traces = 0,
        .belowLimit = 0,
        .notes = QStringLiteral("Food types taken: ") + types.join(QStringLiteral(", ")),
        .noticeRequired = false,
        // Only SR Legacy's zeros are the release's own, tested and not found.
        .zerosTested = types == QStringList{latin1(kFdcTypes[kSrLegacyFood])},
    };
}

}  // namespace velmora::mkdb
