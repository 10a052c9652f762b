// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report as a user runs it: the window's text for the same food and portion, the JSON
// and CSV forms, rank, compare and meal, and the exit statuses; and its lookup of one food, which
// must find the window's food with or without the table's indexes.
#include "appfixture.h"
#include "fooddb/datacontrol.h"
#include "fooddb/foodlookup.h"
#include "fooddb/textfold.h"
#include "testcase.h"
#include "withmodal.h"

#include <QtTest>

#include <unistd.h>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;

namespace {

// Zinc and calories are Null and selenium 0 for the apple; the salad has one household measure;
// the pears differ in case only, and one shares its NDB number with another food; kale and
// spinach tie, and the list puts kale first; two of the crèmes differ in accents only; one
// description holds control characters, one ends in a backslash.
QList<FixtureFood> cliFoods() {
    return {{"Apple, raw", {{"WATER", 85.56}, {"SELENIUM", 0.0}, {"NDB_NO", "09003"}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}, {"GMWT_1", 326.0}, {"GMWT_DESC1", "1.5 cup"}}},
            {"Spinach, raw", {{"ENERG_KCAL", 23.0}}},
            {"Pear", {{"ENERG_KCAL", 57.0}, {"NDB_NO", "09252"}}},
            {"PEAR", {{"ENERG_KCAL", 57.0}, {"NDB_NO", "09253"}}},
            {"Pear, Foundation", {{"NDB_NO", "09252"}}},
            {"Kale, raw", {{"ENERG_KCAL", 23.0}}},
            {"Crème fraîche, légère"},
            {"Crème fraîche, épaisse"},
            {"Creme fraiche, legere"},
            {"Bad\x1B]0;owned\x07\nfood",
             {{"NDB_NO", "66666"}, {"GMWT_1", 100.0}, {"GMWT_DESC1", "1\x1B[31m cup"}}},
            {"Chickpeas, rinsed in tap water\\",
             {{"NDB_NO", "16359"}, {"GMWT_1", 254.0}, {"GMWT_DESC1", "1 can"}}}};
}

// The window's text for the food clicked in its list (w[0]), after the portion dialog's option,
// box and entry (w[1], w[2], w[3]) if given, and the daily values if asked for.
QString window(AppFixture& app, const QStringList& w, bool dailyValues) {
    app.selectRow(int(app.listRows().indexOf(w[0])));
    if (w.size() > 1)
        withModal([&] { app.form().mnuPortionAdjust_Click(); },
                  [&](QWidget* dialog) {
                      QMetaObject::invokeMethod(dialog->findChild<QObject*>(w[1]), "click");
                      dialog->findChild<QObject*>(w[2])->setProperty("text", w[3]);
                      QMetaObject::invokeMethod(dialog->findChild<QObject*>("cmdSubmit"), "click");
                  });
    if (dailyValues) app.form().mnuCalculate_Click();
    const QString shown = QString(app.form().Text1Text()).replace("\r\n", "\n");
    return shown.endsWith('\n') ? shown : shown + '\n';
}

struct Run {
    int status = -1;
    QString out, err;
};

