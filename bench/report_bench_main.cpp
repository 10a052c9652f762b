// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report's benchmark, medians of alternating runs beside their floors; no test, it always
// exits 0 unless it cannot run:
// - one food's report (by description, by NDB number) on a table 59 times the shipped one
//   (466,513 rows) against the same on the shipped table, as the user starts it (a process);
// - --search on that table against sqlite3's own LIKE listing the same descriptions (processes),
//   also for a term with an accent that finds the same rows folded;
// - --rank over a table 64 times the shipped one (about 500,000 rows) against a floor that reads
//   the nutrient column in one SQL ORDER BY, both in this process;
// - each command of velmora-report on the shipped table against one plain report (processes);
// - meals of a megabyte: time per thousand lines and peak memory (processes).
// Both tables get the indexes the table builder makes (description, NDB number).
//
//   velmora_bench_report [--quick] [FOLDER]   (FOLDER holds Velmora.mdb and velmora-report)

#include "cli/reportcommand.h"
#include "scaledtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Samples = std::vector<double>;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(Samples v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "velmora_bench_report: %s\n", qPrintable(what));
    std::exit(1);
}

QStringList goals;

// Prints "NAME: M ms (floor F ms) ratio R" and notes whether R meets `limit`.
void figure(const QString& name, const Samples& samples, const Samples& floor, double limit) {
    const double m = median(samples), f = median(floor), ratio = m / std::max(f, 1e-9);
    std::printf("%s: %.2f ms (floor %.2f ms) ratio %.2f\n", qPrintable(name), m, f, ratio);
    std::fflush(stdout);
    if (limit > 0)
        goals << QStringLiteral("# goal %1 %2 <= %3 x floor (%4)")
                     .arg(ratio <= limit ? QStringLiteral("met:   ") : QStringLiteral("MISSED:"),
                          name, QString::number(limit), QString::number(ratio, 'f', 2));
}

// One run of `program` with `args`, its output thrown away, until it ended; its peak memory in
// `peakKb` when given.
double processRun(const QString& program, const QStringList& args, long* peakKb = nullptr) {
    QList<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& a : args) bytes << a.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        fail(QStringLiteral("%1 %2 failed").arg(QFileInfo(program).fileName(), args.join(u' ')));
    if (peakKb) *peakKb = usage.ru_maxrss;
    return msSince(t0);
}

// The same in this process: the command line read, the table opened, the output made.
double inProcess(const QStringList& args) {
    const auto t0 = Clock::now();
    const auto request = velmora::readReportCommandLine(QStringList{"velmora-report"} + args);
    if (!std::holds_alternative<velmora::ReportRequest>(request) ||
        velmora::runReport(std::get<velmora::ReportRequest>(request)).status != 0)
        fail(QStringLiteral("velmora-report %1 failed").arg(args.join(u' ')));
    return msSince(t0);
}

// The least work for a ranking: the table opened, the nutrient column read in one ORDER BY.
double rankFloor(const QString& path, int top) {
    const auto t0 = Clock::now();
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    double sum = 0;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK ||
        sqlite3_prepare_v2(db,
                           QStringLiteral("SELECT POTASSIUM FROM CSR14 WHERE POTASSIUM IS NOT NULL "
                                          "ORDER BY POTASSIUM DESC LIMIT %1")
                               .arg(top)
                               .toUtf8()
                               .constData(),
                           -1, &st, nullptr) != SQLITE_OK)
        fail(QStringLiteral("the floor's query failed"));
    while (sqlite3_step(st) == SQLITE_ROW) sum += sqlite3_column_double(st, 0);
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return sum > 0 ? msSince(t0) : 0;
}

// A copy of the shipped table `copies` times over, with the indexes the builder makes.
QString scaled(const QString& shipped, const QString& folder, int copies) {
    const QString path = QDir(folder).filePath(QStringLiteral("x%1.mdb").arg(copies));
    const QString error = velmora::bench::buildScaledTable(shipped, path, copies);
    if (!error.isEmpty()) fail(QStringLiteral("cannot build the larger table: ") + error);
    sqlite3* db = nullptr;
    const bool indexed =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_exec(
            db,
            "CREATE INDEX IF NOT EXISTS CSR14_Description ON CSR14 (Description COLLATE "
            "NOCASE); CREATE INDEX IF NOT EXISTS CSR14_NDB_NO ON CSR14 (NDB_NO); CREATE INDEX "
            "IF NOT EXISTS CSR14_NDB_NO_NOCASE ON CSR14 (NDB_NO COLLATE NOCASE); ANALYZE",
            nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    if (!indexed) fail(QStringLiteral("cannot index ") + path);
    return path;
}

// `rounds` alternating runs of each of `runs`, after one that warms the caches.
std::vector<Samples> alternate(int rounds, const std::vector<std::function<double()>>& runs) {
    std::vector<Samples> samples(runs.size());
    for (int i = 0; i <= rounds; ++i)
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const double ms = runs[r]();
            if (i > 0) samples[r].push_back(ms);
        }
    return samples;
}

