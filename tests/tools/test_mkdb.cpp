// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-mkdb as a user runs it: what it refuses (a command line, an input, an output) leaves
// the folder as it was, a fault placed as FILE:LINE:COLUMN; tables from CSV and from an SR release
// arrive cell for cell; and the table the build ships (bin/Velmora.mdb from data/foods.csv). The
// record scanner's formats that the national tables need, on their own.
#include <QtTest>
#include <csignal>
#include "testcase.h"

#include "fixturedb.h"
#include "fooddb/foodtableid.h"
#include "toolrun.h"
#include "tools/formats/recordscanner.h"

using namespace velmora::test;
using namespace velmora::mkdb;
using namespace Qt::StringLiterals;

const QString kMkdb = qEnvironmentVariable("VELMORA_TEST_BIN") + u"/velmora-mkdb"_s;
const QByteArray kHeader =
    "Description,WATER,ENERG_KCAL,PROTEIN,TOT_LIPID,CARBOHYDRT,FIBER_TD,ASH,CALCIUM,PHOSPHORUS,"
    "IRON,SODIUM,POTASSIUM,MAGNESIUM,ZINC,COPPER,MANGANESE,SELENIUM,VIT_A,VIT_E,THIAMIN,RIBOFLAVIN,"
    "NIACIN,PANTO_ACID,VIT_B6,FOLATE,VIT_B12,VIT_C,FA_SAT,FA_MONO,FA_POLY,CHOLESTRL,GMWT_1,"
    "GMWT_DESC1,GMWT_2,GMWT_DESC2,REFUSE_PCT,NDB_NO,CODE\n";

// A valid row: "Food", then one-character cells, so cell k >= 1 starts at column 2k + 4 as long
// as no earlier cell is changed.
static QByteArray row(const QMap<int, QByteArray>& changes = {}) {
    QByteArrayList cells{"Food"};
    for (int k = 1; k < 39; ++k) cells << (k == 33 || k == 35 || k >= 37 ? "x" : "1");
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) cells[it.key()] = it.value();
    return cells.join(',') + '\n';
}

// Each nutrient column after its SR number. Food 09999 of the release has amount k of the k-th,
// so a nutrient put in another column shows.
const QStringList kSrNumbers =
    u"255 WATER 208 ENERG_KCAL 203 PROTEIN 204 TOT_LIPID 205 CARBOHYDRT 291 FIBER_TD 207 ASH "
    "301 CALCIUM 305 PHOSPHORUS 303 IRON 307 SODIUM 306 POTASSIUM 304 MAGNESIUM 309 ZINC "
    "312 COPPER 315 MANGANESE 317 SELENIUM 318 VIT_A 323 VIT_E 404 THIAMIN 405 RIBOFLAVIN "
    "406 NIACIN 410 PANTO_ACID 415 VIT_B6 417 FOLATE 418 VIT_B12 401 VIT_C 606 FA_SAT "
    "645 FA_MONO 646 FA_POLY 601 CHOLESTRL"_s.split(u' ');
static QString eachNutrient(bool cells) {
    QString text;
    for (qsizetype k = 0; k < kSrNumbers.size(); k += 2)
        text += cells ? u"%1=%2.0 "_s.arg(kSrNumbers[k + 1]).arg(k / 2 + 1)
                      : u"~09999~^~%1~^%2\r\n"_s.arg(kSrNumbers[k]).arg(k / 2 + 1);
    return text;
}

// An SR release (code page 1252, CRLF; file names in any case): foods with three, one and no
// measures; a nutrient missing, a measured 0, vitamin E as 323 and 394 (323 wins) and 394 only.
const QMap<QString, QByteArray> kRelease{
    {u"FOOD_DES.txt"_s,
     "~01001~^~0100~^~Butter, salted~^~BUTTER,WITH SALT~^~~^~~^~Y~^~~^0^~~^6.38^4.27^8.79^3.87\r\n"
     "~11457~^~1100~^~Spinach, raw~^~SPINACH,RAW~^~~^~~^~Y~^~Large stems~^28^~Spinacia~^^2.44\r\n"
     "~14999~^~1400~^~Caf\xE9 au lait, \x93instant\x94~^~CAFE~^~~^~~^~~^~~^\r\n"
     "~09999~^~0900~^~All~^~~^~~^~~^~~^~~^\r\n"},
    {u"NUT_DATA.TXT"_s,
     "~01001~^~255~^15.87^7^0.12^~1~\r\n~01001~^~208~^717^0^^~4~\r\n~01001~^~291~^0.0^0^^~4~\r\n"
     "~01001~^~323~^2.32^1\r\n~01001~^~394~^9\r\n~01001~^~417~^3\r\n~01001~^~999~^42\r\n"
     "~11457~^~208~^23\r\n~11457~^~318~^9377\r\n~11457~^~404~^0.078\r\n~11457~^~394~^2.03\r\n"
     "~14999~^~208~^1\r\n" +
         eachNutrient(false).toLatin1()},
    {u"Weight.txt"_s,  // Seq sorts as a number: 10 comes after 2
     "~01001~^10^1^~stick~^113^^\r\n~01001~^2^1.000^~tbsp~^14.2^^\r\n"
     "~01001~^1^0.50^~cup~^113.5^^\r\n~11457~^1^1^~cup~^30^^\r\n"},
    {u"sr28_doc.pdf"_s, "%PDF-1.4\n"}};  // names the release

