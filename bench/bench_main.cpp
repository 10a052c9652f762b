// SPDX-License-Identifier: GPL-3.0-or-later
// Velmora's benchmark: medians of what the user waits for, on the shipped food table, on one ten
// times its size and on one of 466,513 rows (the size of a full FoodData Central table), each
// beside a floor measured in the same run, and on the shipped one with accents written in: the
// least work that gives the same visible result through the SQLite C API and a plain Qt list. Runs
// offscreen. It is no test: it prints the figures and whether they meet their goals, and always
// exits 0 unless the program itself fails.
//
//   velmora_bench [--quick] [--only SECTION,...] [--size shipped,tenfold,big,accented] [FOLDER]
//
// FOLDER holds Velmora.mdb (default: the program's folder). --quick takes few samples, for a
// check that it runs; --only and --size pick parts, for example to run one under callgrind.

#include "app/foodlistview.h"
#include "app/formb.h"
#include "common/msgbox.h"
#include "common/runtimeerror.h"
#include "floor.h"
#include "fooddb/findfood.h"
#include "help/helpcommands.h"
#include "help/helpwindow.h"
#include "portion/frmportion.h"
#include "portion/portion.h"
#include "report/valuearrays.h"
#include "scaledtable.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::bench;

namespace {

using Clock = std::chrono::steady_clock;
using Samples = std::vector<double>;

// A common term and a rare one (on the shipped table: 460 and 4 hits).
const QString kCommonTerm = QStringLiteral("chicken");
const QString kRareTerm = QStringLiteral("quinoa");

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(Samples v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString ms(double value) {
    return QString::number(value, 'f', value < 1 ? 3 : value < 100 ? 2 : 1);
}

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "velmora_bench: %s\n", qPrintable(what));
    std::exit(1);
}

void check(bool ok, const QString& what) {
    if (!ok) fail(QStringLiteral("unexpected result: ") + what);
}

// Runs what is pending (deferred deletes too), so no earlier work leaks into the next timing.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// Counts paint events of one window's widgets, so "shown" means painted, the same for the
// program and for its floor.
class PaintWatch : public QObject {
  public:
    PaintWatch() { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    void setWindow(QWidget* window) { window_ = window; }

    // Processes events until the window has painted at least once (or two seconds passed).
    void processUntilPainted() {
        const auto t0 = Clock::now();
        QCoreApplication::processEvents();
        while (paints_ == 0 && msSince(t0) < 2000) QCoreApplication::processEvents();
        if (paints_ == 0) std::fprintf(stderr, "velmora_bench: a window never painted\n");
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && window_ && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_)
            ++paints_;
        return false;
    }

  private:
    QWidget* window_ = nullptr;
    int paints_ = 0;
};

long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ':';
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Resets the kernel's peak-RSS mark, so each table size gets its own peak.
bool resetPeakRss() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

QString machine() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    QString model = QStringLiteral("unknown CPU");
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) {
            model = QString::fromStdString(line.substr(line.find(':') + 1)).trimmed();
            break;
        }
    return QStringLiteral("machine: %1, %2 cores; Qt %3; SQLite %4; platform %5")
        .arg(model)
        .arg(QThread::idealThreadCount())
        .arg(QLatin1String(qVersion()), QLatin1String(sqlite3_libversion()),
             QGuiApplication::platformName());
}

// The 1-, 5- and 15-minute load averages: other work on the machine skews every figure.
QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("unknown");
    return QString::fromLatin1(file.readLine()).section(u' ', 0, 2);
}

// Prints the figures and collects the goals.
class Report {
  public:
    double figure(const QString& name, const Samples& samples, const Samples* floor = nullptr) {
        const double m = median(samples);
        QString line = name + QStringLiteral(": ") + ms(m) + QStringLiteral(" ms");
        if (floor) {
            const double f = median(*floor);
            line += QStringLiteral(" (floor ") + ms(f) + QStringLiteral(" ms) ratio ") +
                    QString::number(f > 0 ? m / f : 0, 'f', 2);
        }
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        return m;
    }
    double ratio(const Samples& samples, const Samples& floor) {
        return median(samples) / std::max(median(floor), 1e-9);
    }
    void line(const QString& text) {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    }
    void goal(const QString& text, bool met) {
        goals_.append(QStringLiteral("# goal ") +
                      (met ? QStringLiteral("met:    ") : QStringLiteral("MISSED: ")) + text);
    }
    void printGoals() {
        for (const QString& g : goals_) line(g);
    }

