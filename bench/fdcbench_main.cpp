// SPDX-License-Identifier: GPL-3.0-or-later
// The FoodData Central import at full size: writes a download of the size USDA publishes (about
// 460,000 foods of the four types in their real shares, 26 million food_nutrient rows, about 2 GB
// of CSV) to a temporary folder, then times `velmora-mkdb --fdc` on it with its peak memory,
// beside `sqlite3 :memory: ".mode csv" ".import food_nutrient.csv fn"`, a tool that only stores
// the one largest file; then the same import with 1,000 recipes of 10 ingredients each
// (--recipes), whose cost is the difference; then the national tables' imports (nationalbench.h).
// No test: it prints the figures and whether they meet their goals.
//
//   velmora_fdcbench [--scale F] [--national] [--keep] [FOLDER]
//
// FOLDER receives the downloads (default: a new temporary folder, removed afterwards unless
// --keep); --scale F makes F times the full FoodData Central size (0.01 for a quick check);
// --national times the national tables only.

#include "importrun.h"
#include "nationalbench.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using velmora::bench::firstLine;
using velmora::bench::median;
using velmora::bench::Run;
using velmora::bench::run;

// The same sequence from the same start on every run, so that every run measures the same
// download.
struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::size_t below(std::size_t n) { return std::size_t(next() % n); }
};

// A CSV file written through one large buffer, every field quoted as USDA writes them.
class CsvOut {
  public:
    explicit CsvOut(const fs::path& path) : file_(std::fopen(path.c_str(), "wb")) {
        if (!file_) fail("cannot write " + path.string());
        buffer_.reserve(kFlush + 4096);
    }
    ~CsvOut() {
        flush();
        if (std::fclose(file_) != 0) fail("cannot write");
    }
    CsvOut& field(std::string_view text) {
        if (!first_) buffer_ += ',';
        first_ = false;
        buffer_ += '"';
        for (const char c : text) {
            if (c == '"') buffer_ += '"';
            buffer_ += c;
        }
        buffer_ += '"';
        return *this;
    }
    CsvOut& field(std::uint64_t n) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        return field(std::string_view(digits, std::size_t(end - digits)));
    }
    CsvOut& decimal(double x) {
        char digits[32];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, x, std::chars_format::fixed, 2).ptr;
        return field(std::string_view(digits, std::size_t(end - digits)));
    }
    CsvOut& empty(int count) {
        for (int i = 0; i < count; ++i) field("");
        return *this;
    }
    void row(std::initializer_list<std::string_view> fields) {
        for (const std::string_view f : fields) field(f);
        end();
    }
    void end() {
        buffer_ += '\n';
        first_ = true;
        if (buffer_.size() >= kFlush) flush();
    }
    [[noreturn]] static void fail(const std::string& what) {
        std::fprintf(stderr, "velmora_fdcbench: %s\n", what.c_str());
        std::exit(1);
    }

  private:
    static constexpr std::size_t kFlush = 8 << 20;
    void flush() {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            fail("cannot write");
        buffer_.clear();
    }
    std::FILE* file_;
    std::string buffer_;
    bool first_ = true;
};

constexpr std::array<std::string_view, 40> kWords{
    "chicken", "cheese",   "chocolate", "cookies", "bread",   "apple",      "organic",   "whole",
    "wheat",   "milk",     "yogurt",    "greek",   "vanilla", "strawberry", "sauce",     "tomato",
    "pasta",   "rice",     "beans",     "black",   "roasted", "salted",     "almonds",   "peanut",
    "butter",  "crackers", "chips",     "potato",  "frozen",  "pizza",      "pepperoni", "original",
    "light",   "reduced",  "fat",       "sugar",   "free",    "cereal",     "honey",     "oat"};
constexpr std::array<std::string_view, 12> kOwners{
    "Acme Foods Inc.", "General Provisions Co.", "Riverside Farms",  "Northern Bakery LLC",
    "Golden Valley",   "Blue Harbor Brands",     "Sunrise Dairy",    "Hillside Kitchens",
    "Prairie Mills",   "Coastal Snacks Corp.",   "Evergreen Market", "Maple Street Foods"};

std::string words(Random& random, int count, bool upper) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i) text += i == 1 && !upper ? ", " : " ";
        text += kWords[random.below(kWords.size())];
    }
    if (upper)
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return char(std::toupper(c)); });
    else
        text[0] = char(std::toupper(text[0]));
    return text;
}