// A FoodData Central download (every field quoted, columns found by name, extra columns): the
// release's three foods as SR Legacy, then an analysed food of each energy, fat and carbohydrate
// stand-in and one with an SR food's NDB number, a survey food, branded foods whose descriptions
// are taken (ignoring the case of É and of the Kelvin sign too), and a food of another type.
const QMap<QString, QByteArray> kFdc{
    {u"food.csv"_s,
     "\"fdc_id\",\"data_type\",\"description\",\"food_category_id\",\"publication_date\"\n"
     "\"9\",\"branded_food\",\"BUTTER, SALTED\",\"\",\"\"\n\"10\",\"branded_food\",\"Butter, "
     "salted\",\"\",\"\"\n\"11\",\"branded_food\",\"Spread\",\"\",\"\"\n\"12\",\"branded_food\","
     "\"Spread\",\"\",\"\"\n\"20\",\"foundation_food\",\"Hummus\",\"16\",\"2019-04-01\"\n\"21\","
     "\"foundation_food\",\"Tahini\",\"99\",\"\"\n\"30\",\"survey_fndds_food\",\"Milk\",\"\",\"\"\n"
     "\"40\",\"sample_food\",\"Sample\",\"\",\"2024-10-31\"\n\"101\",\"sr_legacy_food\",\"Butter, "
     "salted\",\"1\",\"\"\n\"102\",\"sr_legacy_food\",\"Spinach, raw\",\"11\",\"\"\n\"103\","
     "\"sr_legacy_food\",\"Café au lait, “instant”\",\"\",\"\"\n\"13\",\"branded_food\","
     "\"CAFÉ AU LAIT, “INSTANT”\",\"\",\"\"\n\"15\",\"branded_food\",\"Kale\",\"\",\"\"\n"
     "\"16\",\"branded_food\",\"\u212AALE\",\"\",\"\"\n\"22\",\"foundation_food\","
     "\"Butter, unsalted\",\"\",\"\"\n"},
    {u"nutrient.csv"_s,
     "\"id\",\"name\",\"unit_name\",\"nutrient_nbr\",\"rank\"\n\"1051\",\"\",\"\",\"255\",\"\"\n"
     "\"1008\",\"\",\"\",\"208\",\"\"\n\"1079\",\"\",\"\",\"291\",\"\"\n\"1109\",\"\",\"\",\"323\","
     "\"\"\n\"1124\",\"\",\"\",\"394\",\"\"\n\"1177\",\"\",\"\",\"417\",\"\"\n\"1999\",\"\",\"\","
     "\"999\",\"\"\n\"1104\",\"\",\"\",\"318\",\"\"\n\"1165\",\"\",\"\",\"404\",\"\"\n\"2048\","
     "\"\",\"\",\"958\",\"\"\n\"2047\",\"\",\"\",\"957\",\"\"\n\"1085\",\"\",\"\",\"298\",\"\"\n"
     "\"1004\",\"\",\"\",\"204\",\"\"\n\"1050\",\"\",\"\",\"205.2\",\"\"\n\"1005\",\"\",\"\","
     "\"205\",\"\"\n\"1003\",\"\",\"\",\"203\",\"\"\n"},
    {u"food_nutrient.csv"_s,  // fdc_id, nutrient_id, amount, loq
     "\"fdc_id\",\"id\",\"nutrient_id\",\"amount\",\"loq\"\n"
     "\"101\",\"1\",\"1051\",\"15.87\",\"\"\n\"101\",\"2\",\"1008\",\"717\",\"\"\n"
     "\"101\",\"3\",\"1079\",\"0.0\",\"\"\n\"101\",\"4\",\"1109\",\"2.32\",\"\"\n"
     "\"101\",\"5\",\"1124\",\"9\",\"\"\n\"101\",\"6\",\"1177\",\"3\",\"\"\n"
     "\"101\",\"7\",\"1999\",\"42\",\"\"\n\"102\",\"8\",\"1008\",\"23\",\"\"\n"
     "\"102\",\"9\",\"1104\",\"9377\",\"\"\n\"102\",\"10\",\"1165\",\"0.078\",\"\"\n"
     "\"102\",\"11\",\"1124\",\"2.03\",\"\"\n\"103\",\"12\",\"1008\",\"1\",\"\"\n"
     "\"20\",\"13\",\"2048\",\"229\",\"\"\n\"20\",\"14\",\"2047\",\"300\",\"\"\n"
     "\"20\",\"15\",\"1085\",\"17.1\",\"\"\n\"20\",\"16\",\"1050\",\"3\",\"\"\n"
     "\"20\",\"17\",\"1003\",\"-0.43\",\"\"\n\"20\",\"18\",\"2048\",\"1\",\"\"\n"
     "\"21\",\"19\",\"2047\",\"595\",\"\"\n\"21\",\"20\",\"1004\",\"53.8\",\"\"\n"
     "\"21\",\"21\",\"1085\",\"50\",\"\"\n\"21\",\"22\",\"1005\",\"21.2\",\"\"\n"
     "\"21\",\"23\",\"1050\",\"1\",\"\"\n\"9\",\"24\",\"1003\",\"0\",\"\"\n"
     "\"40\",\"25\",\"1003\",\"5\",\"\"\n\"999999\",\"26\",\"1003\",\"1\",\"\"\n"},
    {u"food_portion.csv"_s,
     "\"id\",\"fdc_id\",\"seq_num\",\"amount\",\"measure_unit_id\",\"portion_description\","
     "\"modifier\",\"gram_weight\"\n\"1\",\"101\",\"10\",\"1\",\"9999\",\"\",\"stick\",\"113\"\n"
     "\"2\",\"101\",\"2\",\"1.000\",\"9999\",\"\",\"tbsp\",\"14.2\"\n\"3\",\"101\",\"1\",\"0.50\","
     "\"9999\",\"\",\"cup\",\"113.5\"\n\"4\",\"102\",\"1\",\"1\",\"9999\",\"\",\"cup\",\"30\"\n"
     "\"5\",\"20\",\"\",\"1\",\"1000\",\"\",\"\",\"246\"\n\"6\",\"20\",\"1\",\"1\",\"1001\",\"\","
     "\"heaping\",\"15\"\n\"7\",\"20\",\"0\",\"1\",\"1000\",\"\",\"\",\"0\"\n\"9\",\"30\",\"2\","
     "\"1\",\"9999\",\"Quantity not specified\",\"90000\",\"244\"\n\"8\",\"30\",\"2\",\"1\","
     "\"9999\",\"1 cup\",\"10205\",\"244\"\n"},
    {u"measure_unit.csv"_s, "\"id\",\"name\"\n\"1000\",\"cup\"\n\"1001\",\"tablespoon\"\n"},
    {u"food_category.csv"_s,
     "\"id\",\"code\",\"description\"\n\"1\",\"0100\",\"\"\n\"16\",\"1600\",\"\"\n"},
    {u"sr_legacy_food.csv"_s,
     "\"fdc_id\",\"NDB_number\"\n\"101\",\"1001\"\n\"102\",\"11457\"\n\"103\",\"14999\"\n"},
    {u"foundation_food.csv"_s,
     "\"fdc_id\",\"NDB_number\",\"footnote\"\n\"20\",\"16158\",\"\"\n\"22\",\"1001\",\"\"\n"},
    {u"survey_fndds_food.csv"_s, "\"fdc_id\",\"food_code\"\n\"30\",\"11111000\"\n"},
    {u"branded_food.csv"_s,
     "\"fdc_id\",\"brand_owner\",\"serving_size\",\"serving_size_unit\","
     "\"household_serving_fulltext\"\n\"9\",\"Acme\",\"28\",\"g\",\"2 tbsp\"\n\"10\",\"Acme\","
     "\"14\",\"GRM\",\"\"\n\"11\",\"\",\"30\",\"ml\",\"\"\n\"12\",\"\",\"\",\"\",\"\"\n"}};

static void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Runs `command` with sh in `dir`; its standard output.
static QString shell(const QString& dir, const QString& command) {
    QProcess sh;
    sh.start(u"sh"_s, {u"-ec"_s, u"cd \"$0\"; "_s + command, dir});
    if (!sh.waitForFinished() || sh.exitCode() != 0) qFatal("sh: %s", qPrintable(command));
    return QString::fromUtf8(sh.readAllStandardOutput());
}

// A case's folder: the SR release in sr/, the download in fdc/ and a malformed in.csv, then
// `command` run there.
static void prepare(const QString& dir, const QString& command = {}) {
    for (const auto& [folder, files] : {std::pair(u"sr"_s, kRelease), std::pair(u"fdc"_s, kFdc)}) {
        QDir(dir).mkdir(folder);
        for (const auto& [name, bytes] : files.asKeyValueRange())
            writeFile(dir + u'/' + folder + u'/' + name, bytes);
    }
    writeFile(dir + u"/in.csv"_s, kHeader + row({{1, "bad"}}));
    // Own foods: two of one NDB number, one with a nutrient not measured and a measure.
    writeFile(dir + u"/a.csv"_s, kHeader + row({{0, "Pea"}, {17, ""}, {32, "40"}, {37, "7"}}) +
                                     row({{0, "Bean"}, {37, "7"}}));
    shell(dir, command);
}

