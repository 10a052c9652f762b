// SPDX-License-Identifier: GPL-3.0-or-later
// The delimited national tables at full size: the Canadian Nutrient File in both layouts (5,690
// foods, 152 nutrients, 524,000 amounts, as the 2015 release) and a NEVO download (2,328 foods
// x 140 nutrient columns), each generated in the agency's layout and built by velmora-mkdb.
#include "nationalbench.h"

#include "importrun.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace velmora::bench {

namespace {

namespace fs = std::filesystem;

constexpr int kCnfFoods = 5690, kCnfNutrients = 152, kCnfAmountsPerFood = 92;
constexpr int kCnfMeasures = 1100, kNevoFoods = 2328, kNevoNutrients = 140;
constexpr int kRuns = 5;

struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    unsigned next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return unsigned(state >> 33);
    }
};

// The SR numbers the table maps, then others up to the count.
std::vector<std::string> cnfCodes() {
    std::vector<std::string> codes{"208", "268", "255", "203", "204", "205", "291", "207",
                                   "301", "305", "303", "307", "306", "304", "309", "312",
                                   "315", "317", "318", "323", "404", "405", "406", "410",
                                   "415", "417", "418", "401", "606", "645", "646", "601"};
    for (int code = 800; int(codes.size()) < kCnfNutrients; ++code)
        codes.push_back(std::to_string(code));
    return codes;
}