// The nutrients: ids as FoodData Central numbers them, with SR numbers where the table has them.
struct Nutrient {
    std::uint32_t id;
    std::string number;
};
std::vector<Nutrient> nutrients() {
    const std::array<std::pair<std::uint32_t, const char*>, 36> mapped{
        {{1051, "255"},  {1008, "208"}, {1003, "203"}, {1004, "204"}, {1005, "205"},
         {1079, "291"},  {1007, "207"}, {1087, "301"}, {1091, "305"}, {1089, "303"},
         {1093, "307"},  {1092, "306"}, {1090, "304"}, {1095, "309"}, {1098, "312"},
         {1101, "315"},  {1103, "317"}, {1104, "318"}, {1109, "323"}, {1165, "404"},
         {1166, "405"},  {1167, "406"}, {1170, "410"}, {1175, "415"}, {1177, "417"},
         {1178, "418"},  {1162, "401"}, {1258, "606"}, {1292, "645"}, {1293, "646"},
         {1253, "601"},  {1124, "394"}, {2048, "958"}, {2047, "957"}, {1085, "298"},
         {1050, "205.2"}}};
    std::vector<Nutrient> list;
    for (const auto& [id, number] : mapped) list.push_back({id, number});
    for (std::uint32_t id = 3000; list.size() < 150; ++id)
        list.push_back({id, std::to_string(id + 2000) + (id % 7 == 0 ? ".1" : "")});
    return list;
}

struct Type {
    const char* name;
    std::size_t foods;
    std::size_t nutrients;  // per food
    std::size_t portions;   // per food
};

struct Sizes {
    std::uint64_t foods = 0, amounts = 0;
};

// Real shares: SR Legacy 7,793, Foundation a few hundred (with thousands of sample and
// acquisition rows of their own), survey 5,400, branded the rest.
constexpr std::array<Type, 7> kTypes{{
    {"sr_legacy_food", 7793, 80, 2},
    {"foundation_food", 300, 90, 3},
    {"survey_fndds_food", 5400, 65, 5},
    {"branded_food", 446000, 56, 0},
    {"sample_food", 20000, 20, 0},
    {"market_acquisition", 25000, 15, 0},
    {"sub_sample_food", 15000, 12, 0},
}};

// The files that do not grow with the foods: nutrients, measure units, categories.
void writeReferenceFiles(const fs::path& dir, const std::vector<Nutrient>& list) {
    CsvOut out(dir / "nutrient.csv");
    out.row({"id", "name", "unit_name", "nutrient_nbr", "rank"});
    for (const Nutrient& n : list)
        out.field(n.id)
            .field("Nutrient " + std::to_string(n.id))
            .field("G")
            .field(n.number)
            .field(n.id * 10)
            .end();
    CsvOut units(dir / "measure_unit.csv");
    units.row({"id", "name"});
    units.row({"1000", "cup"});
    units.row({"1001", "tablespoon"});
    units.row({"9999", "undetermined"});
    CsvOut categories(dir / "food_category.csv");
    categories.row({"id", "code", "description"});
    for (int c = 1; c <= 28; ++c) {
        char code[8];
        std::snprintf(code, sizeof code, "%02d00", c);
        categories.field(std::uint64_t(c)).field(code).field("Category " + std::to_string(c)).end();
    }
}

// The files with rows for each food, their headers written.
struct FoodFiles {
    explicit FoodFiles(const fs::path& dir);
    CsvOut food, amounts, portions, sr, foundation, survey, branded;
};

