// SPDX-License-Identifier: GPL-3.0-or-later
// The workbook reader at the size of the largest national table published as a workbook: writes
// a sheet like the German one (7,140 foods, 418 columns: code and names, then each nutrient's
// value followed by its source columns; texts as shared strings) to a temporary .xlsx, then times
// reading that sheet row by row with every cell's amount taken, against expat parsing its part and
// doing nothing else, and inflating it alone; and velmora-mkdb --bls building a table from it;
// each in a process of its own, with its peak memory. No test: it prints the figures and whether
// they meet their goals.
//
//   velmora_xlsxbench [--keep] [FILE.xlsx]      writes FILE.xlsx (default: a temporary file,
//                                               removed afterwards unless --keep)
//   velmora_xlsxbench --read|--expat|--inflate|--mkdb FILE.xlsx   one pass, as the measurement
//                                                                  runs it

#include <expat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unzip.h>
#include <zip.h>

#include <QString>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/formats/xlsxreader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFoods = 7140, kNutrients = 138, kColumns = 3 + 3 * kNutrients + 1;  // 418
constexpr int kSources = 24;  // distinct source codes

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "velmora_xlsxbench: %s\n", what.c_str());
    std::exit(1);
}

// The same sequence on every run, so every run measures the same workbook.
struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    unsigned below(unsigned n) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return unsigned(state % n);
    }
};

std::string columnName(int column) {
    return velmora::mkdb::columnName(column).toStdString();
}

// The shortest text that reads back as `x`, as Excel stores numbers.
std::string number(double x) {
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, x).ptr);
}

// One ZIP entry written through a buffer.
class Entry {
  public:
    Entry(zipFile zip, const char* name) : zip_(zip) {
        if (zipOpenNewFileInZip64(zip, name, nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  6, 1) != ZIP_OK)
            fail("cannot write the workbook");
    }
    ~Entry() {
        flush();
        zipCloseFileInZip(zip_);
    }
    Entry& operator<<(const std::string& text) {
        buffer_ += text;
        if (buffer_.size() > (1 << 20)) flush();
        return *this;
    }

  private:
    void flush() {
        if (zipWriteInFileInZip(zip_, buffer_.data(), unsigned(buffer_.size())) != ZIP_OK)
            fail("cannot write the workbook");
        buffer_.clear();
    }
    zipFile zip_;
    std::string buffer_;
};

// Shared strings: the headers, each food's two names and code, the source codes, the markers.
int foodString(int food, int which) {
    return kColumns + 3 * food + which;
}
int sourceString(int code) {
    return kColumns + 3 * kFoods + code;
}
constexpr int kMarkers = 3;  // "-", "TR", "<LOD"

// The first nutrient columns carry tagnames and units velmora-mkdb --bls maps, so that its build
// stores about as many amounts as on the real table.
constexpr std::pair<const char*, const char*> kBlsTags[] = {
    {"ENERCC", "kcal"},    {"ENERCJ", "kJ"},  {"WATER", "g"},  {"PROT625", "g"},
    {"FAT", "g"},          {"CHO", "g"},      {"FIBT", "g"},   {"ASH", "g"},
    {"NA", "mg"},          {"K", "mg"},       {"CA", "mg"},    {"MG", "mg"},
    {"P", "mg"},           {"FE", "mg"},      {"ZN", "mg"},    {"CU", "mg"},
    {"MN", "mg"},          {"SE", "\u00b5g"}, {"VITE", "mg"},  {"THIA", "mg"},
    {"RIBF", "mg"},        {"NIA", "mg"},     {"VITB6", "mg"}, {"FOL", "\u00b5g"},
    {"VITB12", "\u00b5g"}, {"VITC", "mg"},    {"FASAT", "g"},  {"FAPU", "g"},
    {"CHORL", "mg"},
};

// Column c's header: the code and the two names, a nutrient "TAG name [unit/100g]", or one of the
// reference columns that follow each nutrient.
std::string header(int c) {
    if (c < 3) return c == 0 ? "BLS Code" : c == 1 ? "Lebensmittelbezeichnung" : "Food name";
    if (c % 3 != 0) return "Referenz " + std::to_string(c);
    const std::size_t n = std::size_t(c / 3 - 1);
    if (n < std::size(kBlsTags))
        return std::string(kBlsTags[n].first) + " Wert [" + kBlsTags[n].second + "/100g]";
    return "NUTR" + std::to_string(c) + " Wert [g/100g]";
}

