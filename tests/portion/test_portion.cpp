// The portion subsystem over a small food table: portion texts, the recomputation of the report
// values, and the portion dialog driven offscreen (captions, option rows, Submit with good and bad
// entries, every way of cancelling).
#include "fixturedb.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "msgrecorder.h"
#include "portion/frmportion.h"
#include "portion/portion.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace velmora;
using namespace velmora::test;

namespace {
const QString kSpinach = QStringLiteral("Spinach, cooked, boiled, drained, without salt");
const QString kZero = QStringLiteral("No number was entered in the text box.");
const QString kNegative = QStringLiteral("Numbers entered must be greater than 0");
const QString kGrams =
    QStringLiteral("Please enter the weight in grams as a number, for example 50 or 12.5.");
const QString kMeasure =
    QStringLiteral("Please enter the number of portions as a number, for example 2 or 0.5.");
}  // namespace

class TestPortion : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    DataControl data_;
    QLocale locale_;
    bool bvCancel_ = false;
    PortionState state_;
    std::unique_ptr<frmPortion> dlg_;

    // Arrays as a list click on `food` leaves them (only the slots these tests look at).
    static ValueArray clicked(const QString& food) {
        ValueArray a;
        a[0] = food;
        a[1] = QStringLiteral("water");
        a[2] = QStringLiteral("100g");
        a[33] = a[34] = QStringLiteral("0");
        a[41] = QStringLiteral("100");
        return a;
    }
    void setPortion(float grams, float quantity = 0, const QString& unit = {}) {
        state_ = {grams, unit, quantity};
    }
    FieldReader fields() {
        return [this](int i) { return data_.txtFields(i); };
    }
    bool find(const QString& food) {
        QString name;
        return FindFoodByDescription(data_, food, name) == FindOutcome::Found;
    }

    template <typename T>
    T* child(const QString& name) {
        T* w = dlg_->findChild<T*>(name);
        if (!w) qFatal("no control %s", qPrintable(name));
        return w;
    }
    QRadioButton* option(int i) { return child<QRadioButton>(QStringLiteral("Option%1").arg(i)); }
    QLineEdit* box(int i) { return child<QLineEdit>(QStringLiteral("TextOp%1").arg(i)); }
    QWidget* line(int i) { return child<QWidget>(QStringLiteral("Line%1").arg(i)); }

    void open(const QString& food) {
        std::optional<HouseholdMeasures> measures;
        if (find(food)) measures = measuresOf(fields());
        bvCancel_ = false;
        dlg_ = std::make_unique<frmPortion>(food, measures, state_, bvCancel_);
        dlg_->show();
    }
    // The portion a previous Submit left behind.
    QVariantList portion() {
        return {state_.vPortionGrams, state_.svPortionUnit, state_.vPortionQuantity};
    }
    static QVariantList earlier() { return {7.f, QStringLiteral("old"), 3.f}; }

  private slots:
    void initTestCase() {
        const QString path = dir_.filePath("Velmora.mdb");
        // Zinc is empty (not measured), vitamin B12 is 0 (measured, none found).
        const QString err =
            writeFixtureDb(path, {{"Apple, raw",
                                   {{"ENERG_KCAL", 52.26},
                                    {"PROTEIN", 0.26},
                                    {"FIBER_TD", "2.50"},
                                    {"VIT_B12", 0.0},
                                    {"GMWT_1", 125.0},
                                    {"GMWT_DESC1", "1 cup, quartered or chopped"},
                                    {"GMWT_2", 182.0},
                                    {"GMWT_DESC2", "1 medium"}}},
                                  {"Chef's salad", {{"ENERG_KCAL", 80.0}, {"PROTEIN", 1.0}}},
                                  {kSpinach,
                                   {{"ENERG_KCAL", 23.0},
                                    {"PROTEIN", 2.97},
                                    {"GMWT_1", 180.0},
                                    {"GMWT_DESC1", "1 cup"}}}});
        QVERIFY2(err.isEmpty(), qPrintable(err));
        data_.DatabaseName = path;
        data_.RecordSource = QStringLiteral("Select ALL * From CSR14 Order by description");
        data_.Refresh();
    }
    void init() { setPortion(7, 3, QStringLiteral("old")); }
    void cleanup() {
        dlg_.reset();
        QLocale::setDefault(locale_);
    }

    void portionText_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("rounded") << 12.34567 << 3 << " 12.346";
        QTest::newRow("trailing zeros dropped") << 2.5 << 3 << " 2.5";
        QTest::newRow("whole") << 4.0 << 3 << " 4";
        QTest::newRow("no grouping") << 1234.5 << 3 << " 1234.5";
        QTest::newRow("trace is a visible zero") << 0.0004 << 3 << " 0";
        QTest::newRow("calories") << 52.26 << 1 << " 52.3";
        QTest::newRow("zero before the point") << 0.25 << 3 << " 0.25";
    }
    void portionText() {
        QFETCH(double, x);
        QFETCH(int, decimals);
        QTEST(velmora::portionText(x, decimals), "text");
    }

    void recompute_data() {
        QTest::addColumn<QString>("food");
        QTest::addColumn<float>("grams");
        QTest::addColumn<float>("quantity");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("nutrients");  // calories, protein, fiber, zinc, B12
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("quantityText");
        const QLocale en(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("100 g") << "Apple, raw" << 100.f << 0.f << "" << en
                               << QStringList{" 52.3", " 0.26", " 2.5", "", " 0"} << "100.00"
                               << "0";
        QTest::newRow("50 g") << "Apple, raw" << 50.f << 0.f << "" << en
                              << QStringList{" 26.1", " 0.13", " 1.25", "", " 0"} << "50.00"
                              << "0";
        QTest::newRow("German") << "Apple, raw" << 1500.f << 0.25f << "1 cup" << de
                                << QStringList{" 783.9", " 3.9", " 37.5", "", " 0"} << "1.500,00"
                                << "0,25";
        QTest::newRow("quarter cup") << kSpinach << 45.f << 0.25f << "1 cup" << en
                                     << QStringList{" 10.4", " 1.337", "", "", ""} << "45.00"
                                     << "0.25";
        QTest::newRow("apostrophe") << "Chef's salad" << 30.f << 2.f << "1 bowl" << en
                                    << QStringList{" 24", " 0.3", "", "", ""} << "30.00"
                                    << "2";
    }
    void recompute() {
        QFETCH(QString, food);
        QFETCH(float, grams);
        QFETCH(float, quantity);
        QFETCH(QString, unit);
        QFETCH(QLocale, locale);
        QFETCH(QStringList, nutrients);
        MessageRecorder messages;
        ValueArray S = clicked(food), Z = clicked(food);
        // A portion seen before must leave no trace in the next one.
        setPortion(321);
        double factor = 0;
        QVERIFY(find(food));
        RecomputePortion(fields(), state_, S, Z, factor, locale);
        setPortion(grams, quantity, unit);
        RecomputePortion(fields(), state_, S, Z, factor, locale);

        QVERIFY(messages.texts().isEmpty());
        QCOMPARE(factor, grams / 100.0);
        QCOMPARE((QStringList{Z[2], Z[3], Z[6], Z[14], Z[26]}), nutrients);
        for (int i = 2; i <= 31; ++i) QCOMPARE(S[i], Z[i]);
        QCOMPARE(Z[0], food);
        QTEST(Z[41], "weight");
        QTEST(Z[34], "quantityText");
        QCOMPARE(Z[33], unit);
        // Slots the recomputation does not own keep the list click's values.
        QCOMPARE(Z[1], QStringLiteral("water"));
        QCOMPARE((QStringList{S[0], S[33], S[34], S[41]}), (QStringList{food, "0", "0", "100"}));
    }

    void loadAndActivate_data() {
        QTest::addColumn<QString>("food");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("rowsShown");
        QTest::addColumn<QStringList>("messages");
        const QString grams = QStringLiteral("Enter weight in grams");
        QTest::newRow("two measures")
            << "Apple, raw"
            << QStringList{grams, "Enter number of 1 cup, quartered or chopped portions.",
                           "Enter number of 1 medium portions."}
            << "123" << QStringList{};
        QTest::newRow("one measure")
            << kSpinach << QStringList{grams, "Enter number of 1 cup portions.", "Option3"} << "12"
            << QStringList{};
        QTest::newRow("no measure, apostrophe")
            << "Chef's salad" << QStringList{grams, "Option2", "Option3"} << "1" << QStringList{};
        QTest::newRow("not found") << "Pear, raw" << QStringList{"Option1", "Option2", "Option3"}
                                   << "123" << QStringList{};
        QTest::newRow("no food shown")
            << "" << QStringList{"Option1", "Option2", "Option3"} << "123" << QStringList{};
    }
    void loadAndActivate() {
        QFETCH(QString, food);
        QFETCH(QStringList, captions);
        QFETCH(QString, rowsShown);
        MessageRecorder messages;
        open(food);
        QTEST(messages.texts(), "messages");
        QCOMPARE(child<QLabel>("lblDescrip")->text(), food);
        for (int i = 1; i <= 3; ++i) {
            const bool shown = rowsShown.contains(QString::number(i));
            QCOMPARE(option(i)->text(), captions[i - 1]);
            QCOMPARE(option(i)->isVisible(), shown);
            QCOMPARE(box(i)->isVisible(), shown);
            QCOMPARE(line(i)->isVisible(), shown);
            // Opening selects the grams row, with only its box usable and every box empty.
            QCOMPARE(option(i)->isChecked(), i == 1);
            QCOMPARE(box(i)->isEnabled(), i == 1);
            QVERIFY(box(i)->text().isEmpty());
        }
        QCOMPARE(dlg_->focusWidget(), box(1));
    }

    void optionClicksEmptyTheOtherBoxes() {
        open(QStringLiteral("Apple, raw"));
        for (int chosen : {3, 2, 1, 2}) {
            QTest::keyClicks(dlg_->focusWidget(), QStringLiteral("5"));
            QTest::mouseClick(option(chosen), Qt::LeftButton);
            QCOMPARE(dlg_->focusWidget(), box(chosen));
            for (int i = 1; i <= 3; ++i) {
                QCOMPARE(box(i)->isEnabled(), i == chosen);
                if (i != chosen) QVERIFY(box(i)->text().isEmpty());
            }
        }
        // A click on the chosen row keeps what was typed in its box.
        QTest::keyClicks(box(2), QStringLiteral("7"));
        QTest::mouseClick(option(2), Qt::LeftButton);
        QCOMPARE(box(2)->text(), QStringLiteral("7"));
    }

    void submit_data() {
        QTest::addColumn<QString>("food");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QVariantList>("result");  // grams, unit, quantity
        QTest::addColumn<QString>("message");      // empty: accepted
        const QLocale c = QLocale::c(), de(QLocale::German, QLocale::Germany);
        auto p = [](float g, const char* unit, float q) {
            return QVariantList{g, QString::fromLatin1(unit), q};
        };
        QTest::newRow("quarter cup") << kSpinach << 2 << "0.25" << c << p(45, "1 cup", 0.25f) << "";
        QTest::newRow("read up to the slash")
            << kSpinach << 2 << "1/4" << c << p(180, "1 cup", 1) << "";
        QTest::newRow("second measure")
            << "Apple, raw" << 3 << "2" << c << p(364, "1 medium", 2) << "";
        QTest::newRow("grams") << kSpinach << 1 << "12.5" << c << p(12.5f, "", 0) << "";
        QTest::newRow("grams, decimal comma")
            << kSpinach << 1 << "12,5" << de << p(12.5f, "", 0) << "";
        QTest::newRow("zero grams") << kSpinach << 1 << "0" << c << p(0, "", 0) << kZero;
        QTest::newRow("nothing typed") << kSpinach << 1 << "" << c << p(0, "", 0) << kZero;
        QTest::newRow("no number of cups")
            << kSpinach << 2 << "abc" << c << p(0, "1 cup", 0) << kZero;
        QTest::newRow("negative grams") << kSpinach << 1 << "-5" << c << p(-5, "", 0) << kNegative;
        QTest::newRow("negative cups")
            << kSpinach << 2 << "-1" << c << p(-180, "1 cup", -1) << kNegative;
        // Entries that cannot be stored are refused before the earlier portion is touched.
        QTest::newRow("grams not a number") << kSpinach << 1 << "abc" << c << earlier() << kGrams;
        QTest::newRow("grams as a fraction") << kSpinach << 1 << "1/4" << c << earlier() << kGrams;
        QTest::newRow("grams too large") << kSpinach << 1 << "1e39" << c << earlier() << kGrams;
        QTest::newRow("grams infinite") << kSpinach << 1 << "inf" << c << earlier() << kGrams;
        QTest::newRow("point under decimal comma") << kSpinach << 1 << "12.5" << de << earlier()
                                                   << QString(kGrams).replace("12.5", "12,5");
        QTest::newRow("cups too many") << kSpinach << 2 << "1e39" << c << earlier() << kMeasure;
    }
    void submit() {
        QFETCH(QString, food);
        QFETCH(int, row);
        QFETCH(QString, entry);
        QFETCH(QLocale, locale);
        QFETCH(QString, message);
        QLocale::setDefault(locale);
        MessageRecorder messages;
        open(food);
        if (row != 1) QTest::mouseClick(option(row), Qt::LeftButton);
        QTest::keyClicks(box(row), entry);
        QTest::mouseClick(child<QPushButton>("cmdSubmit"), Qt::LeftButton);

        QTEST(portion(), "result");
        QCOMPARE(messages.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        for (const MessageBoxRequest& m : messages.messages()) {
            QCOMPARE(m.title, QStringLiteral("Velmora"));
            QVERIFY(m.icon == MsgIcon::None);
        }
        // A refused entry keeps the dialog open with the text as typed.
        QCOMPARE(dlg_->isVisible(), !message.isEmpty());
        QCOMPARE(box(row)->text(), entry);
        if (message.isEmpty()) QCOMPARE(dlg_->result(), int(QDialog::Accepted));
        QVERIFY(!bvCancel_);
    }

    void cancel_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("Cancel button") << "button";
        QTest::newRow("close box") << "close";
        QTest::newRow("Escape") << "escape";
    }
    void cancel() {
        QFETCH(QString, way);
        MessageRecorder messages;
        open(kSpinach);
        QTest::keyClicks(box(1), QStringLiteral("50"));
        if (way == "button")
            QTest::mouseClick(child<QPushButton>("cmdCancel"), Qt::LeftButton);
        else if (way == "close")
            dlg_->close();
        else
            QTest::keyClick(box(1), Qt::Key_Escape);
        QVERIFY(bvCancel_);
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(portion(), earlier());
        QVERIFY(messages.texts().isEmpty());
    }

    void enterPressesOnlyAFocusedButton() {
        MessageRecorder messages;
        open(kSpinach);
        QTest::keyClicks(box(1), QStringLiteral("50"));
        QTest::keyClick(box(1), Qt::Key_Return);
        QVERIFY(dlg_->isVisible());
        QCOMPARE(portion(), earlier());

        auto* submit = child<QPushButton>("cmdSubmit");
        submit->setFocus();
        QTest::keyClick(submit, Qt::Key_Return);
        QVERIFY(!dlg_->isVisible());
        QCOMPARE(portion(), (QVariantList{50.f, QString(), 0.f}));
    }
};

QTEST_MAIN(TestPortion)
#include "test_portion.moc"