  private:
    QStringList goals_;
};

struct Counts {
    int startup;  // pairs of program and floor runs
    int clicks;
    int lastRowClicks;
    int searches;  // rounds of both terms and their resets
    int portion;
    int dailyValues;
    int help;
    int keys;  // of each kind of interaction
};

// One size of table: where it lies, how often each part runs, and the line tag of its figures.
struct SizeRun {
    Report& report;
    QString folder;
    Counts counts;
    bool shipped;
    bool big;  // the size of a full FoodData Central table
    QString dbPath() const { return QDir(folder).filePath(QStringLiteral("Velmora.mdb")); }
    QString tag;
};

struct StartupTimes {
    double report;
    double painted;
};

// The program's start-up: the main window constructed and its load step run, until the first
// report is written, and on until the window has painted.
StartupTimes programStartup(const QString& folder) {
    settle();
    PaintWatch paints;
    const auto t0 = Clock::now();
    auto form = std::make_unique<FormB>(QDir(folder).filePath(QStringLiteral("Velmora.mdb")));
    paints.setWindow(form.get());
    form->Form_Load();
    const double report = msSince(t0);
    paints.processUntilPainted();
    const double painted = msSince(t0);
    check(form->Text1Text().startsWith(QStringLiteral(" Total weight: ")), "no first report");
    form.reset();
    settle();
    return {report, painted};
}

// Its floor: every row in description order into memory, and the first screen with the least
// code: the list and the first food's fields (written before the program's first report is), then
// on until painted.
StartupTimes loadFloor(const QString& dbPath) {
    settle();
    PaintWatch paints;
    const auto t0 = Clock::now();
    Db db = openTable(dbPath, false);
    RowStore rows;
    if (!db || !readRows(db.get(),
                         kLoadQuery.statement(QStringLiteral("rowid, Description")).toUtf8(), rows))
        fail(QStringLiteral("the floor's query failed"));
    QStringListModel model(rows.descriptions);
    FloorWindow floor = makeFloorWindow(&model);
    paints.setWindow(floor.window.get());
    floor.list->setCurrentIndex(model.index(0));
    floor.text->setPlainText(recordText(db.get(), rows.keys.at(0)));
    floor.window->show();
    const double shown = msSince(t0);
    paints.processUntilPainted();
    const double painted = msSince(t0);
    floor.window.reset();
    settle();
    return {shown, painted};
}

// The floor of a refill: the query through the C API, the rows into memory, the plain model
// refilled in its shown view, the previous rows freed.
double refillFloor(sqlite3* db, const QByteArray& sql, QStringListModel& model, RowStore& held,
                   std::size_t* rowCount = nullptr) {
    const auto t0 = Clock::now();
    RowStore rows;
    if (!readRows(db, sql, rows)) fail(QStringLiteral("the floor's query failed"));
    model.setStringList(rows.descriptions);
    held = std::move(rows);
    const double elapsed = msSince(t0);
    if (rowCount) *rowCount = held.rows;
    return elapsed;
}

QString itemLine(const FormB& form) {
    return form.Text1Text().section(CR, 1, 1);
}

// Selects a row as a click would: the selection change runs DBList1_Click.
double clickRow(FormB& form, int row) {
    const QModelIndex index = form.list()->model()->index(row, 0);
    const QString expected = index.data().toString();
    const auto t0 = Clock::now();
    form.list()->setCurrentIndex(index);
    const double elapsed = msSince(t0);
    check(itemLine(form) == QStringLiteral(" Item:  ") + expected,
          QStringLiteral("no report for ") + expected);
    return elapsed;
}