void writeSharedStrings(zipFile zip) {
    Entry out(zip, "xl/sharedStrings.xml");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\""
           "http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int c = 0; c < kColumns; ++c) out << "<si><t>" + header(c) + "</t></si>";
    for (int f = 0; f < kFoods; ++f)
        out << "<si><t>C" + std::to_string(131000 + f) + "</t></si><si><t>Hafer ganzes Korn, roh " +
                   std::to_string(f) + "</t></si><si><t>Oats, whole grain, raw " +
                   std::to_string(f) + "</t></si>";
    for (int s = 0; s < kSources; ++s) out << "<si><t>LT" + std::to_string(s) + "</t></si>";
    out << "<si><t>-</t></si><si><t>TR</t></si><si><t>&lt;LOD</t></si></sst>";
}

std::string cell(int column, int row, const std::string& value, bool shared) {
    return "<c r=\"" + columnName(column) + std::to_string(row) + "\" s=\"3\"" +
           (shared ? " t=\"s\"" : "") + "><v>" + value + "</v></c>";
}

void writeSheet(zipFile zip) {
    Entry out(zip, "xl/worksheets/sheet1.xml");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\""
           "http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    Random random;
    for (int row = 1; row <= kFoods + 1; ++row) {
        std::string line = "<row r=\"" + std::to_string(row) + "\" spans=\"1:418\">";
        for (int c = 0; c < kColumns; ++c) {
            const unsigned draw = random.below(100);
            if (row == 1)
                line += cell(c, row, std::to_string(c), true);
            else if (c < 3)
                line += cell(c, row, std::to_string(foodString(row - 2, c)), true);
            else if (c % 3 != 0 && draw < 70)  // a source column, often empty
                line +=
                    cell(c, row, std::to_string(sourceString(int(random.below(kSources)))), true);
            else if (c % 3 == 0 && draw < 85)
                line += cell(c, row, number(random.below(100000) / 1000.0), false);
            else if (c % 3 == 0)
                line += cell(c, row, std::to_string(sourceString(kSources) + int(draw % kMarkers)),
                             true);
        }
        out << line + "</row>";
    }
    out << "</sheetData></worksheet>";
}

void writeWorkbook(const fs::path& file) {
    zipFile zip = zipOpen64(file.c_str(), APPEND_STATUS_CREATE);
    if (!zip) fail("cannot write " + file.string());
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    {
        Entry(zip, "xl/workbook.xml")
            << "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
               "xmlns:r=\"" +
                   rel +
                   "\"><sheets><sheet name=\"BLS 4.0\" sheetId=\"1\" "
                   "r:id=\"rId1\"/></sheets></workbook>";
        Entry(zip, "xl/_rels/workbook.xml.rels")
            << "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
               "relationships\"><Relationship Id=\"rId1\" Type=\"" +
                   rel +
                   "/worksheet\" "
                   "Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                   rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";
    }
    writeSharedStrings(zip);
    writeSheet(zip);
    if (zipClose(zip, nullptr) != ZIP_OK) fail("cannot write " + file.string());
}

// One pass of the reader over the sheet, as a national table's reader makes it.
int readSheet(const char* file) {
    using namespace velmora::mkdb;
    try {
        const XlsxWorkbook book(QString::fromLocal8Bit(file));
        XlsxSheet sheet = book.sheet(book.sheetStartingWith(u"BLS"));
        long long cells = 0, numbers = 0;
        while (sheet.next())
            for (const XlsxCell& c : sheet.cells()) {
                ++cells;
                numbers += c.amount().problem.isEmpty();
            }
        std::printf("%lld cells, %lld numbers\n", cells, numbers);
    } catch (const Fault& fault) {
        fail(fault.diagnostic.toString().toStdString());
    }
    return 0;
}

// The floors: the sheet's part inflated and nothing else; and parsed by expat as well, in the same
// chunks as the reader parses it, its events counted and nothing else done with them.
int inflateSheet(const char* file, bool parse) {
    unzFile zip = unzOpen64(file);
    if (!zip || unzLocateFile(zip, "xl/worksheets/sheet1.xml", 1) != UNZ_OK ||
        unzOpenCurrentFile(zip) != UNZ_OK)
        fail("cannot open the sheet");
    constexpr int kChunk = 1 << 16;
    std::vector<char> buffer(kChunk);
    XML_Parser xml = XML_ParserCreate(nullptr);
    long long count = 0;
    XML_SetUserData(xml, &count);
    XML_SetElementHandler(
        xml, [](void* n, const XML_Char*, const XML_Char**) { ++*static_cast<long long*>(n); },
        [](void* n, const XML_Char*) { ++*static_cast<long long*>(n); });
    XML_SetCharacterDataHandler(
        xml, [](void* n, const XML_Char*, int) { ++*static_cast<long long*>(n); });
    for (int n = 1; n > 0;) {
        char* into = parse ? static_cast<char*>(XML_GetBuffer(xml, kChunk)) : buffer.data();
        n = unzReadCurrentFile(zip, into, kChunk);
        count += parse ? 0 : std::max(n, 0);
        if (parse && XML_ParseBuffer(xml, std::max(n, 0), n <= 0) != XML_STATUS_OK)
            fail(XML_ErrorString(XML_GetErrorCode(xml)));
    }
    XML_ParserFree(xml);
    unzCloseCurrentFile(zip);
    unzClose(zip);
    std::printf("%lld %s\n", count, parse ? "events" : "bytes");
    return 0;
}