// Every entry in `dir` with its type and link target, and every file's digest: a left-over
// temporary file, a changed file, or a link or FIFO replaced by a file shows up.
static QStringList snapshot(const QString& dir, bool contents = true) {
    QStringList lines = shell(dir, u"find . -mindepth 1 -printf '%p %y%l\\n'"_s +
                                       (contents ? u"; find . -type f -exec md5sum {} +"_s : u""_s))
                            .split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

// A run in a folder made by prepare(shell), then `file` written with `content`: "|"-separated
// arguments; the exit status, 128 + N for signal N (sent once the temporary file is there); the
// start of standard error.
struct Case {
    QString shell, file, args, err;
    QByteArray content;
    int status, signal = 0;
};

// CNF 2015's, NEVO's, and code page 1252 with RFC 4180 quoting.
const ScanFormat kScanFormats[] = {{.encoding = TextEncoding::Latin1, .trailingEmptyFields = true},
                                   {.separator = '|',
                                    .quote = '\0',
                                    .encoding = TextEncoding::Utf8ElseCp1252,
                                    .decimalPoint = ','},
                                   {.encoding = TextEncoding::Cp1252}};

// A run that ends before it reads: arguments "|"-separated (an empty one between two "|").
static void runs(const char* name, const char* shell, const char* args, int status,
                 const QString& err) {
    QTest::newRow(name) << Case{shell, {}, args, err, {}, status};
}

// A run on malformed input, over an existing output.
static void bad(const char* name, const QByteArray& content, const QString& err,
                const QString& file = u"in.csv"_s) {
    const QString args = file.startsWith(u"sr/")    ? u"--sr|sr|o"_s
                         : file.startsWith(u"fdc/") ? u"--fdc|fdc|o"_s
                                                    : u"in.csv|o"_s;
    QTest::newRow(name) << Case{u"echo previous > o"_s, file, args, file + u':' + err, content, 1};
}

// A recipe file (or with `added`, a file of own foods) refused: file, line and column.
static void badOwn(const char* name, const QByteArray& content, const QString& err,
                   bool added = false) {
    const QString file = added ? u"b.csv"_s : u"r.txt"_s;
    QTest::newRow(QByteArray(name).replace('\n', '|').constData())
        << Case{u"echo previous > o"_s,
                file,
                u"--sr|sr|o|--add|a.csv|--"_s + (added ? u"add|"_s : u"recipes|"_s) + file,
                file + u':' + err,
                content,
                1};
}

static void ownFoodRows() {
    runs("--add empty", "", "in.csv|o|--add|", 2, "velmora-mkdb: --add: the file name is empty");
    runs("--recipes missing", "", "--sr|sr|o|--recipes|none", 1, "none:1:1: cannot read");
    runs("--add is the output", "cp a.csv o", "--sr|sr|o|--add|o", 1,
         "o: is the same file as the input");
    badOwn("added taken", kHeader + row({{0, "\"BUTTER, salted\""}}),
           "2:1: the description \"BUTTER, salted\" is taken: another food has it", true);
    badOwn("added taken twice", kHeader + row({{0, "X"}}) + row({{0, "x"}}),
           "3:1: the description \"x\" is taken", true);
    badOwn("added short row", kHeader + "Food,1\n", "2:7: row has 2 fields, expected 39", true);
    badOwn("added blank", kHeader + row({{0, "\" \t \""}}), "2:1: the description is blank", true);
    // The recipes' numbers: an added food of one would be found for the recipe.
    QTest::newRow("added food numbered as a recipe")
        << Case{u"echo previous > o; printf '[A]\\n01001\\n' > r.txt"_s,
                u"b.csv"_s,
                u"--sr|sr|o|--add|b.csv|--recipes|r.txt"_s,
                u"b.csv:3:1: the NDB number \"r1\" is the number of the recipe 'A' (r.txt:1)"_s,
                kHeader + row() + row({{0, "Mine"}, {37, "r1"}}),
                1};
    const QString later = u"is a later recipe (r.txt:3): a recipe can use the recipes before it"_s;
    const std::pair<const char*, const char*> cases[] = {
        {"[A]\nNope@5g\n", "2:1: no food has the description or NDB number 'Nope'"},
        {"[A]\n 7@5g\n",
         "2:2: 2 foods have the NDB number '7' (name one by its description: "
         "'Bean', 'Pea')"},
        {"[A]\n14999@1x1\n", "2:1: 'Café au lait, “instant”' has no household measure 1"},
        {"[A]\n01001@0g\n", "2:1: the portion '0' is not positive"},
        {"[A]\n01001 @ 0 g\n", "2:1: the portion '0' is not positive"},
        // Foods whose descriptions hold every word, on a line of their own.
        {"[A]\nsalted BUTTER @ 5 g\n",
         "2:1: no food has the description or NDB number 'salted BUTTER'\nvelmora-mkdb: did you "
         "mean: 'Butter, salted'\n"},
        {"[A]\n01001@-1x1\n", "2:1: the portion '-1' is not positive"},
        {"[A]\nservings 2\nservings 3\n01001\n", "3:1: servings given twice (first on line 2)"},
        {"[A]\nweight 2 g\nweight 2 g\n01001\n", "3:1: weight given twice (first on line 2)"},
        {"[A]\nservings 0\n01001\n", "2:10: servings: '0' is not positive"},
        {"[A]\nweight -5 g\n01001\n", "2:8: weight: '-5' is not positive"},
        {"[A]\n01001\nweight 5 g\n", "3:1: weight after an ingredient"},
        {"[A]\n01001\nservings 5\n", "3:1: servings after an ingredient"},
        {"[A]\nweight 2 kg\n01001\n", "2:1: the weight in grams is written as in \"weight 900 g\""},
        {"[A]\n[B]\n01001\n", "1:1: the recipe 'A' has no ingredients"},
        {"[A]\nA@5g\n", "2:1: 'A' is this recipe: a recipe cannot be its own ingredient"},
        {"[A]\nR1\n", "2:1: 'R1' is this recipe"},
        {"[ ]\n", "1:1: the recipe's name is empty"},
        {"[A\n01001\n", "1:1: the recipe's name has no closing ']'"},
        {"[A] ] x ] y\n01001\n", "1:11: text follows the name's closing ']'"},
        {"[A]\nservings 1e-30\nweight 900 g\n01001\n",
         "1:1: a serving would weigh more than 10^15 g: 1e-30 servings of 900 g"},
        {"[Caf\xE9]\n01001\n", "1:5: invalid UTF-8 (byte 0xE9)"},
        {"[A]\nCaf\xE9\n", "2:4: invalid UTF-8 (byte 0xE9)"},
        {"[A]\nCaf\xC3", "2:4: invalid UTF-8 (byte 0xC3)"},
        {"[butter, SALTED]\n01001\n", "1:1: the name 'butter, SALTED' is taken"},
        {"[A]\n01001\n[a]\n01001\n", "3:1: the name 'a' is taken"},
        {"# none\n", "2:1: no recipes: a recipe starts with its name in brackets"},
        {"01001\n[A]\n", "1:1: an ingredient before the first recipe"},
    };
    for (const auto& [content, err] : cases) badOwn(content, content, QString::fromUtf8(err));
    badOwn("later recipe", "[A]\nB\n[B]\n01001\n", u"2:1: 'B' "_s + later);
    badOwn("later recipe's number", "[A]\nr2\n[B]\n01001\n", u"2:1: 'r2' "_s + later);
    // Each "]" but the last has more text after it: read in one pass, not once per "]".
    badOwn("name of many brackets", '[' + QByteArray(100000, ']') + "x\n01001\n",
           u"1:100002: text follows the name's closing ']'"_s);
}

// A table written by `sql` on a fixture of one food, as a file's bytes.
static QByteArray tableBytes(const QString& sql, const QString& omitColumn = {}) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.mdb"_s);
    if (!writeFixtureDb(path, {{"Food", {{"WATER", 1.0}}}}, omitColumn).isEmpty() ||
        !execSql(path, sql).isEmpty())
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A built table as the source: refused when it is the output, however named, or no food table.
static void builtTableRows() {
    const QString shipped = shippedDatabase();
    const auto table = [](const char* name, const QByteArray& bytes, const QString& err) {
        QTest::newRow(name) << Case{u"echo previous > o"_s, u"t.mdb"_s, u"t.mdb|o"_s,
                                    u"t.mdb: "_s + err,     bytes,      1};
    };
    QTest::newRow("table is the output") << Case{u"cp '%1' t.mdb"_s.arg(shipped),
                                                 {},
                                                 u"t.mdb|--add|a.csv|t.mdb"_s,
                                                 u"t.mdb: is the same file as the input t.mdb"_s,
                                                 {},
                                                 1};
    QTest::newRow("table linked as the output")
        << Case{u"cp '%1' t.mdb; ln -s t.mdb o"_s.arg(shipped), {}, u"t.mdb|--add|a.csv|o"_s,
                u"o: is the same file as the input t.mdb"_s,    {}, 1};
    const QString notFoods = u"an SQLite database, but no food table: "_s;
    table("no CSR14", tableBytes(u"ALTER TABLE CSR14 RENAME TO Foods"_s),
          notFoods + u"it has no table CSR14\n"_s);
    table("a column missing", tableBytes(u"SELECT 1"_s, u"PROTEIN"_s),
          notFoods + u"CSR14 has no column PROTEIN\n"_s);
    table("a blob", tableBytes(u"UPDATE CSR14 SET WATER = x'31'"_s),
          u"CSR14 row 1, WATER: a blob, not a number or text\n"_s);
    table("text for an amount", tableBytes(u"UPDATE CSR14 SET ZINC = 'n/a'"_s),
          u"CSR14 row 1, ZINC: \"n/a\" is not a number\n"_s);
    table("amount too large", tableBytes(u"UPDATE CSR14 SET ZINC = 2e15"_s),
          u"CSR14 row 1, ZINC: 2000000000000000 is out of range (beyond ±10^15)\n"_s);
    runs("--template with a file", "", "--template|o", 2,
         "velmora-mkdb: --template takes no other arguments");
}

static void commandLineAndOutputRows() {
    for (const char* option : {"--help", "--version"}) runs(option, "", option, 0, "");
    const QString usage = u"\nusage: velmora-mkdb DATA.csv OUT.mdb"_s;
    runs("one file", "", "in.csv", 2, "velmora-mkdb: no OUT.mdb given" + usage);
    runs("three files", "", "--sr|sr|in.csv|o", 2, "velmora-mkdb: unexpected argument 'o'" + usage);
    runs("--types twice", "", "--fdc|fdc|o|--types|branded_food|--types|branded_food", 2,
         "velmora-mkdb: --types is given more than once" + usage);
    runs("--sr and --fdc", "", "--sr|sr|--fdc|fdc|o", 2,
         "velmora-mkdb: --sr and --fdc exclude each other");
    runs("--types without --fdc", "", "in.csv|o|--types|branded_food", 2,
         "velmora-mkdb: --types goes with --fdc only");
    runs("no types selected", "", "--fdc|fdc|o|--types|branded_food,soup", 2,
         "velmora-mkdb: unknown food type \"soup\"");
    // An empty name would be the current or the root folder: nothing is read.
    runs("empty --fdc", "", "--fdc||o", 2, "velmora-mkdb: --fdc: the file name is empty");
    runs("empty OUT", "", "--fdc|fdc|", 2, "velmora-mkdb: OUT.mdb: the file name is empty");
    runs("empty DATA", "", "|o", 2, "velmora-mkdb: DATA.csv: the file name is empty");
    runs("no input", "", "none.csv|o", 1, "none.csv:1:1: cannot read");
    // A refused output costs no reading: the malformed in.csv goes unmentioned.
    const QString input = u"is the same file as the input"_s;
    runs("FIFO", "mkfifo o", "in.csv|o", 1, "o: is not a regular file");
    runs("dangling link", "ln -s none o", "in.csv|o", 1, "o: is a symbolic link to nothing");
    runs("the input", "", "in.csv|in.csv", 1, "in.csv: " + input);
    runs("hard link to the input", "ln in.csv o", "in.csv|o", 1, "o: " + input);
    runs("link to the input", "ln -s in.csv o", "in.csv|o", 1, "o: " + input);
    runs("a file of the release", "", "--sr|sr|sr/Weight.txt", 1, "sr/Weight.txt: " + input);
    runs("a file of the download", "", "--fdc|fdc|fdc/branded_food.csv", 1,
         "fdc/branded_food.csv: " + input);
    runs("no such folder", "", "in.csv|no/o", 1, "no/o: cannot create a temporary file");
    // Written; or ended by a signal (one handler for the three) while it waits for more input.
    const auto writes = [](const char* name, const char* shell, const QString& out) {
        QTest::newRow(name) << Case{
            shell, u"in.csv"_s, u"in.csv|"_s + out, {}, kHeader + row() + row(), 0};
    };
    writes("over a file", "echo previous > o", u"o"_s);
    writes("through a link", "mkdir d; echo previous > d/t; ln -s d/t o", u"o"_s);
    writes("longest name", "", QString(251, u'n') + u".mdb"_s);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        QTest::addRow("signal %d", signal) << Case{u"echo previous > o; rm in.csv; mkfifo in.csv"_s,
                                                   {},
                                                   u"in.csv|o"_s,
                                                   {},
                                                   {},
                                                   128 + signal,
                                                   signal};
    // Not regular files: a FIFO without a writer reads as empty, a device ends at the bound.
    runs("FIFO input", "mkfifo f", "f|o", 1, "f:1:1: empty file: no header row");
    runs("/dev/zero", "", "/dev/zero|o", 1, "/dev/zero:1:1: input too large");
}

static void csvAndReleaseRows() {
    const QByteArray h = kHeader;
    bad("too few cells", h + "Food,1,2\n", "2:9: row has 3 fields, expected 39");
    bad("too many cells", h + row().chopped(1) + ",9\n", "2:82: row has more than 39 fields");
    bad("blank line", h + "\n" + row(), "2:1: row has 1 field, expected 39");
    bad("decimal comma", h + row({{1, "\"0,5\""}}), "2:6: WATER: \"0,5\"");
    // No food has that much of anything: the table would hide it as not measured.
    bad("amount too large", h + row({{1, "1e999"}}), "2:6: WATER: \"1e999\" is out of range");
    bad("unterminated quote", h + row() + "\"Open,1\n", "3:1: unterminated quoted field");
    bad("quote in unquoted", h + row({{0, "a\"b"}}), "2:2: quote (\") inside an unquoted field");
    bad("text after quote", h + row({{0, "\"a\"b"}}), "2:4: unexpected character after");
    bad("bare CR", h + row({{0, "a\rb"}}), "2:2: carriage return without line feed");
    bad("NUL", h + row({{0, QByteArray("a\0b", 3)}}), "2:2: NUL character");
    bad("Latin-1", h + row({{0, "Caf\xE9"}}), "2:4: invalid UTF-8");
    bad("overlong UTF-8", h + row({{0, "A\xC0\xAF"}}), "2:2: invalid UTF-8");
    bad("after a quoted break", h + row({{0, "\"a\nb\""}}) + row({{1, "x"}}), "4:6: WATER");
    bad("column in characters", h + row({{0, "Crème"}, {1, "x"}}), "2:7: WATER: \"x\"");
    // A header of the columns a food needs, in any order: each name must be one.
    bad("header misspelt", QByteArray(h).replace("PROTEIN,", "PROTEINS,"),
        "1:30: header cell 4 is \"PROTEINS\", which is no column of the food table");
    bad("header without Description", "WATER,PROTEIN\n1,2\n",
        "1:1: the header names no Description column");
    bad("header names a column twice", "Description,water,WATER\nx,1,2\n",
        "1:19: header cell 3 names WATER again (cell 2)");
    bad("row shorter than its header", "Description,WATER\nx\n",
        "2:2: row has 1 field, expected 2");
    bad("CSV without foods", h, "2:1: no foods");
    bad("CSV empty description", h + row({{0, ""}}), "2:1: the description is empty");
    bad("escaped and cut", h + row({{1, "\x1B]0;x\a" + QByteArray(90, 'x')}}),
        u"2:6: WATER: \"\\x1B]0;x\\x07"_s + QString(74, u'x') + u"…\" is not a number"_s);
    bad("record over 1 MB", h + "\"" + QByteArray(1 << 21, 'x'), "2:1: input too large");
    bad("line over 1 MB", h + row({{0, QByteArray(1200000, 'x')}}), "2:1: input too large");
    const QByteArray food = kRelease.first().split('\n').first() + '\n';
    const QByteArray nutrient = "~01001~^~208~^717\r\n", weight = "~01001~^1^1^~cup~^227\r\n";
    const QString f = u"sr/FOOD_DES.txt"_s, n = u"sr/NUT_DATA.TXT"_s, w = u"sr/Weight.txt"_s;
    bad("short food row", food + "~01002~^~0100~^~B~", "2:19: row has 3 fields", f);
    bad("value empty", "~01001~^~203~^^4", "1:15: Nutr_Val (field 3): empty", n);
    bad("value too large", "~01001~^~203~^-1e16", "1:15: Nutr_Val (field 3): \"-1e16\" is out", n);
    bad("refuse not a number", "~01001~^~0100~^~B~^~~^~~^~~^~~^~~^1O", "1:35: Refuse", f);
    bad("unknown food", nutrient + "~99999~^~208~^1", "2:1: NDB_No (field 1): food 99999", n);
    bad("food twice", food + food, "2:1: NDB_No (field 1): food 01001 listed twice", f);
    bad("nutrient twice", nutrient + nutrient, "2:9: Nutr_No (field 2): nutrient 208", n);
    bad("measure twice", weight + weight, "2:9: Seq (field 2): measure 1 of food 01001 given", w);
    bad("undefined 1252 byte", "~01002~^~0100~^~B\x81~^~~^~~^~~^~~^~~^", "1:18: byte 0x81", f);
    bad("UTF-8, then not", "~01002~^~0100~^~Café~^~~^~~^~~^~~^~~^\r\n~01003~^~0100~^~B\xE9~^",
        "2:18: invalid UTF-8 (byte 0xE9); the file is read as UTF-8 from its first non-ASCII "
        "character, on line 1",
        f);
    bad("unterminated tilde", "~01001~^~208^717", "1:9: unterminated quoted field", n);
    bad("text after tilde", "~01001~x^~208~^717", "1:8: unexpected character after", n);
    bad("empty description", QByteArray(food).replace("Butter, salted", ""),
        "1:16: Long_Desc (field 3): empty", f);
    bad("UTF-16", "\xFF\xFE~\0", "1:1: the file is UTF-16", f);
    bad("CR line ends", QByteArray(food).replace("\r\n", "\r") + food,
        "1:89: carriage return without line feed", f);
    bad("no SR foods", "", "1:1: no foods", f);
    runs("missing FOOD_DES", "rm sr/FOOD_DES.txt", "--sr|sr|o", 1, "sr/FOOD_DES.txt:1:1:");
    runs("SR from /dev/zero", "ln -sf /dev/zero sr/NUT_DATA.TXT", "--sr|sr|o", 1,
         "sr/NUT_DATA.TXT:1:1: input too large");
}

// The download: files and columns by name, each row as long as the header.
static void downloadRows() {
    const QString food = u"fdc/food.csv"_s, amounts = u"fdc/food_nutrient.csv"_s;
    const QByteArray foods = kFdc[u"food.csv"_s], fn = kFdc[u"food_nutrient.csv"_s];
    bad("no column", QByteArray(fn).replace("\"amount\"", "\"amt\""),
        "1:40: the header has no column \"amount\"", amounts);
    bad("fdc short row", fn + "\"9\",\"1\"\n", "28:8: row has 2 fields, expected 5", amounts);
    bad("fdc unterminated", fn + "\"9\",\"1\n", "28:5: unterminated quoted field", amounts);
    bad("amount", fn + "\"9\",\"1\",\"1003\",\"1,5\",\"\"\n", "28:16: amount: \"1,5\"", amounts);
    const QByteArray portions = kFdc[u"food_portion.csv"_s];
    bad("gram_weight", portions + "\"1\",\"9\",\"\",\"\",\"\",\"\",\"\",\"x\"\n",
        "11:24: gram_weight: \"x\" is not a number", u"fdc/food_portion.csv"_s);
    bad("gram_weight too large", portions + "\"1\",\"9\",\"\",\"\",\"\",\"\",\"\",\"1e30\"\n",
        "11:24: gram_weight: \"1e30\" is out of range", u"fdc/food_portion.csv"_s);
    bad("fdc_id twice", foods + "\"9\",\"branded_food\",\"B\",\"\",\"\"\n",
        "17:1: fdc_id 9 listed twice", food);
    bad("fdc empty description", foods + "\"8\",\"branded_food\",\"\",\"\",\"\"\n",
        "17:20: the description is empty", food);
    bad("no foods of the types",
        foods.first(foods.indexOf('\n') + 1) + "\"1\",\"x\",\"\",\"\",\"\"\n",
        "3:1: no foods of the types sr_legacy_food, foundation_food, survey_fndds_food, "
        "branded_food; the file has the types x",
        food);
    for (const char* file : {"food.csv", "nutrient.csv", "food_nutrient.csv"})
        runs(file, qPrintable(u"rm fdc/"_s + file), "--fdc|fdc|o", 1,
             u"fdc/"_s + file + u":1:1: cannot read: No such file or directory"_s);
    // An optional file that is there must be read, or its measures would go missing unseen.
    runs("portions a link to nothing", "ln -sf none fdc/food_portion.csv", "--fdc|fdc|o", 1,
         "fdc/food_portion.csv:1:1: cannot read: No such file or directory");
    runs("FDC from /dev/zero", "ln -sf /dev/zero fdc/food_nutrient.csv", "--fdc|fdc|o", 1,
         "fdc/food_nutrient.csv:1:1: input too large");
}

class TestMkdb : public velmora::test::TestCase {
    Q_OBJECT
    QTemporaryDir built_;

    // One run of the builder per row. The rows come in three functions, each far inside the time
    // limit under the sanitizers on a busy machine.
    void runCase() {
        QFETCH(Case, c);
        QTemporaryDir temp;
        const QDir dir(temp.path());
        prepare(dir.path(), c.shell);
        if (!c.file.isEmpty()) writeFile(dir.filePath(c.file), c.content);
        QStringList args = c.args.split(u'|');
        const bool writes = c.status == 0 && args.size() == 2;  // a new file, or a changed one
        QStringList expected = snapshot(dir.path(), !writes);
        if (writes && !dir.exists(args.last())) expected << "./" + args.last() + " f";
        expected.sort();
        QFile stalled(dir.filePath(u"in.csv"_s));  // a FIFO held open, and never written to
        if (c.signal) QVERIFY(stalled.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        // The folder's entries by name only: files the builder makes and removes meanwhile
        // (a journal) must not fail the look.
        const auto entries = [&] {
            return dir
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .size();
        };
        const qsizetype before = entries();
        QProcess mkdb;  // in the folder: names in messages are as given
        mkdb.setWorkingDirectory(dir.path());
        mkdb.start(kMkdb, args);
        if (c.signal) {  // once its temporary file is there, it waits for input
            QTRY_VERIFY_WITH_TIMEOUT(entries() > before, 60000);
            QCOMPARE(kill(pid_t(mkdb.processId()), c.signal), 0);
        }
        QVERIFY(mkdb.waitForFinished(120000));
        QCOMPARE(mkdb.exitCode() + (mkdb.exitStatus() == QProcess::CrashExit ? 128 : 0), c.status);
        const QString err = QString::fromUtf8(mkdb.readAllStandardError());
        QVERIFY2(c.err.isEmpty() ? err.isEmpty() : err.startsWith(c.err), qPrintable(err));
        QCOMPARE(snapshot(dir.path(), !writes), expected);
    }

  private slots:
    void commandLine_data() {
        QTest::addColumn<Case>("c");
        commandLineAndOutputRows();
    }
    void commandLine() { runCase(); }
    void csvAndRelease_data() {
        QTest::addColumn<Case>("c");
        csvAndReleaseRows();
    }
    void csvAndRelease() { runCase(); }
    void downloadsAndOwnFoods_data() {
        QTest::addColumn<Case>("c");
        downloadRows();
        ownFoodRows();
        builtTableRows();
    }
    void downloadsAndOwnFoods() { runCase(); }

    void initTestCase() {
        // Quotes, 0 and Null, exponents, a CRLF, blanks, a line break, BOMs (the file's goes).
        prepare(built_.path());
        const QByteArray empty(38, ',');  // the other cells of a food with only a description
        writeFile(
            built_.filePath(u"in.csv"_s),
            "\xEF\xBB\xBF" + kHeader +
                "\"Chef's \"\"best\"\" soup, canned\",0,,0.078,1e3,-0.5,,,,,,,,,,,,,,,,,,,,,,,,,,,"
                "28.35,\"1 slice (4\"\" dia, thin)\",,,,01001,01\r\n" +
                QByteArrayList{"  Leading blanks", "\" Quoted leading blank\"", "\"Two\nlines\"",
                               "Crème brûlée", "apple pie", "BANANA", "\xEF\xBB\xBFMarked",
                               "cherry"}
                    .join(empty + '\n') +
                empty);
        // A release in UTF-8 (the byte order mark of an ASCII file skipped).
        QDir(built_.path()).mkdir(u"sr8"_s);
        writeFile(built_.filePath(u"sr8/FOOD_DES.txt"_s),
                  "~01001~^~0100~^~Café crème~^~~^~~^~~^~~^~~^\r\n");
        writeFile(built_.filePath(u"sr8/NUT_DATA.txt"_s), "\xEF\xBB\xBF~01001~^~208~^1\r\n");
        writeFile(built_.filePath(u"sr8/WEIGHT.txt"_s), "");
        // Recipes of the release's foods, an added food and each other, in two files.
        writeFile(built_.filePath(u"r1.txt"_s),
                  "# cooked down\n[Buttered spinach]  # a comment\nservings 4\nweight 150 g\n"
                  "Spinach, raw @ 2 x1\nbutter, SALTED @ 1x2   # case ignored\n"
                  "09999 @ 25 g # blanks\n\n"
                  "[Spinach twice]\nButtered spinach @ 1x2\nspinach, raw\n");
        writeFile(built_.filePath(u"r2.txt"_s), "[Pea mash]\nPea @ 1x1\nR2 @ 50g\n");
        // Onto built tables: one holding own foods and recipes, then that one, and the shipped
        // one; foods in a few columns, without numbers; the template as a file of own foods.
        writeFile(
            built_.filePath(u"five.csv"_s),
            "energ_kcal,Description,PROTEIN,GMWT_1,GMWT_DESC1\n450,My granola,10.5,30,1 bowl\n"
            "52,\"Apple, mine\",,150,1 apple\n");
        writeFile(built_.filePath(u"r3.txt"_s),
                  "[Granola with apple]\nmy granola @ 1 x1\nU2 @ 75 g\n");
        writeFile(built_.filePath(u"more.csv"_s), "Description\nPlain water\n");
        shell(built_.path(),
              u"m='%1'; $m --recipes r1.txt --sr sr --add a.csv own.mdb --recipes r2.txt > own.txt "
              "2>&1; $m in.csv csv.mdb; $m --sr sr sr.mdb; $m --sr sr8 sr8.mdb 2> sr8.txt; "
              "$m --fdc fdc fdc.mdb > fdc.txt; "
              "$m --fdc fdc --types foundation_food,survey_fndds_food types.mdb; "
              "$m own.mdb --add five.csv --recipes r3.txt onto.mdb > onto.txt 2>&1; "
              "$m onto.mdb --add more.csv again.mdb >> onto.txt 2>&1; "
              "$m '%2' --add five.csv --recipes r3.txt my.mdb >> onto.txt 2>&1; "
              "$m --template > t.csv; $m --sr sr --add t.csv tpl.mdb >> onto.txt 2>&1"_s.arg(
                  kMkdb, shippedDatabase()));
    }

    // Cells as SQLite quotes them: NULL, a REAL with its point, a TEXT in quotes.
    void cells_data() {
        QTest::addColumn<QString>("table");  // built here, or else the shipped one
        QTest::addColumn<QString>("food");   // its NDB_NO, or its Description exactly
        QTest::addColumn<QString>("cells");
        const auto food = [](const char* table, const QString& food, const char* cells) {
            QTest::addRow("%s %s", table, qPrintable(food))
                << QString(table) << food << QString(cells);
        };
        food("csv.mdb", u"01001"_s,
             "WATER=0.0 ENERG_KCAL=NULL PROTEIN=0.078 "
             "TOT_LIPID=1000.0 CARBOHYDRT=-0.5 GMWT_1=28.35 GMWT_DESC1='1 slice (4\" dia, thin)' "
             "GMWT_DESC2=NULL REFUSE_PCT=NULL NDB_NO='01001' CODE='01'");
        food("sr.mdb", u"01001"_s,
             "Description='Butter, salted' CODE='0100' "
             "REFUSE_PCT=0.0 WATER=15.87 ENERG_KCAL=717.0 FIBER_TD=0.0 PROTEIN=NULL VIT_E=2.32 "
             "FOLATE=3.0 GMWT_1=113.5 GMWT_DESC1='0.5 cup' GMWT_2=14.2 GMWT_DESC2='1 tbsp'");
        food(
            "sr.mdb", u"11457"_s,
            "REFUSE_PCT=28.0 VIT_A=9377.0 THIAMIN=0.078 VIT_E=2.03 GMWT_DESC1='1 cup' GMWT_2=NULL");
        QTest::addRow("sr.mdb all nutrients")
            << u"sr.mdb"_s << u"09999"_s << eachNutrient(true).trimmed();
        food("sr.mdb", u"14999"_s,
             "Description='Café au lait, “instant”' GMWT_1=NULL VIT_E=NULL REFUSE_PCT=NULL");
        // The download: stand-ins, measure texts of each type, descriptions made unique.
        food("fdc.mdb", u"16158"_s,
             "Description='Hummus' ENERG_KCAL=229.0 TOT_LIPID=17.1 CARBOHYDRT=3.0 PROTEIN=-0.43 "
             "GMWT_1=15.0 GMWT_DESC1='1 tablespoon, heaping' GMWT_2=246.0 GMWT_DESC2='1 cup' "
             "CODE='16' REFUSE_PCT=NULL");
        food("fdc.mdb", u"21"_s,
             "Description='Tahini' ENERG_KCAL=595.0 TOT_LIPID=53.8 CARBOHYDRT=21.2 CODE=NULL");
        food("fdc.mdb", u"11111000"_s,
             "Description='Milk' GMWT_DESC1='1 cup' GMWT_DESC2='Quantity not specified'");
        food("fdc.mdb", u"9"_s,
             "Description='BUTTER, SALTED (Acme)' PROTEIN=0.0 WATER=NULL GMWT_1=28.0 "
             "GMWT_DESC1='2 tbsp'");
        food("fdc.mdb", u"10"_s,
             "Description='Butter, salted (Acme) [FDC 10]' GMWT_1=14.0 GMWT_DESC1='1 serving'");
        food("fdc.mdb", u"11"_s, "Description='Spread' GMWT_1=NULL");
        food("fdc.mdb", u"12"_s, "Description='Spread [FDC 12]'");
        food("fdc.mdb", u"Butter, salted"_s,
             "NDB_NO='01001' CODE='01' GMWT_DESC1='0.5 cup' GMWT_DESC2='1 tbsp'");
        food("fdc.mdb", u"Butter, unsalted"_s, "NDB_NO='01001'");
        food("fdc.mdb", u"13"_s, "Description='CAFÉ AU LAIT, “INSTANT” [FDC 13]'");
        food("fdc.mdb", u"16"_s, "Description='\u212AALE [FDC 16]'");
        food("own.mdb", u"Pea"_s,
             "NDB_NO='7' SELENIUM=NULL ZINC=1.0 GMWT_1=40.0 GMWT_DESC1='x' GMWT_2=1.0");
        food("own.mdb", u"Buttered spinach"_s,
             "NDB_NO='R1' CODE=NULL WATER=NULL PROTEIN=NULL ENERG_KCAL=77.4 "
             "GMWT_1=37.5 GMWT_DESC1='1 serving' GMWT_2=150.0 GMWT_DESC2='1 recipe'");
        food("own.mdb", u"R2"_s,
             "Description='Spinach twice' GMWT_1=250.0 GMWT_DESC1='1 recipe' GMWT_2=NULL "
             "GMWT_DESC2=NULL");
        food("own.mdb", u"R3"_s, "Description='Pea mash' SELENIUM=NULL GMWT_1=90.0");
        food("sr8.mdb", u"01001"_s, "Description='Café crème' ENERG_KCAL=1.0");
        // Own foods in named columns, numbered after those of the table they go onto.
        food("onto.mdb", u"U1"_s,
             "Description='My granola' ENERG_KCAL=450.0 PROTEIN=10.5 WATER=NULL GMWT_1=30.0 "
             "GMWT_DESC1='1 bowl' GMWT_2=NULL CODE=NULL");
        food("onto.mdb", u"U2"_s, "Description='Apple, mine' PROTEIN=NULL GMWT_1=150.0");
        food("onto.mdb", u"R4"_s,
             "Description='Granola with apple' PROTEIN=NULL GMWT_1=105.0 GMWT_DESC1='1 recipe'");
        food("again.mdb", u"U3"_s, "Description='Plain water' ENERG_KCAL=NULL");
        food("my.mdb", u"U2"_s, "Description='Apple, mine'");
        food("my.mdb", u"R1"_s, "Description='Granola with apple' GMWT_1=105.0");
        food("tpl.mdb", u"U1"_s,
             "Description='Granola bar, homemade (example)' ENERG_KCAL=471.0 SELENIUM=NULL "
             "CHOLESTRL=0.0 GMWT_DESC1='1 bar' GMWT_2=112.0 GMWT_DESC2='4 bars' CODE=NULL");
        food("", u"Spinach, cooked, boiled, drained, without salt"_s,
             "GMWT_1=180.0 GMWT_DESC1='1 cup' GMWT_DESC2=NULL");
    }
    void cells() {
        QFETCH(QString, table);
        QFETCH(QString, food);
        QFETCH(QString, cells);
        QStringList columns;
        for (const auto& m : QRegularExpression(u"(\\w+)="_s).globalMatch(cells))
            columns << u"'%1=' || quote(%1)"_s.arg(m.captured(1));
        const QString sql =
            u"SELECT %1 FROM CSR14 WHERE NDB_NO = %2 OR Description = %2 COLLATE BINARY"_s.arg(
                columns.join(u" || ' ' || "_s), u'\'' + food.replace(u'\'', u"''"_s) + u'\'');
        QCOMPARE(query(table.isEmpty() ? shippedDatabase() : built_.filePath(table), sql).rows,
                 QList<QVariantList>{{cells}});
    }

    // Each shipped food once; the program's list query ignores ASCII case, walks an index rather
    // than sorting; a rollback journal, not WAL.
    void tables() {
        const QString csv = built_.filePath(u"csv.mdb"_s);
        const QString list = u"Select ALL * From CSR14 Order by description"_s;
        QCOMPARE(query(shippedDatabase(), u"SELECT count(*), count(DISTINCT NDB_NO) FROM CSR14"_s)
                     .rows.value(0),
                 (QVariantList{qint64(7907), qint64(7907)}));
        const Query order =
            query(csv, u"SELECT group_concat(Description, '|') FROM (%1)"_s.arg(list));
        QCOMPARE(order.rows.value(0).value(0).toString(),
                 u"  Leading blanks| Quoted leading blank|apple pie|BANANA|Chef's \"best\" soup, "
                 "canned|cherry|Crème brûlée|Two\nlines|\uFEFFMarked"_s);
        const Query plan = query(csv, u"EXPLAIN QUERY PLAN "_s + list);
        QVERIFY(plan.rows.size() == 1 && plan.rows[0].last().toString().contains(u"USING INDEX"));
        for (const char* built : {"csv.mdb", "sr.mdb", "fdc.mdb"}) {  // indexes, analysed
            const QString path = built_.filePath(QLatin1StringView(built));
            QCOMPARE(query(path,
                           u"SELECT count(*) FROM sqlite_master WHERE name IN "
                           "('CSR14_Description', 'CSR14_NDB_NO', 'CSR14_NDB_NO_NOCASE', "
                           "'sqlite_stat1')"_s)
                         .rows.value(0),
                     QVariantList{qint64(4)});
        }
        const auto text = [&](const char* name) {
            QFile out(built_.filePath(QLatin1StringView(name)));
            return out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString();
        };
        // The counts line, then the source record: its date that of the latest food read.
        QCOMPARE(text("fdc.txt").section(u'\n', 0, 2),
                 u"fdc.mdb: 14 foods (sr_legacy_food 3, foundation_food 3, survey_fndds_food 1, "
                 "branded_food 7); skipped 1 food row of other types and 2 food_nutrient rows of "
                 "no such food, 1 repeated amount; 5 descriptions made unique; 1 NDB number held "
                 "by more than one food\nSource: USDA FoodData Central\nVersion: 2019-04-01"_s);
        QVERIFY(
            text("fdc.txt").contains(u"\nNotes: Food types taken: sr_legacy_food, "
                                     "foundation_food, survey_fndds_food, branded_food\n"_s));
        // Every builder's table names its source and carries Velmora's mark, the shipped one too;
        // the release is named by its documentation, else by its folder.
        const QString mark = QString::number(velmora::kFoodTableApplicationId) + u' ';
        for (const auto& [table, name] : {std::pair(u"csv.mdb"_s, u"in.csv"_s),
                                          {u"sr.mdb"_s, u"USDA SR"_s},
                                          {u"fdc.mdb"_s, u"FoodData Central"_s},
                                          {u"own.mdb"_s, u"USDA SR"_s}})
            QCOMPARE(tableMark(built_.filePath(table)), mark + name);
        QCOMPARE(tableMark(shippedDatabase()), mark + u"foods.csv"_s);
        const QString versions = u"SELECT Version, ZerosTested FROM Source"_s;
        QCOMPARE(query(built_.filePath(u"sr.mdb"_s), versions).rows,
                 (QList<QVariantList>{{u"Release 28"_s, qint64(1)}}));
        QCOMPARE(query(built_.filePath(u"sr8.mdb"_s), versions).rows,
                 (QList<QVariantList>{{u"sr8"_s, qint64(1)}}));
        QCOMPARE(text("sr8.txt"), u"velmora-mkdb: sr8/FOOD_DES.txt: read as UTF-8\n"_s);
        QCOMPARE(query(built_.filePath(u"types.mdb"_s), u"SELECT count(*) FROM CSR14"_s).rows,
                 QList<QVariantList>{{qint64(4)}});
        QFile file(csv);  // bytes 18 and 19 of the file are 1 for a rollback journal, 2 for WAL
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(20).sliced(18), QByteArray("\1\1"));
    }

    // The same foods built from the release and from the download give the same 100-gram,
    // portion and Daily Value reports.
    void roundTrip() {
        const QString report = qEnvironmentVariable("VELMORA_TEST_BIN") + u"/velmora-report"_s;
        for (const char* food : {"01001", "11457", "14999"})
            for (const QString& options : {u""_s, u"--measure|1|--count|2"_s, u"--dv"_s}) {
                QStringList outputs;
                for (const char* table : {"sr.mdb", "fdc.mdb"}) {
                    QProcess run;
                    QStringList args{u"--database"_s, built_.filePath(QLatin1StringView(table))};
                    run.start(report, args + options.split(u'|', Qt::SkipEmptyParts) << food);
                    QVERIFY(run.waitForFinished(30000));
                    outputs << QString::number(run.exitCode()) + run.readAllStandardOutput();
                    // The download holds a second food numbered 01001: the lookup says so.
                    const QByteArray err = run.readAllStandardError();
                    QCOMPARE(err.contains("2 foods have the NDB number '01001'"),
                             qstrcmp(food, "01001") == 0 && qstrcmp(table, "fdc.mdb") == 0);
                }
                // Café au lait has no measure: the same refusal from both.
                QVERIFY2(outputs[0].contains(u"Calories") || qstrcmp(food, "14999") == 0,
                         qPrintable(outputs[0]));
                QCOMPARE(outputs[1], outputs[0]);
            }
    }

    // The formats of the coming national tables, through a table file's header and rows: each
    // row's fields, then the wanted column's amount.
    void scanner_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("rows");  // or "!" and the fault
        const auto add = [](const char* name, int format, const QByteArray& input,
                            const char* wanted, const QString& rows) {
            QTest::newRow(name) << format << input << QString(wanted) << rows;
        };
        const QByteArray latin1 = "FoodID,Description,NutrientValue,,\r\n";
        add("Latin-1, CRLF, padded", 0, latin1 + "1,\"Caf\xE9\r\nau lait\",0.5,,\r\n2,x,7\r\n",
            "Nutrient_Amount|NutrientValue", u"1|Café\r\nau lait|0.5 =0.5 / 2|x|7 =7"_s);
        add("padding not empty", 0, latin1 + "3,x,1,,9\r\n", "NutrientValue",
            u"!t.csv:2:7: row has more than 3 fields"_s);
        add("UTF-8 marked", 0,
            "\xEF\xBB\xBF"
            "a,n\nCaf\xC3\xA9,1\n",
            "n", u"Café|1 =1"_s);
        const QByteArray nevo = "NEVO-code|Naam| ENERCC (kcal) \n";
        add("pipes, decimal comma, cp1252", 1, nevo + "1|\"rauw\"|88,5\n2|Cr\xE8me|0\n",
            "enercc (KCAL)", u"1|\"rauw\"|88,5 =88.5 / 2|Crème|0 =0"_s);
        add("point in a decimal comma", 1, nevo + "1|x|1.5\n", "ENERCC (kcal)",
            u"!t.csv:2:5: ENERCC (kcal): \"1.5\" is not a number"_s);
        add("code page 1252", 2, "a,n\n\x80,1\n", "n", u"€|1 =1"_s);
        add("undefined in 1252", 2, "a,n\n\x81,1\n", "n",
            u"!t.csv:2:1: byte 0x81 is not a code page 1252 character"_s);
        add("no such column", 2, "x\n", "a|b",
            u"!t.csv:1:2: the header has no column \"a\" or \"b\""_s);
    }
    void scanner() {
        QFETCH(int, format);
        QFETCH(QByteArray, input);
        QFETCH(QString, wanted);
        QFETCH(QString, rows);
        QStringList read;
        try {
            const std::string column = wanted.toStdString();
            TableFile table(input, u"t.csv"_s, {column}, kScanFormats[format]);
            while (table.next()) {
                QStringList fields;
                for (qsizetype i = 0; i < table.row().size(); ++i)
                    fields << QString::fromUtf8(table.row()[i]);
                read << fields.join(u'|') + u" ="_s + QString::number(table.amount(0));
            }
        } catch (const Fault& fault) {
            read = QStringList{u'!' + fault.diagnostic.toString()};
        }
        QCOMPARE(read.join(u" / "), rows);
    }

    // Own foods after the source's, recipes last; each recipe's "1 recipe" is, nutrient for
    // nutrient, the meal of its lines (which counts what some lines lack), or not measured.
    void ownFoods() {
        const QString table = built_.filePath(u"own.mdb"_s);
        QFile out(built_.filePath(u"own.txt"_s));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(out.readAll());
        QVERIFY2(text.startsWith(u"velmora-mkdb: r1.txt:2: 'Buttered spinach': Water, Protein, "_s),
                 qPrintable(text));
        QVERIFY(
            text.contains(u"r1.txt:9: 'Spinach twice': Vitamin A, Thiamin not measured, as in "
                          "'Buttered spinach' (line 10)\n"_s));
        QVERIFY(text.contains(u"r2.txt:1: 'Pea mash': Water, Protein, "_s));
        QVERIFY(
            text.contains(u"\nown.mdb: 9 foods (4 from sr, 2 added, 3 recipes)\nSource: USDA "_s));
        QCOMPARE(query(table, u"SELECT group_concat(NDB_NO, ' ') FROM CSR14"_s).rows.value(0),
                 QVariantList{u"01001 09999 11457 14999 7 7 R1 R2 R3"_s});
        // Onto a built table: its foods cell for cell, then the new ones; the total first.
        const QString onto = built_.filePath(u"onto.mdb"_s), all = u"SELECT * FROM CSR14"_s;
        QCOMPARE(query(onto, all + u" WHERE rowid <= 9"_s).rows, query(table, all).rows);
        QFile ontoOut(built_.filePath(u"onto.txt"_s));
        QVERIFY(ontoOut.open(QIODevice::ReadOnly));
        // The warning and the counts lines, each table's source record after its counts line.
        const QString said = QString::fromUtf8(ontoOut.readAll());
        QVERIFY(
            said.contains(u"\nNotes: Added by velmora-mkdb: 2 own foods from five.csv, 1 "
                          "recipe from r3.txt.\n"_s));
        QStringList lines;
        for (const QString& line : said.split(u'\n'))
            if (line.contains(u".mdb: "_s) || line.startsWith(u"velmora-mkdb: "_s)) lines << line;
        const QString lacking =
            u"velmora-mkdb: r3.txt:1: 'Granola with apple': Protein not measured, as in 'Apple, "
            "mine' (line 3)"_s;
        QCOMPARE(lines.mid(0, 3),
                 (QStringList{lacking,
                              u"onto.mdb: 12 foods (9 from own.mdb, 2 added, 1 "
                              "recipe)"_s,
                              u"again.mdb: 13 foods (12 from onto.mdb, 1 added)"_s}));
        QVERIFY(
            lines.contains(u"my.mdb: 7,910 foods (7,907 from Velmora.mdb, 2 added, 1 recipe)"_s));
        QCOMPARE(lines.last(), u"tpl.mdb: 5 foods (4 from sr, 1 added)"_s);
        // In the shipped table: found by number, case ignored; for a name no food has, the foods
        // that begin with its words before those that merely hold them, named in list order.
        const Run u1 = velmora::test::run(built_.path(), u"velmora-report"_s,
                                          {u"--database"_s, u"my.mdb"_s, u"--json"_s, u"u1"_s});
        QCOMPARE(QJsonDocument::fromJson(u1.out.toUtf8())["description"].toString(),
                 u"My granola"_s);
        QCOMPARE(velmora::test::run(built_.path(), u"velmora-report"_s,
                                    {u"--database"_s, u"my.mdb"_s, u"Milk, whole"_s})
                     .err.section(u'\n', 1),
                 u"velmora-report: did you mean: 'Milk, buttermilk, fluid, whole', 'Milk, "
                 "chocolate, fluid, commercial, whole, with added vitamin A and vitamin D', 'Milk, "
                 "dry, whole, with added vitamin D', 'Milk, whole, 3.25% milkfat, with added "
                 "vitamin D', 'Milk, whole, 3.25% milkfat, without added vitamin A and vitamin "
                 "D'\n"_s);
        const QString report = qEnvironmentVariable("VELMORA_TEST_BIN") + u"/velmora-report"_s;
        const auto nutrients = [&](const QStringList& args, const QByteArray& in) {
            QProcess run;
            run.start(report, QStringList{u"--database"_s, table, u"--json"_s} + args);
            run.write(in);
            run.closeWriteChannel();
            run.waitForFinished(30000);
            return QJsonDocument::fromJson(run.readAllStandardOutput())["nutrients"].toArray();
        };
        const std::tuple<const char*, const char*, QByteArray> recipes[] = {
            {"Buttered spinach", "2", "Spinach, raw @ 2x1\nbutter, SALTED @ 1x2\n09999 @ 25g\n"},
            {"Spinach twice", "1", "Buttered spinach @ 1x2\nspinach, raw\n"},
            {"Pea mash", "1", "Pea @ 1x1\nR2 @ 50g\n"}};
        for (const auto& [name, measure, lines] : recipes) {
            const QJsonArray recipe =
                nutrients({u"--measure"_s, measure, u"--count"_s, u"1"_s, name}, {});
            const QJsonArray meal = nutrients({u"--meal"_s, u"-"_s}, lines);
            QCOMPARE(recipe.size(), 31);
            QCOMPARE(meal.size(), 31);
            for (qsizetype n = 0; n < 31; ++n) {
                if (recipe[n]["value"].isNull())
                    QVERIFY(meal[n]["foods_without_value"].toInt() > 0);
                else
                    QCOMPARE(recipe[n]["value"].toDouble(), meal[n]["value"].toDouble());
            }
        }
    }

    // Names that are not UTF-8 kept byte for byte and escaped in messages; the temporary files of
    // a build killed outright removed by the next one in the folder, unless their writer lives
    // (a lock held until the pipe that feeds its holder closes); a failed write of the version or
    // of the counts is a failed run.
    void namesAndLeftovers() {
        QTemporaryDir temp;
        writeFile(temp.filePath(u"good.csv"_s), kHeader + row());
        const QString out =
            shell(temp.path(),
                  u"m='%1'; touch .velmora-mkdb.aaaaaa .velmora-mkdb.aaaaaa-journal "
                  ".velmora-mkdb.bbbbbb; mkfifo hold ready; "
                  "flock -o .velmora-mkdb.bbbbbb sh -c 'echo held; exec cat' <hold >ready & "
                  "exec 3>hold; read held <ready; "
                  "cp good.csv \"$(printf 'caf\\351.csv')\"; "
                  "$m \"$(printf 'caf\\351.csv')\" \"$(printf 'out\\351.mdb')\"; "
                  "$m \"$(printf 'no\\351.csv')\" o 2>&1 || true; exec 3>&-; wait; "
                  "rm \"$(printf 'out\\351.mdb')\" \"$(printf 'caf\\351.csv')\" hold ready && echo "
                  "written; "
                  "ls -A .velmora-mkdb.*; $m --version 2>&1 >/dev/full || echo status $?; "
                  "$m good.csv o.mdb 2>&1 >/dev/full || echo status $?"_s.arg(kMkdb));
        QCOMPARE(out,
                 u"out\\xE9.mdb: 1 food\nSource: caf\\xE9.csv\nEnergy: as given in the file\n"
                 "Carbohydrate: as given in the file\nTraces: 0 amounts, stored as 0\nBelow a "
                 "limit: 0 amounts, stored as 0\nRequired notice: no\n"
                 "no\\xE9.csv:1:1: cannot read: No such file or "
                 "directory\nwritten\n.velmora-mkdb.bbbbbb\nvelmora-mkdb: cannot write: No "
                 "space left on device\nstatus 1\nvelmora-mkdb: cannot write: No space left "
                 "on device\nstatus 1\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestMkdb)
#include "test_mkdb.moc"