// Which parts of the run to do; all by default. Single parts are for profiling.
struct Selection {
    QStringList sections;  // empty: all
    QStringList sizes = {QStringLiteral("shipped"), QStringLiteral("tenfold"),
                         QStringLiteral("big"), QStringLiteral("accented")};
    bool has(const char* section) const {
        return sections.isEmpty() || sections.contains(QLatin1String(section));
    }
};

int countRows(const QString& dbPath) {
    Db db = openTable(dbPath, false);
    sqlite3_stmt* stmt = nullptr;
    if (!db ||
        sqlite3_prepare_v2(db.get(), "SELECT count(*) FROM CSR14", -1, &stmt, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot count the rows of ") + dbPath);
    const int rows = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return rows;
}

// Start-up, alternating with its floor; the first pair warms caches and is dropped.
void startupSection(SizeRun& run) {
    Samples toReport, toPainted, floorShown, floorPainted;
    for (int i = 0; i <= run.counts.startup; ++i) {
        const StartupTimes f = loadFloor(run.dbPath());
        const StartupTimes p = programStartup(run.folder);
        if (i == 0) continue;
        floorShown.push_back(f.report);
        floorPainted.push_back(f.painted);
        toReport.push_back(p.report);
        toPainted.push_back(p.painted);
    }
    run.report.figure(QStringLiteral("start-up to first report") + run.tag, toReport, &floorShown);
    run.report.figure(QStringLiteral("start-up to window painted") + run.tag, toPainted,
                      &floorPainted);
    const double ratio = run.report.ratio(toPainted, floorPainted);
    run.report.goal(QStringLiteral("start-up to window painted%1 <= 1.3 x floor (%2)")
                        .arg(run.tag, QString::number(ratio, 'f', 2)),
                    ratio <= 1.3);
}

// List click to report, over rows spread across the whole list, and the last row.
void clickSection(SizeRun& run, FormB& form, int n) {
    Samples clicks;
    int current = form.list()->currentIndex().row();
    for (int i = 0; i < run.counts.clicks; ++i) {
        int row = static_cast<int>((static_cast<long long>(i) * 7919 + 4057) % n);
        if (row == current) row = (row + 1) % n;
        clicks.push_back(clickRow(form, row));
        current = row;
        QCoreApplication::processEvents();  // the list and the report paint, untimed
    }
    const double click =
        run.report.figure(QStringLiteral("list click to report") + run.tag, clicks);
    Samples lastClicks;
    for (int i = 0; i < run.counts.lastRowClicks; ++i) {
        clickRow(form, 0);
        QCoreApplication::processEvents();
        lastClicks.push_back(clickRow(form, n - 1));
        QCoreApplication::processEvents();
    }
    const double last =
        run.report.figure(QStringLiteral("list click to report, last row") + run.tag, lastClicks);
    const double limit = run.shipped ? 1 : 16;
    run.report.goal(QStringLiteral("list click to report%1 < %2 ms (%3 ms, last row %4 ms)")
                        .arg(run.tag, ms(limit), ms(click), ms(last)),
                    click < limit && last < limit);
}

// A search term's figures.
struct SearchTerm {
    QString text;
    Samples program, floor;
    std::size_t hits = 0;
};

// What the search's floors read into: the plain list, shown.
struct SearchFloor {
    explicit SearchFloor(Db table) : db(std::move(table)), view(makeFloorList(&model)) {
        view->show();
    }
    Db db;
    RowStore rows;
    QStringListModel model;
    std::unique_ptr<QListView> view;
};

// One search and reset of `term`, each followed by its floor; `keep` false for the round that
// warms.
void searchRound(FormB& form, int n, SearchFloor& floor, SearchTerm& term, bool keep,
                 Samples& resets, Samples& resetFloors) {
    form.searchBox()->setText(term.text);
    settle();
    auto t0 = Clock::now();
    form.cmdSearch_Click();
    const double search = msSince(t0);
    check(form.searchMode(), QStringLiteral("search did not run"));
    settle();
    const double searchFloor = refillFloor(floor.db.get(), builtInSearchQuery(term.text),
                                           floor.model, floor.rows, &term.hits);
    check(form.itemCount() == static_cast<int>(term.hits),
          QStringLiteral("search counts differ for ") + term.text);
    settle();
    t0 = Clock::now();
    form.cmdReset_Click();
    const double reset = msSince(t0);
    check(!form.searchMode() && form.itemCount() == n, QStringLiteral("reset failed"));
    settle();
    const double resetFloor = refillFloor(
        floor.db.get(), kLoadQuery.statement(QStringLiteral("rowid, Description")).toUtf8(),
        floor.model, floor.rows);
    settle();
    if (!keep) return;
    term.program.push_back(search);
    term.floor.push_back(searchFloor);
    resets.push_back(reset);
    resetFloors.push_back(resetFloor);
}

void reportSearch(SizeRun& run, const std::span<const SearchTerm> terms, const Samples& resets,
                  const Samples& resetFloors) {
    for (const SearchTerm& term : terms) {
        const QString name =
            QStringLiteral("search \"%1\", %2 hits").arg(term.text).arg(term.hits) + run.tag;
        run.report.figure(name, term.program, &term.floor);
        const double r = run.report.ratio(term.program, term.floor);
        if (!run.shipped)
            run.report.goal(
                name +
                    QStringLiteral(" <= 1.3 x SQLite's LIKE (%1)").arg(QString::number(r, 'f', 2)),
                r <= 1.3);
    }
    run.report.figure(QStringLiteral("reset") + run.tag, resets, &resetFloors);
    const double r = run.report.ratio(resets, resetFloors);
    if (!run.shipped)
        run.report.goal(QStringLiteral("reset%1 <= 1.3 x the list read (%2)")
                            .arg(run.tag, QString::number(r, 'f', 2)),
                        r <= 1.3);
}

// Search end to end and reset, each round alternating with the floors: SQLite's own LIKE for the
// search, and the start-up's list read for the reset. The first round warms.
void searchSection(SizeRun& run, FormB& form, int n) {
    Db db = openTable(run.dbPath(), false);
    if (!db) fail(QStringLiteral("cannot open ") + run.dbPath());
    SearchFloor floor(std::move(db));
    SearchTerm terms[] = {{kCommonTerm, {}, {}}, {kRareTerm, {}, {}}};
    Samples resets, resetFloors;
    for (int i = 0; i <= run.counts.searches; ++i)
        for (SearchTerm& term : terms)
            searchRound(form, n, floor, term, i > 0, resets, resetFloors);
    reportSearch(run, terms, resets, resetFloors);
}

// What the user waits for after a key or a click, from the event to the report's text set: a
// type-ahead letter, Page Down, and the portion recomputed after Submit.
void interactionSection(SizeRun& run, FormB& form) {
    FoodListView* list = form.list();
    list->setTypeAheadInterval(-1);  // every letter starts a new prefix
    const auto keyTime = [&](int key, const QString& text) {
        const QString before = form.Text1Text();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        const auto t0 = Clock::now();
        QCoreApplication::sendEvent(list, &press);
        const double elapsed = msSince(t0);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(list, &release);
        QCoreApplication::processEvents();
        return std::pair(elapsed, form.Text1Text() != before);
    };
    Samples letters, pages, portions;
    const QString alphabet = QStringLiteral("bcdefghijklmnoprstvw");
    for (int i = 0; i <= run.counts.keys; ++i) {
        const QChar letter = alphabet[i % alphabet.size()];
        const auto [typed, changed] = keyTime(Qt::Key_A + (letter.unicode() - u'a'), letter);
        check(changed && itemLine(form).mid(8, 1).compare(letter, Qt::CaseInsensitive) == 0,
              QStringLiteral("type-ahead did not move to ") + letter);
        const auto [paged, moved] = keyTime(Qt::Key_PageDown, {});
        check(moved, QStringLiteral("Page Down did not move"));
        if (i == 0) continue;
        letters.push_back(typed);
        pages.push_back(paged);
    }
    list->setTypeAheadInterval(2000);
    // Submit in the portion dialog, timed until the command has written the report.
    for (int i = 0; i <= run.counts.keys; ++i) {
        Clock::time_point t0;
        QTimer::singleShot(0, [&t0] {
            QWidget* dialog = QApplication::activeModalWidget();
            check(dialog != nullptr, QStringLiteral("no portion dialog"));
            dialog->findChild<QLineEdit*>(QStringLiteral("TextOp1"))->setText(QStringLiteral("50"));
            t0 = Clock::now();
            dialog->findChild<QPushButton*>(QStringLiteral("cmdSubmit"))->click();
        });
        form.mnuPortionAdjust_Click();
        const double elapsed = msSince(t0);
        check(form.Text1Text().startsWith(QStringLiteral(" Total weight: 50")),
              QStringLiteral("no portion report"));
        settle();
        if (i > 0) portions.push_back(elapsed);
    }
    const double typed =
        run.report.figure(QStringLiteral("type-ahead key to report") + run.tag, letters);
    const double paged = run.report.figure(QStringLiteral("Page Down to report") + run.tag, pages);
    const double portion =
        run.report.figure(QStringLiteral("portion Submit to report") + run.tag, portions);
    run.report.goal(QStringLiteral("type-ahead, Page Down and portion%1 within a frame, 16 ms "
                                   "(%2, %3, %4 ms)")
                        .arg(run.tag, ms(typed), ms(paged), ms(portion)),
                    typed < 16 && paged < 16 && portion < 16);
}

// The portion recomputation alone, for a food from the middle of the list. Floor: the 100-gram
// report path of the list click (array fill and writer).
void portionSection(SizeRun& run, FormB& form, int n) {
    clickRow(form, n / 2);
    settle();
    PortionState portionState;
    portionState.vPortionGrams = 50;
    ValueArray S = form.arrayS();
    ValueArray Z;
    double vPortionFactor = 0;
    const DataControl& data = form.data();
    const FieldReader fields = [&data](int f) { return data.txtFields(f); };
    Samples portions, hundredGrams;
    for (int i = 0; i <= run.counts.portion; ++i) {
        auto t0 = Clock::now();
        QString header;
        FillArray_S(S, fields);
        setHundredGramValues(S, Z);
        QString text = reportText(Z, header);
        const double floor = msSince(t0);
        check(text.startsWith(QStringLiteral(" Total weight: 100 grams")),
              QStringLiteral("no 100-gram report"));
        QCoreApplication::processEvents();
        t0 = Clock::now();
        restatePortion(fields, portionState, S, Z, vPortionFactor);
        text = reportText(Z, header);
        const double portion = msSince(t0);
        check(text.startsWith(QStringLiteral(" Total weight: 50")),
              QStringLiteral("no portion report"));
        QCoreApplication::processEvents();
        if (i == 0) continue;
        hundredGrams.push_back(floor);
        portions.push_back(portion);
    }
    const double portion =
        run.report.figure(QStringLiteral("portion 50 g") + run.tag, portions, &hundredGrams);
    if (run.shipped)
        run.report.goal(QStringLiteral("portion%1 < 1 ms (%2 ms)").arg(run.tag, ms(portion)),
                        portion < 1);
}

// Percent Daily Values of the 100-gram report.
void dailyValueSection(SizeRun& run, FormB& form, int n) {
    clickRow(form, n / 2 + 1);
    settle();
    const QString plain = form.Text1Text();
    Samples dailyValues;
    for (int i = 0; i <= run.counts.dailyValues; ++i) {
        const auto t0 = Clock::now();
        form.mnuCalculate_Click();
        const double elapsed = msSince(t0);
        check(form.Text1Text().size() > plain.size(), QStringLiteral("no Daily Value report"));
        QCoreApplication::processEvents();
        if (i > 0) dailyValues.push_back(elapsed);
    }
    const double dv =
        run.report.figure(QStringLiteral("Percent Daily Values") + run.tag, dailyValues);
    if (run.shipped)
        run.report.goal(
            QStringLiteral("Percent Daily Values%1 < 1 ms (%2 ms)").arg(run.tag, ms(dv)), dv < 1);
}

// The help window over the main window: until the command returns with it shown, and on until it
// has painted. Closed between runs, so every run opens a new one.
void helpSection(SizeRun& run, FormB& form) {
    Samples helpShown, helpPainted;
    HelpState helpState;
    for (int i = 0; i <= run.counts.help; ++i) {
        settle();
        PaintWatch paints;
        const auto t0 = Clock::now();
        showInstructions(helpState, &form);
        const double shown = msSince(t0);
        QWidget* window = openHelpWindow(helpState);
        check(window && window->isVisible(), QStringLiteral("no help window"));
        paints.setWindow(window);
        paints.processUntilPainted();
        const double painted = msSince(t0);
        unloadHelpWindows(helpState);
        settle();
        if (i == 0) continue;
        helpShown.push_back(shown);
        helpPainted.push_back(painted);
    }
    const double help = run.report.figure(QStringLiteral("open help window") + run.tag, helpShown);
    run.report.figure(QStringLiteral("open help window, painted") + run.tag, helpPainted);
    if (run.shipped)
        run.report.goal(QStringLiteral("open help window%1 < 1 ms (%2 ms)").arg(run.tag, ms(help)),
                        help < 1);
}

// A national table's size (the shipped table, 7,907 foods) with accents in three of every four
// descriptions, as a French or German table has them ("Chickén, broilérs" beside "Chicken, ..."):
// the folded search, Reset and a type-ahead key, each within 20 ms. No floor: SQLite's LIKE
// does not find these rows.
void accentedSection(Report& report, const QString& shippedPath, const Counts& counts) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) fail(QStringLiteral("no temporary folder"));
    const QString path = scratch.filePath(QStringLiteral("Velmora.mdb"));
    const QString error = buildScaledTable(shippedPath, path, 1);
    if (!error.isEmpty()) fail(QStringLiteral("cannot copy the table: ") + error);
    sqlite3* raw = nullptr;
    const bool accented =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE,
                        nullptr) == SQLITE_OK &&
        sqlite3_exec(raw,
                     "UPDATE CSR14 SET Description = replace(replace(Description, 'e', "
                     "'\xC3\xA9'), 'E', '\xC3\x89') WHERE rowid % 2 = 0; UPDATE CSR14 SET "
                     "Description = replace(replace(Description, 'a', '\xC3\xA4'), 'oe', "
                     "'\xC5\x93') WHERE rowid % 4 = 1",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(raw);
    if (!accented) fail(QStringLiteral("cannot write accents into ") + path);
    const QString tag = QStringLiteral(", %1 rows with accents").arg(countRows(path));

    auto form = std::make_unique<FormB>(path);
    form->Form_Load();
    settle();
    const int n = form->list()->model()->rowCount();
    Samples searches, resets, keys;
    int hits = -1;
    for (int i = 0; i <= counts.searches; ++i) {
        for (const QString& term : {QStringLiteral("chicken"), QStringLiteral("CHICKÉN")}) {
            form->searchBox()->setText(term);
            settle();
            auto t0 = Clock::now();
            form->cmdSearch_Click();
            const double search = msSince(t0);
            check(hits < 0 || form->itemCount() == hits,
                  QStringLiteral("the accented term finds other rows"));
            hits = form->itemCount();
            settle();
            t0 = Clock::now();
            form->cmdReset_Click();
            const double reset = msSince(t0);
            check(form->itemCount() == n, QStringLiteral("reset failed"));
            settle();
            if (i == 0) continue;
            searches.push_back(search);
            resets.push_back(reset);
        }
    }
    FoodListView* list = form->list();
    list->setTypeAheadInterval(-1);  // every letter starts a new prefix
    const QString letters = QStringLiteral("bcdeéfghiklmnoprsätvw");
    for (int i = 0; i <= counts.keys; ++i) {
        const QString letter = letters.mid(i % letters.size(), 1);
        const QString before = form->Text1Text();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, letter);
        const auto t0 = Clock::now();
        QCoreApplication::sendEvent(list, &press);
        const double elapsed = msSince(t0);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, letter);
        QCoreApplication::sendEvent(list, &release);
        QCoreApplication::processEvents();
        check(form->Text1Text() != before, QStringLiteral("type-ahead did not move to ") + letter);
        // Off the row the next letter may land on.
        QKeyEvent page(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &page);
        QCoreApplication::processEvents();
        if (i > 0) keys.push_back(elapsed);
    }
    form.reset();
    settle();
    const double search = report.figure(
        QStringLiteral("search \"chicken\" and \"CHICKÉN\", %1 hits").arg(hits) + tag, searches);
    const double reset = report.figure(QStringLiteral("reset") + tag, resets);
    const double key = report.figure(QStringLiteral("type-ahead key to report") + tag, keys);
    report.goal(QStringLiteral("search, reset and type-ahead%1 each within 20 ms (%2, %3, %4 ms)")
                    .arg(tag, ms(search), ms(reset), ms(key)),
                search < 20 && reset < 20 && key < 20);
}