// Runs velmora-report in `folder` with `args`, `input` on its standard input. An argument
// ">/dev/full" or ">&-" sends standard output there or closes it; "\351" is the byte 0xE9, in the
// arguments and the input.
Run report(const QString& folder, QStringList args, const QByteArray& input = {}) {
    QProcess p;
    p.setWorkingDirectory(folder);
    if (args.removeAll(">/dev/full")) p.setStandardOutputFile("/dev/full");
    if (args.removeAll(">&-")) p.setChildProcessModifier([] { ::close(1); });
    QString program = qEnvironmentVariable("VELMORA_TEST_BIN") + "/velmora-report";
    if (args.join("").contains('\\')) {  // bytes that are no UTF-8, made by the shell's printf
        args.prepend(program);
        args = QStringList{"-c",
                           "n=$#; for a; do set -- \"$@\" \"$(printf %b \"$a\")\"; done; "
                           "shift $n; exec \"$@\"",
                           "sh"} +
               args;
        program = "/bin/sh";
    }
    p.start(program, args);
    p.write(QByteArray(input).replace("\\351", "\xE9"));
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QString compactJson(const QString& text) {
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    return doc.toJson(QJsonDocument::Compact);
}

// A row of TestReportCli::run.
void row(const char* args, int status, const char* text, const char* locale = "en_US.UTF-8",
         const char* input = "") {
    QTest::newRow(args) << QString(args) << status << QString(text) << QString(locale)
                        << QString(input);
}

// One food's report.
void oneFoodRows() {
    row("APPLE, RAW", 0, "=Apple, raw", "C");  // and Qt says nothing of a non-UTF-8 locale
    row("--measure|1|--count|0.25|chef's salad", 0, "=Chef's salad|Option2|TextOp2|0.25");
    row("--grams|1250.5|--dv|09003", 0, "=Apple, raw|Option1|TextOp1|1250,5", "de_DE.UTF-8");
    row("--measure|1|--count|2.5|--dv|Chef's salad", 0, "=Chef's salad|Option2|TextOp2|2.5",
        "de_DE.UTF-8");
    row("--database|caf\\351.mdb|09003", 0, "=Apple, raw");
    // Not measured is null, measured 0 is 0; water is for the portion too.
    row("--json|apple, raw", 0, R"(~"Zinc","percent_daily_value":null,"unit":"mg","value":null)");
    row("--json|09003", 0, R"(~"percent_daily_value":0,"unit":"micrograms","value":0)");
    row("--json|--grams|250|09003", 0,
        R"(~"grams":250,"ndb_number":"09003","nutrients":[{"label":"Water","unit":"g","value":213.9})");
    row("--json|--measure|1|--count|2|chef's salad", 0, R"(~}],"quantity":2,"unit":"1.5 cup"})");
    // Foods the find step cannot tell apart: the first in the list, and a word on it.
    row("--json|PEAR", 0, R"(~"description":"Pear","grams":100,"ndb_number":"09252")");
    row("pear", 0, "!2 foods have the description 'pear'; this is the first of them");
    row("creme fraiche, epaisse", 0, "=Crème fraîche, épaisse");
    // As written, case ignored, before what only folds alike: a food clicked in the list is found.
    row("--json|CRÈME FRAÎCHE, LÉGÈRE", 0, R"(~{"description":"Crème fraîche, légère")");
    row("crème fraîche, légere", 0,
        "!2 foods have the description 'crème fraîche, légere'; this is the first of them");
    row("09252", 0,
        "!2 foods have the NDB number '09252'; this is the first of them in the list (name "
        "another by its description: 'Pear, Foundation')");
    // Texts of the table reach the terminal escaped; calories not measured have no amount
    // and no percent.
    row("--measure|1|--count|0.5|66666", 0,
        "~ Quantity: 0.5\n Unit: 1\\x1B[31m cup\n Total weight: 50.00 grams\n"
        " Item:  Bad\\x1B]0;owned\\x07\\nfood\n");
    row("--dv|09003", 0, "~ Calories:  \n\n Total Fat in grams:  \n\n");
    // A backslash is written as it stands, as the window shows it.
    row("16359", 0, "=Chickpeas, rinsed in tap water\\");
    row("--dv|16359", 0, "=Chickpeas, rinsed in tap water\\");
    row("--measure|1|--count|2|16359", 0, "=Chickpeas, rinsed in tap water\\|Option2|TextOp2|2");
    row("--grams|50|--dv|--daily-values|2016|Chef's salad", 0, "=Chef's salad|Option1|TextOp1|50");
    row("--csv|--dv|--daily-values|2016|Chef's salad", 0,
        "~nutrient,unit,amount,percent_daily_value,daily_values\r\nCalories,kcal,120,6,"
        "2016\r\n");
    row("--json|--daily-values|2016|chef's salad", 0,
        R"(~{"daily_values":"2016","description":"Chef's salad")");
    row("--json|--daily-values|2016|Chef's salad", 0,
        R"(~{"label":"Vitamin A","unit":"iu","value":null})");
    row("--csv|--dv|Chef's salad", 0,
        "~nutrient,unit,amount,percent_daily_value\r\nCalories,kcal,120,6\r\n");
    // The other countries' rules, named in every form; Canada has no Daily Value for energy.
    row("--dv|--daily-values|anz|Chef's salad", 0, "=Chef's salad");
    row("--csv|--dv|--daily-values|eu|Chef's salad", 0,
        "~nutrient,unit,amount,percent_daily_value,daily_values\r\nCalories,kcal,120,6,eu\r\n");
    row("--json|--daily-values|ca|chef's salad", 0,
        R"(~{"daily_values":"ca","description":"Chef's salad")");
    row("--json|--daily-values|ca|chef's salad", 0,
        R"(~{"label":"Calories","unit":"kcal","value":120})");
}

// Search, rank, compare and meal.
void manyFoodsRows() {
    row("--search|RAW", 0, "Apple, raw\nKale, raw\nSpinach, raw\n");
    row("--search|owned", 0, "Bad\\x1B]0;owned\\x07\\nfood\n");
    row("--search|owned|--csv", 0, "description\r\nBad\\x1B]0;owned\\x07\\nfood\r\n");
    row("--compare|66666@1x1|09003|--csv", 0,
        "~nutrient,unit,Bad\\x1B]0;owned\\x07\\nfood,\"Apple, raw\"\r\nTotal weight,g,100,100\r\n"
        "Quantity,,1,\r\nUnit,,1\\x1B[31m cup,\r\n");
    row("--search|crème", 0,
        "Crème fraîche, épaisse\nCreme fraiche, legere\nCrème fraîche, légère\n");
    row("--search|RAW|--csv", 0,
        "description\r\n\"Apple, raw\"\r\n\"Kale, raw\"\r\n"
        "\"Spinach, raw\"\r\n");
    // Null is left out; ties in list order.
    row("--rank|calories", 0,
        "1. 120 kcal  Chef's salad\n2.  57 kcal  Pear\n3.  57 kcal  PEAR\n"
        "4.  23 kcal  Kale, raw\n5.  23 kcal  Spinach, raw\n");
    row("--rank|ENERG_KCAL|--per-measure|--csv", 0,
        "rank,description,amount,unit\r\n1,Chef's salad,391.2,kcal\r\n");
    row("--rank|energ|--search|raw|--top|1|--json", 0,
        R"(~[{"amount":23,"description":"Kale, raw","ndb_number":null,"rank":1,"unit":"kcal"}])");
    row("--compare|Chef's salad@0.25x1|09003@50g", 0,
        "~Quantity                  0.25\nUnit                      1.5 cup\n"
        "Calories (kcal)           97.8\n");
    row("--compare|Chef's salad|Apple, raw|--csv", 0,
        "~nutrient,unit,Chef's salad,\"Apple, raw\"\r\nTotal weight,g,100,100\r\n"
        "Calories,kcal,120,\r\n");
    row("--compare|Chef's salad@0.25 x 1|09003@ 50 g", 0,
        "~Quantity                  0.25\nUnit                      1.5 cup\n"
        "Calories (kcal)           97.8\n");
    row("--compare|Chef's salad@0.25x1|09003@50g|--csv", 0,
        "~Total weight,g,81.5,50\r\nQuantity,,0.25,\r\nUnit,,1.5 "
        "cup,\r\nCalories,kcal,97.8,\r\n",
        "de_DE.UTF-8");
    row("--meal|-", 0,
        "~ Meal of 2 portions:\n 81.50 grams  Chef's salad (0.25 of 1.5 cup)\n"
        " 50.00 grams  Apple, raw\n",
        "en_US.UTF-8", "Chef's salad @ 0.25 x1\n  # a comment\n\n09003 @ 50 g # half @ lunch\n");
    row("--meal|-|--dv|--daily-values|2016", 0,
        "~\nPercent Daily Values of the 2016 FDA rule\n Total weight: 100.00 grams\n",
        "en_US.UTF-8", "Chef's salad\n");
    row("--meal|-|--csv", 0, "~Calories,kcal,97.8,1\r\n", "en_US.UTF-8",
        "Chef's salad@0.25x1\n09003@50g\n");
}

// Refusals and failures.
void failureRows() {
    const char* usage = "Try 'velmora-report --help'";
    row("Plum", 4, "'Plum'\n");  // no food holds the word: nothing more
    // The foods that hold every word of a name no food has, five at most, in list order.
    row("fraiche CREME", 4,
        "'fraiche CREME'\nvelmora-report: did you mean: 'Crème fraîche, épaisse', 'Creme "
        "fraiche, legere', 'Crème fraîche, légère'\n");
    row("a", 4,
        "did you mean: 'Apple, raw', 'Bad\\x1B]0;owned\\x07\\nfood', 'Chef's salad', 'Chickpeas, "
        "rinsed in tap water\\', 'Crème fraîche, épaisse'\n");
    row("--measure|2|--count|1|Chef's salad", 4, "no household measure 2");
    row("--grams|1,5|Apple, raw", 2, usage);
    row("--grams|1e-400|Apple, raw", 2, "'1e-400' is out of range");
    row("--grams|5|--grams|6|Apple, raw", 2, "--grams is given more than once");
    row("--a\x1B]0;owned\x07", 2, "Unknown option 'a\\x1B]0;owned\\x07'");
    row("--grams|5|--measure|1|--count|1|Apple, raw", 2, usage);
    row("--search|a|Pear", 2, usage);
    row("--rank|vitamin", 2, "'vitamin' may be Vitamin A or Vitamin B6");
    row("--compare|09003", 2, usage);
    row("--compare|09003|09003@5y", 2, "'5y' is no portion");
    row("--compare|09003|Plum@5g", 4, "'Plum'");
    row("--meal|-", 4, "-:2: no food has the description or NDB number 'Plum'", "en_US.UTF-8",
        "09003@50g\nPlum\n");
    row("--meal|-", 4,
        "-:2: no food has the description or NDB number 'raw kale'\nvelmora-report: did you "
        "mean: 'Kale, raw'\n",
        "en_US.UTF-8", "09003@50g\nraw kale @ 5 g\n");
    row("--meal|-", 2, "-:2: not UTF-8", "en_US.UTF-8", "09003@50g\nCaf\\351@5g\n");
    // The bad byte last on its line, before CR LF, last in the file.
    row("--meal|-", 2, "-:2: not UTF-8", "en_US.UTF-8", "09003@50g\nCaf\\351\n");
    row("--meal|-", 2, "-:1: not UTF-8", "en_US.UTF-8", "Caf\\351\r\n09003@50g\n");
    row("--meal|-", 2, "-:2: not UTF-8", "en_US.UTF-8", "09003@50g\nCaf\\351");
    row("--daily-values|2017|--dv|09003", 2,
        "--daily-values is 1993, 2016, eu, ca or anz, not '2017'");
    row("--daily-values|2016|09003", 2, "--daily-values goes with --dv or --json");
    row("--help|>/dev/full", 1, "cannot write: No space left on device");
    row("--version|>&-", 1, "cannot write: Bad file descriptor");
    row("--database|/nonexistent/x.mdb|Apple, raw", 1, "Run-time error '3024':");
    row("--search|[a", 1, "Run-time error '93':");
}

// Gives the table the builder's indexes; one food is then found through them.
void indexAndCheckPlans(const QString& path) {
    QCOMPARE(execSql(path,
                     "CREATE INDEX CSR14_Description ON CSR14 (Description COLLATE NOCASE); "
                     "CREATE INDEX CSR14_NDB_NO ON CSR14 (NDB_NO); "
                     "CREATE INDEX CSR14_NDB_NO_NOCASE ON CSR14 (NDB_NO COLLATE NOCASE)"),
             QString());
    const auto plan = [&](const QString& source) {
        QStringList steps;
        for (const QVariantList& step : query(path, "EXPLAIN QUERY PLAN " + source).rows)
            steps << step.last().toString();
        return steps.join('\n');
    };
    for (const char* food : {"kale", "Éclair", "asb", "09003", "Apples, raw, with skin and core"})
        QVERIFY2(!plan(descriptionCandidates(food).statement("rowid, Description"))
                      .contains("SCAN CSR14"),
                 qPrintable(plan(descriptionCandidates(food).statement("rowid"))));
    QVERIFY(plan(ndbCandidates("09003").statement("*")).contains("INDEX CSR14_NDB_NO ("));
    QVERIFY(plan(ndbCandidates("r12").statement("*")).contains("INDEX CSR14_NDB_NO_NOCASE"));
    QVERIFY(!plan(ndbCandidates("r12").statement("*")).contains("SCAN CSR14"));
}

}  // namespace

class TestReportCli : public velmora::test::TestCase {
    Q_OBJECT

  private slots:
    // Each run's exit status and a part of its errors; or all of its output: the window's for
    // "=FOOD|OPTION|BOX|ENTRY" (with --dv its daily values); "~" a part of it (of the compact
    // JSON); "!" a part of its errors on success.
    void run_data() {
        QTest::addColumn<QString>("args");  // "a|b|c" for the arguments a, b and c
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("input");
        oneFoodRows();
        manyFoodsRows();
        failureRows();
    }
    void run() {
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(QString, input);
        QLocale::setDefault(QLocale(locale));
        DailyValueRule rule = DailyValueRule::Fda1993;
        const QStringList given = args.split('|');
        if (given.contains("--daily-values"))
            readDailyValueRule(given.value(given.indexOf("--daily-values") + 1), rule);
        AppFixture app(cliFoods(), rule);
        if (text.startsWith('=')) text = window(app, text.mid(1).split('|'), args.contains("--dv"));
        // A file name that is no UTF-8, which QTemporaryDir could not remove.
        const std::string cafe = app.folder().toStdString() + "/caf\xE9.mdb";
        std::filesystem::copy_file(app.databasePath().toStdString(), cafe);
        const auto removeCafe = qScopeGuard([&] { std::filesystem::remove(cafe); });
        qputenv("LC_ALL", locale.toUtf8());  // need not be generated on this system
        if (!args.contains("--database")) args = "--database|" + app.databasePath() + '|' + args;
        const Run r = report(app.folder(), args.split('|'), input.toUtf8());
        QCOMPARE(r.status, status);
        const bool part = text.startsWith('~'), onError = text.startsWith('!');
        if (part || onError) text.remove(0, 1);
        if (!part) QCOMPARE(status || onError ? r.out.isEmpty() : r.err.isEmpty(), !onError);
        const QString out = args.contains("--json") ? compactJson(r.out) : r.out;
        QVERIFY2(status || onError ? r.err.contains(text)
                 : part            ? out.contains(text)
                                   : out == text,
                 qPrintable(r.err + r.out));
    }

    // A meal's sums are those of the single reports of its portions; a nutrient some lack is
    // the sum of the others, with the count of those without.
    void mealSums() {
        AppFixture app(cliFoods());
        const QStringList single[] = {{"--measure", "1", "--count", "0.25", "Chef's salad"},
                                      {"--grams", "50", "09003"},
                                      {"--grams", "2", "Spinach, raw"}};
        QJsonArray portions[3];
        for (int i = 0; i < 3; ++i) {
            const Run r = report(
                app.folder(), QStringList{"--database", app.databasePath(), "--json"} + single[i]);
            QCOMPARE(r.status, 0);
            portions[i] = QJsonDocument::fromJson(r.out.toUtf8())["nutrients"].toArray();
        }
        const Run meal =
            report(app.folder(), {"--database", app.databasePath(), "--json", "--meal", "-"},
                   "Chef's salad@0.25x1\n09003@50g\nSpinach, raw@2g\n");
        QCOMPARE(meal.status, 0);
        const QJsonArray sums = QJsonDocument::fromJson(meal.out.toUtf8())["nutrients"].toArray();
        QCOMPARE(sums.size(), 31);
        for (qsizetype n = 0; n < sums.size(); ++n) {
            double sum = 0;
            int lacking = 0;
            for (const QJsonArray& p : portions) {
                lacking += p[n]["value"].isNull();
                sum += p[n]["value"].toDouble();
            }
            QCOMPARE(sums[n]["foods_without_value"].toInt(), lacking);
            if (lacking == 3)
                QVERIFY(sums[n]["value"].isNull());
            else
                QCOMPARE(sums[n]["value"].toDouble(), sum);
        }
        // A food is looked up once however often the meal names it: one word each on the twins
        // of 'pear' and of 'PEAR'.
        const Run twins = report(app.folder(), {"--database", app.databasePath(), "--meal", "-"},
                                 "pear\nPEAR@5g\npear\n");
        QCOMPARE(twins.err.count("foods have the description"), 2);
    }

    // The lookup finds the window's food: through the indexes when the table has them (the
    // builder's), the same without them and with another collation.
    void lookup_data() {
        QTest::addColumn<bool>("indexed");
        QTest::addColumn<bool>("binary");
        QTest::newRow("indexes") << true << false;
        QTest::newRow("no indexes") << false << false;
        QTest::newRow("binary collation, indexes") << true << true;
    }
    void lookup() {
        QFETCH(bool, indexed);
        QFETCH(bool, binary);
        // Twins, case variants and Unicode case, not in list order, also long ones that differ
        // late; characters that fold to
        // ASCII (of Latin-1 and Latin Extended-A, ligatures, a mark, a few others), each without
        // an ASCII twin; no description; a description that is another's NDB number; an NDB
        // number of two foods.
        QList<FixtureFood> foods = {
            {"Kale, raw", {{"NDB_NO", "1"}}},
            {"KALE, RAW", {{"NDB_NO", "2"}}},
            {"Pear", {{"NDB_NO", "3"}}},
            {"Pear", {{"NDB_NO", "4"}}},
            {"éclair", {{"NDB_NO", "5"}}},
            {"ÉCLAIR", {{"NDB_NO", "6"}}},
            {"Éclair", {{"NDB_NO", "7"}}},
            {QVariant(), {{"NDB_NO", "8"}}},
            {"09003", {{"NDB_NO", "9"}}},
            {"Apple", {{"NDB_NO", "09003"}}},
            {"Çay", {{"NDB_NO", "ab"}}},
            {"Plum", {{"NDB_NO", "3"}}},
            {"Spinach, cooked, boiled, drained, with salt", {{"NDB_NO", "10"}}},
            {"Spinach, cooked, boiled, drained, with sált", {{"NDB_NO", "11"}}},
        };
        QList<char32_t> characters = {0xC6, 0xDF, 0xF8, 0x153, 0x0301, 0x1E9E, 0x212A, 0xFB01};
        for (char32_t c = 0x80; c < 0x180; c += 5) characters << c;
        for (const char32_t c : characters)
            if (std::ranges::all_of(foldedCharacter(c), [](char32_t f) { return f < 0x80; }))
                foods.append({"a" + QString::fromUcs4(&c, 1) + "b", {{"NDB_NO", "x"}}});
        QTemporaryDir dir;
        QString path = dir.filePath("Velmora.mdb");
        QCOMPARE(writeFixtureDb(path, foods), QString());
        // Bytes for a description; with the other collation, for an NDB number (the window's
        // way then).
        const QString bytes = binary ? "'Ten', x'3130'" : "x'426c6f62', '11'";
        if (binary) {
            const QString copy = dir.filePath("binary.mdb");
            QCOMPARE(execSql(copy, "ATTACH '" + path +
                                       "' AS f; CREATE TABLE CSR14 AS SELECT * "
                                       "FROM f.CSR14"),
                     QString());
            path = copy;
        }
        QCOMPARE(execSql(path, "INSERT INTO CSR14 (Description, NDB_NO) VALUES (" + bytes + ')'),
                 QString());
        if (indexed) indexAndCheckPlans(path);
        if (QTest::currentTestFailed()) return;
        QStringList texts = {"asb", "akb",  "ASB", "nothing", "09003", "AB",   "ab",
                             "3",   "blob", "10",  "AEB",     "aoeb",  "assb", "X"};
        for (const FixtureFood& f : foods)
            texts << f.description.toString() << f.description.toString().toUpper();
        DataControl fast, whole;
        fast.DatabaseName = whole.DatabaseName = path;
        const auto found = [](const DataControl& d, const FoodMatch& m) {
            return m.found ? QString("%1 %2 %3 %4")
                                 .arg(d.txtFields(field::NdbNumber))
                                 .arg(m.sharing)
                                 .arg(m.byNdbNumber)
                                 .arg(m.others.join('|'))
                           : QString("none");
        };
        for (const QString& text : texts)
            QCOMPARE(found(fast, findFood(fast, text)), found(whole, findFoodInList(whole, text)));
    }
};

QTEST_MAIN(TestReportCli)
#include "test_report_cli.moc"