FoodFiles::FoodFiles(const fs::path& dir)
    : food(dir / "food.csv"),
      amounts(dir / "food_nutrient.csv"),
      portions(dir / "food_portion.csv"),
      sr(dir / "sr_legacy_food.csv"),
      foundation(dir / "foundation_food.csv"),
      survey(dir / "survey_fndds_food.csv"),
      branded(dir / "branded_food.csv") {
    food.row({"fdc_id", "data_type", "description", "food_category_id", "publication_date"});
    amounts.row({"id", "fdc_id", "nutrient_id", "amount", "data_points", "derivation_id", "min",
                 "max", "median", "loq", "footnote", "min_year_acquired", "percent_daily_value"});
    portions.row({"id", "fdc_id", "seq_num", "amount", "measure_unit_id", "portion_description",
                  "modifier", "gram_weight", "data_points", "footnote", "min_year_acquired"});
    sr.row({"fdc_id", "NDB_number"});
    foundation.row({"fdc_id", "NDB_number", "footnote"});
    survey.row({"fdc_id", "food_code", "wweia_category_code", "start_date", "end_date"});
    branded.row({"fdc_id",
                 "brand_owner",
                 "brand_name",
                 "subbrand_name",
                 "gtin_upc",
                 "ingredients",
                 "not_a_significant_source_of",
                 "serving_size",
                 "serving_size_unit",
                 "household_serving_fulltext",
                 "branded_food_category",
                 "data_source",
                 "package_weight",
                 "modified_date",
                 "available_date",
                 "market_country",
                 "discontinued_date",
                 "preparation_state_code",
                 "trade_channel",
                 "short_description"});
}

// Writes the foods one after the other, each with its rows in every file, from one sequence of
// random numbers.
class FoodWriter {
  public:
    FoodWriter(const fs::path& dir, const std::vector<Nutrient>& list)
        : files_(dir), list_(list), order_(list.size()) {
        for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    }
    void write(const Type& type, std::size_t count) {
        for (std::size_t f = 0; f < count; ++f, ++fdcId_) {
            food(type, f);
            amounts(type);
            portions(type);
        }
    }

  private:
    void food(const Type& type, std::size_t f);
    void brandedFood();
    void amounts(const Type& type);
    void portions(const Type& type);

    FoodFiles files_;
    const std::vector<Nutrient>& list_;
    std::vector<std::size_t> order_;  // of the nutrients, shuffled for each food
    Random random_;
    std::uint64_t fdcId_ = 100000, amountId_ = 1, portionId_ = 1;
};

void FoodWriter::food(const Type& type, std::size_t f) {
    const std::string_view name = type.name;
    const bool isBranded = name == "branded_food";
    // Branded descriptions repeat often (the same product from several owners).
    const std::string description = isBranded ? words(random_, 2 + int(random_.below(4)), true)
                                              : words(random_, 3 + int(random_.below(6)), false);
    files_.food.field(fdcId_).field(name).field(description);
    if (isBranded || name == "survey_fndds_food")
        files_.food.field("");
    else
        files_.food.field(std::uint64_t(1 + random_.below(28)));
    files_.food.field("2019-04-01").end();
    if (name == "sr_legacy_food") files_.sr.field(fdcId_).field(std::uint64_t(1001 + f)).end();
    if (name == "foundation_food")
        files_.foundation.field(fdcId_).field(std::uint64_t(11000 + f)).field("").end();
    if (name == "survey_fndds_food")
        files_.survey.field(fdcId_)
            .field(std::uint64_t(11111000 + f))
            .field("1002")
            .field("2019-01-01")
            .field("2020-12-31")
            .end();
    if (isBranded) brandedFood();
}

void FoodWriter::brandedFood() {
    const double serving = double(10 + random_.below(300));
    files_.branded.field(fdcId_)
        .field(kOwners[random_.below(kOwners.size())])
        .field(words(random_, 1, true))
        .field("")
        .field(std::uint64_t(10000000000ull + random_.below(90000000000ull)))
        .field(words(random_, 25 + int(random_.below(30)), true))
        .field("")
        .decimal(serving)
        .field(random_.below(10) == 0 ? "ml" : "g")
        .field(random_.below(3) ? "1 cup" : "")
        .field(words(random_, 2, false))
        .field("LI")
        .field("")
        .field("2020-11-13")
        .field("2020-11-13")
        .field("United States")
        .field("")
        .field("")
        .field("")
        .field("")
        .end();
}

void FoodWriter::amounts(const Type& type) {
    const bool isBranded = std::string_view(type.name) == "branded_food";
    // The food's nutrients: a random choice, each at most once.
    for (std::size_t n = 0; n < type.nutrients && n < order_.size(); ++n)
        std::swap(order_[n], order_[n + random_.below(order_.size() - n)]);
    for (std::size_t n = 0; n < type.nutrients; ++n, ++amountId_) {
        files_.amounts.field(amountId_).field(fdcId_).field(list_[order_[n % order_.size()]].id);
        files_.amounts.decimal(double(random_.below(100000)) / 100).empty(1);
        files_.amounts.field(isBranded ? "70" : "1").empty(7).end();
    }
}