void measureSize(SizeRun& run, const Selection& sel) {
    const bool rssReset = resetPeakRss();
    run.tag = QStringLiteral(", %1 rows").arg(countRows(run.dbPath()));
    if (sel.has("startup")) startupSection(run);

    // One main window lives on for the other figures.
    auto form = std::make_unique<FormB>(run.dbPath());
    form->Form_Load();
    settle();
    const int n = form->list()->model()->rowCount();
    check(run.tag == QStringLiteral(", %1 rows").arg(n), QStringLiteral("row counts differ"));
    if (sel.has("click")) clickSection(run, *form, n);
    if (sel.has("search")) searchSection(run, *form, n);
    if (sel.has("interaction")) interactionSection(run, *form);
    if (sel.has("portion")) portionSection(run, *form, n);
    if (sel.has("dv")) dailyValueSection(run, *form, n);
    if (sel.has("help")) helpSection(run, *form);
    form.reset();
    settle();
    const long peak = statusKiB("VmHWM");
    run.report.line(QStringLiteral("peak RSS%1%2: %3 MiB")
                        .arg(run.tag, rssReset ? QString() : QStringLiteral(" (whole run so far)"))
                        .arg(peak / 1024));
}

// The offscreen platform warns about every window with a fixed size; that says nothing about the
// program and would bury the figures.
QtMessageHandler standardMessages = nullptr;
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (standardMessages) standardMessages(type, context, message);
}

