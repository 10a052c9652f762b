// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report as a user runs it: the window's text for the same food and portion, the JSON
// form, and the exit statuses.
#include "appfixture.h"
#include "withmodal.h"

#include <QtTest>

using namespace velmora::test;

namespace {

// Zinc is Null and selenium 0 for the apple; the salad has one household measure.
QList<FixtureFood> cliFoods() {
    return {{"Apple, raw", {{"WATER", 85.56}, {"SELENIUM", 0.0}, {"NDB_NO", "09003"}}},
            {"Chef's salad", {{"ENERG_KCAL", 120.0}, {"GMWT_1", 326.0}, {"GMWT_DESC1", "1.5 cup"}}},
            {"Spinach, raw", {{"ENERG_KCAL", 23.0}}}};
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

}  // namespace

class TestReportCli : public QObject {
    Q_OBJECT

  private slots:
    // Each run's exit status and a part of its errors, or else all of its output: the window's
    // for "=FOOD|OPTION|BOX|ENTRY" (with --dv its daily values), a part of the compact JSON.
    void run_data() {
        QTest::addColumn<QString>("args");  // "a|b|c" for the arguments a, b and c
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        const auto row = [](const char* args, int status, const char* text,
                            const char* locale = "en_US.UTF-8") {
            QTest::newRow(args) << QString(args) << status << QString(text) << QString(locale);
        };
        row("APPLE, RAW", 0, "=Apple, raw", "C");  // and Qt says nothing of a non-UTF-8 locale
        row("--measure|1|--count|0.25|chef's salad", 0, "=Chef's salad|Option2|TextOp2|0.25");
        row("--grams|1250.5|--dv|09003", 0, "=Apple, raw|Option1|TextOp1|1250,5", "de_DE.UTF-8");
        row("--measure|1|--count|2.5|--dv|Chef's salad", 0, "=Chef's salad|Option2|TextOp2|2.5",
            "de_DE.UTF-8");
        // Not measured is null, measured 0 is 0; water is for the portion too.
        row("--json|apple, raw", 0,
            R"("Zinc","percent_daily_value":null,"unit":"mg","value":null)");
        row("--json|09003", 0, R"("percent_daily_value":0,"unit":"micrograms","value":0)");
        row("--json|--grams|250|09003", 0,
            R"("grams":250,"ndb_number":"09003","nutrients":[{"label":"Water","unit":"g","value":213.9})");
        row("--json|--measure|1|--count|2|chef's salad", 0, R"(}],"quantity":2,"unit":"1.5 cup"})");
        const char* usage = "Try 'velmora-report --help'";
        row("Pear", 4, "'Pear'");
        row("--measure|2|--count|1|Chef's salad", 4, "no household measure 2");
        row("--grams|1,5|Apple, raw", 2, usage);
        row("--count|1|Apple, raw", 2, usage);
        row("--grams|5|--measure|1|--count|1|Apple, raw", 2, usage);
        row("--search|a|Pear", 2, usage);
        row("--database|/nonexistent/x.mdb|Apple, raw", 1, "Run-time error '3024':");
        row("--search|[a", 1, "Run-time error '93':");
        row("--search|pear", 0, "");
        row("--search|RAW", 0, "Apple, raw\nSpinach, raw\n");
    }
    void run() {
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        AppFixture app(cliFoods());
        if (text.startsWith('=')) text = window(app, text.mid(1).split('|'), args.contains("--dv"));
        // The locale need not be generated on this system.
        qputenv("LC_ALL", locale.toUtf8());
        QProcess report;  // a later --database wins
        report.start(qEnvironmentVariable("VELMORA_TEST_BIN") + "/velmora-report",
                     ("--database|" + app.databasePath() + '|' + args).split('|'));
        QVERIFY(report.waitForFinished(30000) && report.exitStatus() == QProcess::NormalExit);
        QCOMPARE(report.exitCode(), status);
        const QString out = report.readAllStandardOutput(), err = report.readAllStandardError();
        QCOMPARE(status ? out : err, QString());
        const QString json = QJsonDocument::fromJson(out.toUtf8()).toJson(QJsonDocument::Compact);
        const bool part = status || args.contains("--json");  // of the errors, or of the JSON
        QVERIFY2(part ? (status ? err : json).contains(text) : out == text, qPrintable(err + out));
    }
};

QTEST_MAIN(TestReportCli)
#include "test_report_cli.moc"