void FoodWriter::portions(const Type& type) {
    const std::string_view name = type.name;
    for (std::size_t p = 0; p < type.portions; ++p, ++portionId_) {
        CsvOut& out = files_.portions;
        out.field(portionId_).field(fdcId_).field(std::uint64_t(p + 1)).field("1.0");
        out.field(name == "foundation_food" ? "1000" : "9999");
        out.field(name == "survey_fndds_food" ? "1 cup" : "");
        out.field(name == "sr_legacy_food" ? "cup slices" : "10205");
        out.decimal(double(5 + random_.below(300))).empty(3).end();
    }
}

Sizes generate(const fs::path& dir, double scale) {
    const std::vector<Nutrient> list = nutrients();
    writeReferenceFiles(dir, list);
    FoodWriter writer(dir, list);
    Sizes sizes;
    for (const Type& type : kTypes) {
        const auto count = std::size_t(double(type.foods) * scale + 0.5);
        writer.write(type, count);
        sizes.amounts += type.nutrients * count;
        if (type.nutrients >= 50) sizes.foods += count;  // the four types read
    }
    return sizes;
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

struct Options {
    double scale = 1;
    bool keep = false;
    bool nationalOnly = false;
    fs::path dir;
};

// The options, or nothing after a usage message.
std::optional<Options> readOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            o.scale = std::atof(argv[++i]);
        } else if (arg == "--keep") {
            o.keep = true;
        } else if (arg == "--national") {
            o.nationalOnly = true;
        } else if (arg.starts_with('-') || !o.dir.empty() || o.scale <= 0) {
            std::fputs("usage: velmora_fdcbench [--scale F] [--national] [--keep] [FOLDER]\n",
                       stderr);
            return std::nullopt;
        } else {
            o.dir = arg;
        }
    }
    return o;
}

fs::path temporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmora-fdc.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) CsvOut::fail("no temporary folder");
    return pattern;
}

void writeDownload(const fs::path& dir, double scale) {
    std::printf("# FoodData Central import, a generated download of %.3g times full size in %s\n",
                scale, dir.c_str());
    std::fflush(stdout);
    const auto t0 = Clock::now();
    const Sizes sizes = generate(dir, scale);
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(dir)) bytes += entry.file_size();
    std::printf(
        "download: %llu foods of the four types, %llu food_nutrient rows, %.2f GB of CSV "
        "(written in %.1f s)\n",
        static_cast<unsigned long long>(sizes.foods),
        static_cast<unsigned long long>(sizes.amounts), double(bytes) / 1e9,
        std::chrono::duration<double>(Clock::now() - t0).count());
    std::fflush(stdout);
}

Run timeImport(const fs::path& mkdb, const fs::path& dir, const fs::path& log) {
    const fs::path out = dir / "fdc.mdb";
    const Run import = run({mkdb.string(), "--fdc", dir.string(), out.string()}, log);
    if (import.status != 0) CsvOut::fail("velmora-mkdb failed: " + firstLine(log));
    std::printf("velmora-mkdb --fdc: %.1f s, peak RSS %ld MiB\n  %s\n", import.seconds,
                import.peakKiB / 1024, firstLine(log).c_str());
    std::fflush(stdout);
    fs::remove(out);
    return import;
}

// 1,000 recipes of 10 ingredients: SR Legacy foods by NDB number, in grams and by measure, survey
// foods, and from the second on an earlier recipe.
void writeRecipes(const fs::path& file, double scale) {
    const auto srFoods = std::size_t(double(kTypes[0].foods) * scale + 0.5);
    const auto surveyFoods = std::size_t(double(kTypes[2].foods) * scale + 0.5);
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (!out || srFoods == 0 || surveyFoods == 0) CsvOut::fail("cannot write " + file.string());
    Random random;
    for (int k = 1; k <= 1000; ++k) {
        std::fprintf(out, "[Recipe %d]\nservings %d\n", k, 1 + k % 8);
        for (int i = 0; i < 10; ++i) {
            if (i == 9 && k > 1)
                std::fprintf(out, "R%zu @ 1x2\n", 1 + random.below(std::size_t(k - 1)));
            else if (i % 3 == 2)
                std::fprintf(out, "%zu @ %zug\n", 11111000 + random.below(surveyFoods),
                             5 + random.below(200));
            else
                std::fprintf(out, "%05zu @ %s\n", 1001 + random.below(srFoods),
                             i % 3 ? "0.5x1" : "30g");
        }
    }
    if (std::fclose(out) != 0) CsvOut::fail("cannot write " + file.string());
}