struct BenchOptions {
    bool quick = false;
    Selection sel;
    QString folder = QCoreApplication::applicationDirPath();
};

constexpr const char* kUsage =
    "usage: velmora_bench [--quick] [--only SECTION,...] "
    "[--size shipped|tenfold|big|accented,...] [FOLDER]\n"
    "  FOLDER holds Velmora.mdb (default: the program's folder)\n"
    "  sections: startup, click, search, interaction, portion, dv, help (default: all)\n"
    "  sizes: the shipped table, ten times it, 59 times it (466,513 rows), the shipped one with\n"
    "  accents (search, reset and type-ahead only; default: all)\n";

// The options, or nothing after the usage message.
std::optional<BenchOptions> readOptions(const QStringList& args) {
    BenchOptions o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--quick")) {
            o.quick = true;
        } else if (arg == QLatin1String("--only") && i + 1 < args.size()) {
            o.sel.sections = args.at(++i).split(u',', Qt::SkipEmptyParts);
        } else if (arg == QLatin1String("--size") && i + 1 < args.size()) {
            o.sel.sizes = args.at(++i).split(u',', Qt::SkipEmptyParts);
        } else if (arg.startsWith(u'-')) {
            std::fputs(kUsage, stderr);
            return std::nullopt;
        } else {
            o.folder = arg;
        }
    }
    return o;
}