// One food by description and by NDB number on the big table against the shipped one; the first
// food of the list and one of its middle.
void lookupFigures(const QString& program, const QString& big, const QString& shipped, int rounds) {
    for (const QStringList& food :
         {QStringList{QStringLiteral("Apples, raw, with skin")},
          QStringList{QStringLiteral("09003")},
          QStringList{QStringLiteral("--grams"), QStringLiteral("50"),
                      QStringLiteral("Milk, whole, 3.25% milkfat, with added vitamin D")}}) {
        const auto run = [&](const QString& table) {
            return [&, table] {
                return processRun(program, QStringList{"--database", table} + food);
            };
        };
        const auto s = alternate(rounds, {run(big), run(shipped)});
        figure(QStringLiteral("velmora-report %1, 466,513 rows against the shipped table")
                   .arg(food.join(u' ')),
               s[0], s[1], 1.5);
    }
}

// --search as the user starts it, against the sqlite3 shell listing the same descriptions with
// its own LIKE: a few hits and many.
void searchFigures(const QString& program, const QString& big, int rounds) {
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty()) {
        std::printf("# --search against sqlite3: skipped, no sqlite3 on the PATH\n");
        return;
    }
    // The last term is written with an accent and finds the same rows, folded.
    for (const auto& [term, plain] : {std::pair{QStringLiteral("quinoa"), QStringLiteral("quinoa")},
                                      {QStringLiteral("chicken"), QStringLiteral("chicken")},
                                      {QStringLiteral("CHICKÉN"), QStringLiteral("chicken")}}) {
        const QStringList search{"--database", big, "--search", term};
        const QStringList floor{big, QStringLiteral("select Description from CSR14 where "
                                                    "Description like '%%1%' order by Description")
                                         .arg(plain)};
        const auto s = alternate(rounds, {[&] { return processRun(program, search); },
                                          [&] { return processRun(shell, floor); }});
        figure(QStringLiteral("velmora-report --search %1, 466,513 rows, against sqlite3's LIKE")
                   .arg(term),
               s[0], s[1], 1.3);
    }
}

// Rank: the work alone, in this process.
void rankFigures(const QString& rankTable, int rounds) {
    const QStringList rank{"--database", rankTable, "--rank", "potassium"};
    const auto s = alternate(
        rounds, {[&] { return inProcess(rank); }, [&] { return rankFloor(rankTable, 20); },
                 [&] { return inProcess(rank + QStringList{"--per-measure"}); }});
    figure(QStringLiteral("--rank potassium, 506,048 rows, against one ORDER BY LIMIT 20"), s[0],
           s[1], 1.3);
    figure(QStringLiteral("--rank potassium --per-measure, 506,048 rows, against the same"), s[2],
           s[1], 0);
}

void writeMeal(const QString& meal) {
    QFile mealFile(meal);
    if (!mealFile.open(QIODevice::WriteOnly) ||
        mealFile.write("Spinach, cooked, boiled, drained, without salt@0.25x1\n"
                       "Apples, raw, with skin@1x1\n01001@5g\n") < 0)
        fail(QStringLiteral("cannot write ") + meal);
    mealFile.close();
}