void writeText(const fs::path& path, std::string text, bool layout2015) {
    if (layout2015) {
        std::string crlf;
        crlf.reserve(text.size() + text.size() / 20);
        for (const char c : text) c == '\n' ? crlf += "\r\n" : crlf += c;
        text = std::move(crlf);
    } else {
        text.insert(0, "\xEF\xBB\xBF");
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "velmora_fdcbench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// The nutrients' and the measures' files of a release.
void cnfReference(const std::vector<std::string>& codes, bool layout2015, std::string& nutrients,
                  std::string& measures) {
    for (std::size_t n = 0; n < codes.size(); ++n) {
        const std::string id = layout2015 ? std::to_string(n + 1) : codes[n];
        const char* unit = n < 2 ? (n ? "kJ" : "kCal") : n % 3 ? "mg" : "g";
        if (!layout2015)
            unit = n < 2 ? (n ? "kilojoule" : "kilocalorie") : n % 3 ? "Milligram" : "Gram";
        nutrients += (layout2015 ? id + "," : std::string()) + codes[n] + ",SYM," + unit +
                     ",\"NUTRIENT " + codes[n] + ", TOTAL\",NUTRIMENT,TAG,2\n";
    }
    for (int m = 0; m < kCnfMeasures; ++m)
        measures += std::to_string(m + 1) + ",\"" + std::to_string(m % 4 + 1) + " cup, diced\"," +
                    std::to_string(m % 4 + 1) + " tasse\n";
}

// The files of a release by name: in the 2026 layout or the 2015 one.
std::map<std::string, std::string> cnfTexts(bool layout2015) {
    const std::vector<std::string> codes = cnfCodes();
    const char* pad = layout2015 ? ",," : "";
    std::map<std::string, std::string> t;
    std::string &foods = t[layout2015 ? "FOOD NAME.csv" : "Food_Name.csv"],
                &nutrients = t[layout2015 ? "NUTRIENT NAME.csv" : "Nutrient_Name.csv"],
                &amounts = t[layout2015 ? "NUTRIENT AMOUNT.csv" : "Nutrient_Amount.csv"],
                &measures = t[layout2015 ? "MEASURE NAME.csv" : "Measure_Name.csv"],
                &weights =
                    t[layout2015 ? "CONVERSION FACTOR.csv" : "Measure_Weight_Conversion.csv"];
    foods = layout2015 ? "FoodID,FoodCode,FoodGroupID,FoodSourceID,FoodDescription,"
                         "FoodDescriptionF,,\n"
                       : "Food_Code,Food_Description_EN,Food_Description_FR,CNF_Food_Group_Code,"
                         "Food_Last_Updated_Date\n";
    nutrients = layout2015 ? "NutrientID,NutrientCode,NutrientSymbol,NutrientUnit,NutrientName,"
                             "NutrientNameF,Tagname,NutrientDecimals\n"
                           : "Nutrient_Code,Nutrient_Symbol,Nutrient_Unit,Nutrient_Name_EN,"
                             "Nutrient_Name_FR,Tagname,Nutrient_Decimals\n";
    amounts = layout2015 ? "FoodID,NutrientID,NutrientValue,StandardError,NumberofObservations,"
                           "NutrientSourceID,NutrientDateofEntry\n"
                         : "Food_Code,Nutrient_Code,Nutrient_Value,Standard_Error,"
                           "Number_of_Observations,Nutrient_Source_Code,Nutrient_Date_of_Entry\n";
    measures = layout2015 ? "MeasureID,MeasureDescription,MeasureDescriptionF\n"
                          : "Measure_Code,Measure_Description_and_Unit_EN,"
                            "Measure_Description_and_Unit_FR\n";
    weights = layout2015 ? "FoodID,MeasureID,ConversionFactorValue,ConvFactorDateOfEntry\n"
                         : "Food_Code,Measure_Type_Code,Measure_Code,Measure_Weight_Conversion,"
                           "Measure_Weight_Conversion_Date\n";
    cnfReference(codes, layout2015, nutrients, measures);
    Random random;
    for (int f = 0; f < kCnfFoods; ++f) {
        const std::string id = std::to_string(f + 1);
        foods += layout2015 ? id + "," + id + "," + std::to_string(f % 23 + 1) + ",1,\"Food " + id +
                                  ", cooked\",\"Aliment " + id + ", cuit\"" + pad + "\n"
                            : id + ",\"Food " + id + ", cooked\",\"Aliment " + id + ", cuit\"," +
                                  std::to_string(f % 23 + 1) + ",2019-05-01\n";
        for (int a = 0; a < kCnfAmountsPerFood; ++a) {
            const std::size_t n = std::size_t(a + f) % codes.size();
            const std::string nutrient = layout2015 ? std::to_string(n + 1) : codes[n];
            const unsigned r = random.next();
            amounts += id + "," + nutrient + "," + std::to_string(r % 1000) + "." +
                       std::to_string(r % 100) + ",,3,1,2015-01-01\n";
        }
        for (int w = 0; w < 4; ++w) {
            const std::string measure = std::to_string(random.next() % kCnfMeasures + 1);
            weights += layout2015
                           ? id + "," + measure + ",1.2" + std::to_string(w) + ",2015-01-01\n"
                           : id + "," + (w == 1 ? "3" : "6") + "," + measure + ",12" +
                                 std::to_string(w) + ".5,2015-01-01\n";
        }
    }
    return t;
}

// A NEVO download: the header, then every food with an amount in most nutrient columns.
std::string nevoText() {
    std::string text =
        "NEVO-versie/NEVO-version|Voedingsmiddelgroep|Food group|NEVO-code|"
        "Voedingsmiddelnaam/Dutch food name|Engelse naam/Food name|Synoniem|"
        "Hoeveelheid/Quantity|Opmerking|Bevat sporen van/Contains traces of|"
        "Is verrijkt met/Is fortified with";
    const char* tags[] = {"ENERCJ (kJ)", "ENERCC (kcal)", "WATER (g)",      "PROT (g)",
                          "FAT (g)",     "CHO (g)",       "FIBT (g)",       "NA (mg)",
                          "CA (mg)",     "SE (\xB5g)",    "VITB12 (\xB5g)", "FASAT (g)"};
    for (int n = 0; n < kNevoNutrients; ++n) {
        char other[16];
        std::snprintf(other, sizeof other, "X%d (mg)", n);
        text.append("|").append(n < 12 ? tags[n] : other);
    }
    text += "\n";
    Random random;
    for (int f = 0; f < kNevoFoods; ++f) {
        const std::string id = std::to_string(f + 1);
        text += "NEVO-Online 2023 8.0|Groep|Group|" + id + "|Voedingsmiddel " + id +
                " bereid|Food " + id + " prepared||" + (f % 10 ? "per 100g" : "per 100ml") + "||" +
                (f % 7 ? "" : "SE, natrium") + "|";
        for (int n = 0; n < kNevoNutrients; ++n) {
            const unsigned r = random.next();
            text += '|';
            if (r % 10)
                text.append(std::to_string(r % 500)).append(",").append(std::to_string(r % 10));
        }
        text += "\n";
    }
    return text;
}

// Builds `args` kRuns times; the median wall and processor seconds, and the first output line.
void time(const fs::path& mkdb, const std::vector<std::string>& args, const fs::path& dir,
          const char* what) {
    const fs::path out = dir / "national.mdb", log = dir / "national.log";
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRuns; ++i) {
        std::vector<std::string> argv{mkdb.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(out.string());
        const Run r = runBuilder(argv, log);
        wall.push_back(r.seconds);
        cpu.push_back(r.cpuSeconds);
    }
    const double seconds = median(wall);
    std::printf("velmora-mkdb %s: %.3f s (processor %.3f s)\n  %.100s...\n", what, seconds,
                median(cpu), firstLine(log).c_str());
    std::printf("# goal %s import time < 1 s\n", seconds < 1 ? "met:   " : "MISSED:");
    std::fflush(stdout);  // not again by the next child
    fs::remove(out);
}

}  // namespace

void benchNationalCsvTables(const fs::path& mkdb, const fs::path& dir) {
    std::printf(
        "# Canadian Nutrient File and NEVO imports, generated downloads (CNF: %d foods, "
        "%d nutrients, %d amounts; NEVO: %d foods x %d nutrients), medians of %d runs\n",
        kCnfFoods, kCnfNutrients, kCnfFoods * kCnfAmountsPerFood, kNevoFoods, kNevoNutrients,
        kRuns);
    std::fflush(stdout);  // not again by each child
    for (const bool layout2015 : {false, true}) {
        const fs::path folder = dir / (layout2015 ? "cnf2015" : "cnf2026");
        fs::create_directories(folder);
        for (const auto& [name, text] : cnfTexts(layout2015))
            writeText(folder / name, text, layout2015);
        time(mkdb, {"--cnf", folder.string()}, dir,
             layout2015 ? "--cnf (2015 layout)" : "--cnf (2026 layout)");
    }
    const fs::path nevo = dir / "nevo.csv";
    writeText(nevo, nevoText(), true);  // code page 1252, CR LF as the writer gives it
    time(mkdb, {"--nevo", nevo.string()}, dir, "--nevo");
}

}  // namespace velmora::bench