// The import again with the recipes, three times, alternating with the import alone: what the
// recipes add, the difference of the medians (one pair of ten-second runs is noisier than that).
void timeRecipes(const fs::path& mkdb, const fs::path& dir, const fs::path& log, double scale,
                 const Run& import) {
    const fs::path recipes = dir / "recipes.txt", out = dir / "fdc.mdb";
    writeRecipes(recipes, scale);
    std::vector<double> alone{import.seconds}, aloneCpu{import.cpuSeconds}, with, withCpu;
    long peakKiB = 0;
    for (int i = 0; i < 3; ++i) {
        std::fflush(stdout);  // not again by the child
        const Run r =
            run({mkdb.string(), "--fdc", dir.string(), out.string(), "--recipes", recipes.string()},
                log);
        if (r.status != 0) CsvOut::fail("velmora-mkdb --recipes failed: " + firstLine(log));
        with.push_back(r.seconds);
        withCpu.push_back(r.cpuSeconds);
        peakKiB = std::max(peakKiB, r.peakKiB);
        if (i == 2) break;
        const Run a =
            velmora::bench::run({mkdb.string(), "--fdc", dir.string(), out.string()}, log);
        if (a.status != 0) CsvOut::fail("velmora-mkdb failed: " + firstLine(log));
        alone.push_back(a.seconds);
        aloneCpu.push_back(a.cpuSeconds);
    }
    const double withSeconds = median(with), more = withSeconds - median(alone);
    std::printf(
        "velmora-mkdb --fdc --recipes (1,000 recipes of 10 ingredients): %.1f s, peak RSS "
        "%ld MiB\n  the recipes add %.2f s (processor time %.2f s), medians of 3 runs each\n",
        withSeconds, peakKiB / 1024, more, median(withCpu) - median(aloneCpu));
    std::printf("# goal %s the recipes add < 1 s\n", more < 1 ? "met:   " : "MISSED:");
    std::fflush(stdout);
    fs::remove(out);
}

void compareWithSqlite(const fs::path& dir, const fs::path& log, const Run& import) {
    if (!onPath("sqlite3")) {
        std::printf("# sqlite3 is not installed (Debian package sqlite3): no time to compare\n");
        return;
    }
    const std::string command = ".import " + (dir / "food_nutrient.csv").string() + " fn";
    const Run sqlite = run({"sqlite3", ":memory:", ".mode csv", command}, log);
    if (sqlite.status != 0) CsvOut::fail("sqlite3 failed: " + firstLine(log));
    const double ratio = import.seconds / sqlite.seconds;
    std::printf("sqlite3 :memory: .import food_nutrient.csv: %.1f s, peak RSS %ld MiB\n",
                sqlite.seconds, sqlite.peakKiB / 1024);
    std::printf("ratio velmora-mkdb / sqlite3 .import: %.2f\n", ratio);
    std::printf("# goal %s import time <= the sqlite3 .import time\n",
                ratio <= 1 ? "met:   " : "MISSED:");
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = readOptions(argc, argv);
    if (!options) return 2;
    const fs::path self = fs::canonical("/proc/self/exe").parent_path();
    const fs::path mkdb = self / "velmora-mkdb";
    if (::access(mkdb.c_str(), X_OK) != 0) CsvOut::fail("no velmora-mkdb beside the benchmark");
    const bool temporary = options->dir.empty();
    const fs::path dir = temporary ? temporaryFolder() : options->dir;
    fs::create_directories(dir);

    if (!options->nationalOnly) {
        writeDownload(dir, options->scale);
        const fs::path log = dir / "run.log";
        const Run import = timeImport(mkdb, dir, log);
        const double memoryGoal = 400;  // MiB
        const double peakMiB = double(import.peakKiB) / 1024;
        compareWithSqlite(dir, log, import);
        timeRecipes(mkdb, dir, log, options->scale, import);
        std::printf("# goal %s peak RSS <= %.0f MiB\n",
                    peakMiB <= memoryGoal ? "met:   " : "MISSED:", memoryGoal);
        std::fflush(stdout);
    }
    velmora::bench::benchNationalTables(mkdb, dir);
    if (!options->keep && temporary) fs::remove_all(dir);
    return 0;
}
