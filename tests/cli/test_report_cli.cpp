// velmora-report as a user runs it: the window's texts for the same food and portion, the JSON
// form, and the exit statuses.
#include "appfixture.h"
#include "withmodal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace velmora;
using namespace velmora::test;

namespace {

// Zinc is Null and selenium 0 for the apple; the salad has one household measure.
QList<FixtureFood> cliFoods() {
    return {{"Apple, raw",
             {{"WATER", 85.56},
              {"ENERG_KCAL", 52.0},
              {"SELENIUM", 0.0},
              {"VIT_C", 4.6},
              {"FA_MONO", 0.007},
              {"GMWT_1", 125.0},
              {"GMWT_DESC1", "1 cup, sliced"},
              {"GMWT_2", 182.0},
              {"GMWT_DESC2", "1 medium"},
              {"NDB_NO", "09003"}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}, {"GMWT_1", 326.0}, {"GMWT_DESC1", "1.5 cup"}}},
            {"Spinach, raw", {{"ENERG_KCAL", 23.0}}}};
}

// "a|b|c" as the arguments a, b and c.
QStringList words(const QString& args) {
    return args.isEmpty() ? QStringList{} : args.split('|');
}

struct Run {
    int status = -1;
    QString out, err;
};

Run runReport(const QStringList& args, const QString& locale = "en_US") {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale + ".UTF-8");
    env.insert("LANG", locale + ".UTF-8");
    p.setProcessEnvironment(env);
    p.start(QDir(qEnvironmentVariable("VELMORA_TEST_BIN")).filePath("velmora-report"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QJsonObject jsonOf(const QStringList& args) {
    return QJsonDocument::fromJson(runReport(args).out.toUtf8()).object();
}

}  // namespace

class TestReportCli : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString db_;

  private slots:
    void initTestCase() {
        db_ = dir_.filePath("foods.mdb");
        QCOMPARE(writeFixtureDb(db_, cliFoods()), QString());
    }

    void sameTextAsTheWindow_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("row");      // clicked in the window's list
        QTest::addColumn<QString>("portion");  // option, box and entry of the portion dialog
        QTest::newRow("100 g") << "APPLE, RAW"
                               << "en_US"
                               << "Apple, raw"
                               << "";
        QTest::newRow("measure") << "--measure|1|--count|0.25|chef's salad"
                                 << "en_US"
                                 << "Chef's salad"
                                 << "Option2|TextOp2|0.25";
        QTest::newRow("grams, dv") << "--grams|1250.5|--dv|09003"
                                   << "de_DE"
                                   << "Apple, raw"
                                   << "Option1|TextOp1|1250,5";
        QTest::newRow("measure 2, dv") << "--measure|2|--count|2.5|--dv|Apple, raw"
                                       << "de_DE"
                                       << "Apple, raw"
                                       << "Option3|TextOp3|2.5";
    }
    void sameTextAsTheWindow() {
        QFETCH(QString, args);
        QFETCH(QString, locale);
        QFETCH(QString, row);
        QFETCH(QString, portion);
        QLocale::setDefault(QLocale(locale));
        AppFixture app(cliFoods());
        FormB& f = app.form();
        app.selectRow(int(app.listRows().indexOf(row)));
        const QStringList entry = words(portion);
        if (!entry.isEmpty())
            withModal([&] { f.mnuPortionAdjust_Click(); },
                      [&](QWidget* dialog) {
                          dialog->findChild<QRadioButton*>(entry[0])->click();
                          dialog->findChild<QLineEdit*>(entry[1])->setText(entry[2]);
                          dialog->findChild<QPushButton*>("cmdSubmit")->click();
                      });
        if (args.contains("--dv")) f.mnuCalculate_Click();
        QString shown = f.Text1Text();
        shown.replace("\r\n", "\n");
        if (!shown.endsWith('\n')) shown += '\n';

        const Run run =
            runReport(QStringList{"--database", app.databasePath()} + words(args), locale);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, shown);
        QCOMPARE(run.status, 0);
    }

    void json() {
        const QJsonObject food =
            jsonOf({"--database", db_, "--json", "--measure", "1", "--count", "2", "Apple, raw"});
        QCOMPARE(food["description"], QJsonValue("Apple, raw"));
        QCOMPARE(food["ndb_number"], QJsonValue("09003"));
        QCOMPARE(food["grams"], QJsonValue(250));
        QCOMPARE(food["quantity"], QJsonValue(2));
        QCOMPARE(food["unit"], QJsonValue("1 cup, sliced"));
        const QJsonArray nutrients = food["nutrients"].toArray();
        QCOMPARE(nutrients.size(), 31);
        const QJsonValue none(QJsonValue::Null), absent(QJsonValue::Undefined);
        const struct {
            int field;
            const char* label;
            QJsonValue value, percent;
        } expected[] = {
            {1, "Water", 213.9, absent},   {2, "Calories", 130, 6.5},
            {14, "Zinc", none, none},      {17, "Selenium", 0, 0},
            {27, "Vitamin C", 11.5, 19.2}, {29, "Monounsaturated Fat", 0.018, absent},
        };
        for (const auto& e : expected) {
            const QJsonObject n = nutrients[e.field - 1].toObject();
            QCOMPARE(n["label"], QJsonValue(e.label));
            QCOMPARE(n["value"], e.value);
            QCOMPARE(n["percent_daily_value"], e.percent);
        }

        // A weight in grams has no quantity and no unit.
        const QJsonObject grams = jsonOf({"--database", db_, "--json", "--grams", "50", "09003"});
        QCOMPARE(grams["grams"], QJsonValue(50));
        QVERIFY(!grams.contains("quantity") && !grams.contains("unit"));
    }

    void exitStatus_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");  // a part of standard error
        QTest::addColumn<QString>("out");
        const char* usage = "Try 'velmora-report --help'";
        const struct {
            const char* args;
            int status;
            const char* err;
            const char* out = "";
        } rows[] = {
            {"Pear", 4, "'Pear'"},
            {"--measure|2|--count|1|Chef's salad", 4, "no household measure 2"},
            {"--grams|1,5|Apple, raw", 2, usage},
            {"--grams|-1|Apple, raw", 2, usage},
            {"--measure|1|--count|inf|Apple, raw", 2, usage},
            {"--grams|5|--measure|1|--count|1|Apple, raw", 2, usage},
            {"--measure|1|Apple, raw", 2, usage},
            {"--count|1|Apple, raw", 2, usage},
            {"--measure|3|--count|1|Apple, raw", 2, usage},
            {"", 2, usage},
            {"Apple, raw|Pear", 2, usage},
            {"--search|a|Pear", 2, usage},
            {"--search|", 2, usage},
            {"--database|/nonexistent/x.mdb|--grams|x|Apple, raw", 2, usage},
            {"--database|/nonexistent/x.mdb|Apple, raw", 1,
             "velmora-report: Run-time error '3024':"},
            {"--search|[a", 1, "velmora-report: Run-time error '93':"},
            {"--search|pear", 0, ""},
            {"--search|RAW", 0, "", "Apple, raw\nSpinach, raw\n"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.args) << QString(r.args) << r.status << QString(r.err)
                                  << QString(r.out);
    }
    void exitStatus() {
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        // A --database of the row comes later and wins.
        const Run run = runReport(QStringList{"--database", db_} + words(args));
        QCOMPARE(run.status, status);
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.out, out);
    }
};

QTEST_MAIN(TestReportCli)
#include "test_report_cli.moc"