// The table sizes. Chosen so that the whole run takes a few minutes on a small machine.
struct Size {
    const char* name;
    int copies;
    Counts counts, quickCounts;
};
constexpr Size kSizes[] = {
    {"shipped", 1, {15, 300, 50, 15, 300, 300, 30, 40}, {3, 30, 10, 3, 30, 30, 3, 5}},
    {"tenfold", 10, {7, 200, 20, 7, 200, 200, 15, 40}, {2, 30, 5, 2, 30, 30, 3, 5}},
    {"big", 59, {5, 100, 10, 5, 100, 100, 5, 40}, {2, 20, 3, 2, 20, 20, 2, 5}},
    {"accented", 0, {0, 0, 0, 15, 0, 0, 0, 40}, {0, 0, 0, 3, 0, 0, 0, 5}},
};

// Measures each chosen size, on a scaled copy of the shipped table in a temporary folder where it
// is larger; the peak RSS of them all.
long measureSizes(Report& report, const BenchOptions& o, const QString& shippedPath) {
    long peak = 0;
    for (const Size& size : kSizes) {
        if (!o.sel.sizes.contains(QLatin1String(size.name))) continue;
        if (size.copies == 0) {
            accentedSection(report, shippedPath, o.quick ? size.quickCounts : size.counts);
            peak = std::max(peak, statusKiB("VmHWM"));
            continue;
        }
        QTemporaryDir scratch;
        QString sizeFolder = o.folder;
        if (size.copies > 1) {
            if (!scratch.isValid()) fail(QStringLiteral("no temporary folder"));
            const QString error = buildScaledTable(
                shippedPath, scratch.filePath(QStringLiteral("Velmora.mdb")), size.copies);
            if (!error.isEmpty()) fail(QStringLiteral("cannot build the larger table: ") + error);
            sizeFolder = scratch.path();
        }
        SizeRun run{report,           sizeFolder,       o.quick ? size.quickCounts : size.counts,
                    size.copies == 1, size.copies > 10, {}};
        measureSize(run, o.sel);
        peak = std::max(peak, statusKiB("VmHWM"));
    }
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    // A benchmark of the program's own work: no window system in the way.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt complains on every start without one; a private one keeps the output to the figures.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication app(argc, argv);
    standardMessages = qInstallMessageHandler(quietMessages);

    const std::optional<BenchOptions> options = readOptions(QCoreApplication::arguments());
    if (!options) return 2;
    const QString shippedPath = QDir(options->folder).filePath(QStringLiteral("Velmora.mdb"));
    if (!QFile::exists(shippedPath)) fail(QStringLiteral("no food table at ") + shippedPath);

    // No message box may wait for a click; any that comes up is a fault worth seeing.
    setMessageBoxPresenter([](const MessageBoxRequest& r) {
        std::fprintf(stderr, "velmora_bench: message box during the run: %s\n", qPrintable(r.text));
    });

    Report report;
    report.line(machine());
    report.line(QStringLiteral("# load average at start: ") + loadAverage());
    for (const QString& name : options->sel.sizes)
        if (std::ranges::none_of(kSizes,
                                 [&](const Size& s) { return name == QLatin1String(s.name); }))
            fail(QStringLiteral("no size ") + name);
    report.line(QStringLiteral("# medians of runs, shipped / tenfold / big: start-up 15 / 7 / 5, "
                               "clicks 300 / 200 / 100, search and reset 15 / 7 / 5 rounds, "
                               "keys 40 of each kind%1")
                    .arg(options->quick ? QStringLiteral(" (--quick: far fewer)") : QString()));
    const auto t0 = Clock::now();
    long peak = 0;
    try {
        peak = measureSizes(report, *options, shippedPath);
    } catch (const RunTimeError& e) {
        fail(QStringLiteral("error %1: %2").arg(e.number()).arg(e.description()));
    }
    report.line(QStringLiteral("peak RSS: %1 MiB").arg(peak / 1024));
    report.printGoals();
    report.line(QStringLiteral("# whole run %1 s, load average at the end: %2")
                    .arg(msSince(t0) / 1000, 0, 'f', 1)
                    .arg(loadAverage()));
    return 0;
}