// Each command on the shipped table against one plain report, as processes.
void commandFigures(const QString& program, const QString& shipped, const QString& meal,
                    int rounds) {
    const QStringList plain{"--database", shipped, "Apples, raw, with skin"};
    const QList<QStringList> commands{{"--csv", "--dv", "Apples, raw, with skin"},
                                      {"--search", "chicken"},
                                      {"--rank", "potassium"},
                                      {"--rank", "vitamin c", "--per-measure"},
                                      {"--rank", "vitamin c", "--per-measure", "--top", "50"},
                                      {"--compare", "Apples, raw, with skin", "01001@45g",
                                       "Spinach, cooked, boiled, drained, without salt@0.25x1"},
                                      {"--meal", meal},
                                      {"--meal", meal, "--json"}};
    std::vector<std::function<double()>> runs{[&] { return processRun(program, plain); }};
    for (const QStringList& c : commands)
        runs.push_back([&, c] {
            return processRun(program, QStringList{"--database", shipped} + c);
        });
    const auto s = alternate(rounds, runs);
    for (qsizetype i = 0; i < commands.size(); ++i)
        figure(QStringLiteral("velmora-report %1, shipped table, against one report")
                   .arg(QString(commands[i].join(u' ')).replace(meal, "MEAL")),
               s[static_cast<std::size_t>(i) + 1], s[0], 2);
}

// The meals of a megabyte that once took a minute and half a gigabyte: one food on 170,000 lines,
// one food and measure on 38,000. Cost per thousand lines, and peak memory beside one report's.
void bigMealFigures(const QString& program, const QString& shipped, const QString& folder,
                    int rounds) {
    const QString meal = QDir(folder).filePath(QStringLiteral("big-meal.txt"));
    long reportKb = 0;
    processRun(program, {"--database", shipped, "01001"}, &reportKb);
    for (const auto& [line, lines] :
         {std::pair("01001\n", 170000), std::pair("Apples, raw, with skin@1x1\n", 38000)}) {
        QFile file(meal);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(line).repeated(lines)) < 0)
            fail(QStringLiteral("cannot write ") + meal);
        file.close();
        long peakKb = 0;
        Samples ms;
        for (int i = 0; i < std::max(rounds / 4, 3); ++i)
            ms.push_back(processRun(program, {"--database", shipped, "--meal", meal}, &peakKb));
        const double perThousand = median(ms) * 1000 / lines;
        const QString name = QStringLiteral("--meal of %1 lines of %2")
                                 .arg(lines)
                                 .arg(QString::fromLatin1(line).trimmed());
        std::printf("%s: %.0f ms, %.1f ms per thousand lines, peak %ld KiB (one report %ld KiB)\n",
                    qPrintable(name), median(ms), perThousand, peakKb, reportKb);
        goals << QStringLiteral("# goal %1 %2 < 100 ms per thousand lines (%3)")
                     .arg(perThousand < 100 ? QStringLiteral("met:   ") : QStringLiteral("MISSED:"),
                          name, QString::number(perThousand, 'f', 1));
        goals << QStringLiteral("# goal %1 %2 peak memory < one report's + 64 MiB (%3 KiB)")
                     .arg(peakKb < reportKb + 65536 ? QStringLiteral("met:   ")
                                                    : QStringLiteral("MISSED:"),
                          name, QString::number(peakKb));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool quick = args.removeAll(QStringLiteral("--quick")) > 0;
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(u'-'))) {
        std::fputs("usage: velmora_bench_report [--quick] [FOLDER]\n", stderr);
        return 2;
    }
    const QDir folder(args.isEmpty() ? QCoreApplication::applicationDirPath() : args.first());
    const QString program = folder.filePath(QStringLiteral("velmora-report"));
    if (!QFile::exists(folder.filePath(QStringLiteral("Velmora.mdb"))) || !QFile::exists(program))
        fail(QStringLiteral("no Velmora.mdb and velmora-report in ") + folder.path());
    QTemporaryDir scratch;
    if (!scratch.isValid()) fail(QStringLiteral("no temporary folder"));
    const QString shippedTable = folder.filePath(QStringLiteral("Velmora.mdb"));
    const QString shipped = scaled(shippedTable, scratch.path(), 1);
    const QString big = scaled(shippedTable, scratch.path(), 59);
    const QString rankTable = scaled(shippedTable, scratch.path(), 64);
    const int rounds = quick ? 3 : 21;
    std::printf("# medians of %d runs each, after one that warms the caches\n", rounds);

    lookupFigures(program, big, shipped, rounds);
    searchFigures(program, big, rounds);
    rankFigures(rankTable, rounds);
    const QString meal = scratch.filePath(QStringLiteral("meal.txt"));
    writeMeal(meal);
    commandFigures(program, shipped, meal, rounds);
    bigMealFigures(program, shipped, scratch.path(), rounds);

    for (const QString& g : goals) std::printf("%s\n", qPrintable(g));
    return 0;
}