// velmora-mkdb --bls on the workbook, as a user runs it: the program beside this one in the build.
int buildTable(const char* file) {
    const fs::path mkdb = fs::read_symlink("/proc/self/exe").parent_path() / "velmora-mkdb";
    const std::string out = std::string(file) + ".mdb";
    // Its warnings name the two mapped columns the generated sheet leaves out, in every run.
    if (!std::freopen("/dev/null", "w", stderr)) _exit(127);
    ::execl(mkdb.c_str(), "velmora-mkdb", "--bls", file, out.c_str(), nullptr);
    fail("cannot run " + mkdb.string());
}

struct Run {
    double seconds, cpuSeconds;
    long peakKiB;
};

// This program with `mode` on `file` in a process of its own: its wall and processor time and its
// peak RSS.
Run run(const char* mode, const fs::path& file) {
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        ::execl("/proc/self/exe", "velmora_xlsxbench", mode, file.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(std::string(mode) + " failed");
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return {std::chrono::duration<double>(Clock::now() - t0).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

// The median of seven runs of each, alternating.
void measure(const fs::path& file) {
    const char* const modes[] = {"--read", "--expat", "--inflate", "--mkdb"};
    const char* const what[] = {"reading the sheet (every cell's amount taken)",
                                "expat parsing its part alone", "inflating its part alone",
                                "velmora-mkdb --bls building a table from it"};
    std::vector<Run> runs[4];
    for (int i = 0; i < 7; ++i)
        for (int m = 0; m < 4; ++m) runs[m].push_back(run(modes[m], file));
    fs::remove(file.string() + ".mdb");
    Run median[4];
    for (int m = 0; m < 4; ++m) {
        std::sort(runs[m].begin(), runs[m].end(),
                  [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        median[m] = runs[m][3];
        std::printf("%s: %.2f s (processor %.2f s), peak RSS %ld MiB\n", what[m], median[m].seconds,
                    median[m].cpuSeconds, median[m].peakKiB / 1024);
    }
    std::printf("ratio reading / expat alone: %.2f (processor %.2f)\n",
                median[0].seconds / median[1].seconds, median[0].cpuSeconds / median[1].cpuSeconds);
    std::printf("ratio velmora-mkdb --bls / reading the sheet: %.2f (processor %.2f)\n",
                median[3].seconds / median[0].seconds, median[3].cpuSeconds / median[0].cpuSeconds);
    // One streamed parser and the table writer: a few seconds for an import run once a release.
    std::printf("# goal %s velmora-mkdb --bls in <= 3 s\n",
                median[3].seconds <= 3 ? "met:   " : "MISSED:");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 3 && mode == "--read") return readSheet(argv[2]);
    if (argc == 3 && mode == "--mkdb") return buildTable(argv[2]);
    if (argc == 3 && (mode == "--inflate" || mode == "--expat"))
        return inflateSheet(argv[2], mode == "--expat");
    bool keep = false;
    fs::path file;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--keep") {
            keep = true;
        } else if (arg.starts_with('-') || !file.empty()) {
            std::fputs("usage: velmora_xlsxbench [--keep] [FILE.xlsx]\n", stderr);
            return 2;
        } else {
            file = arg;
        }
    }
    const bool temporary = file.empty();
    if (temporary)
        file = fs::temp_directory_path() / ("velmora-xlsx-" + std::to_string(::getpid()) + ".xlsx");
    const auto t0 = Clock::now();
    writeWorkbook(file);
    std::printf("# workbook reader, a generated sheet of %d rows x %d columns in %s\n", kFoods + 1,
                kColumns, file.c_str());
    std::printf("workbook: %.1f MB (written in %.1f s)\n", double(fs::file_size(file)) / 1e6,
                std::chrono::duration<double>(Clock::now() - t0).count());
    std::fflush(stdout);
    measure(file);
    if (temporary && !keep) fs::remove(file);
    return 0;
}
