// SPDX-License-Identifier: GPL-3.0-or-later
// The portion: the report values restated for it, and the dialog of a German user offscreen.
#include "fooddb/foodcolumns.h"
#include "msgrecorder.h"
#include "portion/frmportion.h"
#include "portion/portion.h"
#include "testcase.h"

#include <QAccessible>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace velmora;

namespace {
// The bound fields of a food with calories, protein, fiber and vitamin B12, nothing else measured,
// and `measures` household measures: 1 cup of 125 g, 1 medium & a half of 182 g.
FieldReader food(int measures) {
    QMap<int, QString> f = {{2, "52.26"}, {3, "0.26"}, {6, "2.50"}, {26, "0"}};
    if (measures > 0) f.insert({{field::Measure1Grams, "125"}, {field::Measure1Text, "1 cup"}});
    if (measures > 1)
        f.insert({{field::Measure2Grams, "182"}, {field::Measure2Text, "1 medium & a half"}});
    return [f](int i) { return f.value(i); };
}
}  // namespace

class TestPortion : public velmora::test::TestCase {
    Q_OBJECT
  private slots:
    void recompute() {
        ValueArray S, Z;
        double factor = 0;
        // Each portion is restated from the fields, so an earlier one leaves no trace.
        for (float grams : {321.f, 50.f})
            restatePortion(food(2), {grams, "1 cup", 0.25f}, S, Z, factor, QLocale("de_DE"));
        QCOMPARE(factor, 0.5);
        // Calories, protein, fiber, zinc, vitamin B12, then weight, quantity and unit; S the same.
        QCOMPARE((QStringList{Z[2], Z[3], Z[6], Z[14], Z[26], Z[41], Z[34], Z[33]}),
                 (QStringList{" 26.1", " 0.13", " 1.25", "", " 0", "50,00", "0,25", "1 cup"}));
        QCOMPARE((QStringList{S[2], S[6], S[14]}), (QStringList{" 26.1", " 1.25", ""}));
    }

    // A German user's dialog for a food with `measures` household measures (-1: not found): text
    // in another row, the entry in a row, Enter there and a way out: 0 Enter on Submit, 1 Cancel,
    // 2 the close box, 3 Escape.
    void submit_data() {
        QTest::addColumn<int>("measures");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("way");
        QTest::addColumn<QVariantList>("result");  // grams, unit, quantity
        QTest::addColumn<QString>("message");      // empty: the dialog closed
        const auto p = [](float g, const char* unit, float q) { return QVariantList{g, unit, q}; };
        const QVariantList earlier = p(7, "old", 3);
        const QString zero = "No number was entered in the text box.";
        const QString grams =
            "Please enter the weight in grams as a number, for example 50 or 12,5.";
        QTest::newRow("quarter cup") << 2 << 2 << "0.25" << 0 << p(31.25f, "1 cup", 0.25f) << "";
        QTest::newRow("second measure")
            << 2 << 3 << "2" << 0 << p(364, "1 medium & a half", 2) << "";
        QTest::newRow("grams") << 1 << 1 << "12,5" << 0 << p(12.5f, "", 0) << "";
        QTest::newRow("comma for cups") << 2 << 2 << "1,5" << 0 << p(187.5f, "1 cup", 1.5f) << "";
        QTest::newRow("a fraction reads to its slash")
            << 2 << 3 << "1/4" << 0 << p(182, "1 medium & a half", 1) << "";
        // A refused entry leaves the last submitted portion as it was.
        QTest::newRow("not found, zero grams") << -1 << 1 << "0" << 0 << earlier << zero;
        QTest::newRow("nothing typed") << 0 << 1 << "" << 0 << earlier << zero;
        QTest::newRow("negative") << 2 << 2 << "-1" << 0 << earlier
                                  << "Numbers entered must be greater than 0";
        const QString cups =
            "Please enter the number of portions as a number, for example 2 or 0,5.";
        QTest::newRow("grams too large") << 2 << 1 << "1e39" << 0 << earlier << grams;
        QTest::newRow("grams too small") << 2 << 1 << "1e-50" << 0 << earlier
                                         << "The number entered is too small to weigh. " + grams;
        QTest::newRow("point for a comma") << 2 << 1 << "12.5" << 0 << earlier << grams;
        QTest::newRow("cups too many") << 2 << 2 << "1e39" << 0 << earlier << cups;
        QTest::newRow("cups cut short") << 2 << 2 << "1.5.2" << 0 << earlier << cups;
        QTest::newRow("Cancel") << 2 << 1 << "50" << 1 << earlier << "";
        QTest::newRow("close box") << 2 << 1 << "50" << 2 << earlier << "";
        QTest::newRow("Escape") << 2 << 1 << "50" << 3 << earlier << "";
    }
    void submit() {
        QFETCH(int, measures);
        QFETCH(int, row);
        QFETCH(QString, entry);
        QFETCH(int, way);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        test::MessageRecorder messages;
        const auto found = measures < 0 ? std::nullopt : std::optional(measuresOf(food(measures)));
        PortionState kept{7, QStringLiteral("old"), 3};  // the window's, from an earlier Submit
        frmPortion dlg("Apple", found, kept);
        dlg.show();
        const auto child = [&](const QString& name) { return dlg.findChild<QWidget*>(name); };
        QRadioButton* option[4] = {};
        QLineEdit* box[4] = {};
        // A row for each measure, the grams row chosen, every box empty; no captions if not found.
        // A measure's "&" is shown as it stands and binds no key.
        QStringList captions = {"Option1", "Option2", "Option3"};
        if (measures >= 0)
            captions = QStringList{"Enter weight in grams", "Enter number of 1 cup portions.",
                                   "Enter number of 1 medium & a half portions."}
                           .mid(0, measures + 1);
        QCOMPARE(child("lblDescrip")->property("text"), "Apple");
        for (int i = 1; i <= 3; ++i) {
            option[i] = dlg.findChild<QRadioButton*>(QStringLiteral("Option%1").arg(i));
            box[i] = dlg.findChild<QLineEdit*>(QStringLiteral("TextOp%1").arg(i));
            if (i <= captions.size())
                QCOMPARE(QAccessible::queryAccessibleInterface(option[i])->text(QAccessible::Name),
                         captions[i - 1]);
            QVERIFY(option[i]->shortcut().isEmpty());
            for (const char* name : {"Option%1", "TextOp%1", "Line%1"})
                QCOMPARE(child(QString(name).arg(i))->isVisible(), i <= captions.size());
            QCOMPARE(option[i]->isChecked(), i == 1);
            QCOMPARE(box[i]->isEnabled(), i == 1);
            QCOMPARE(box[i]->text(), "");
        }
        QCOMPARE(dlg.focusWidget(), box[1]);
        // A click on a row leaves its box the only usable one and empties the others.
        for (const auto& [i, text] : {std::pair(row % 3 + 1, QStringLiteral("5")),
                                      std::pair(row, entry), std::pair(row, QString())}) {
            if (!option[i]->isVisible()) continue;
            QTest::mouseClick(option[i], Qt::LeftButton);
            QTest::keyClicks(dlg.focusWidget(), text);
        }
        for (int i = 1; i <= 3; ++i) QCOMPARE(box[i]->isEnabled(), i == row);
        for (int i = 1; i <= 3; ++i) QCOMPARE(box[i]->text(), i == row ? entry : "");
        QTest::keyClick(box[row], Qt::Key_Return);  // no default button: nothing happens
        child("cmdSubmit")->setFocus();             // Enter presses the button with the focus
        if (way == 0) QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
        if (way == 1) QTest::mouseClick(child("cmdCancel"), Qt::LeftButton);
        if (way == 2) dlg.close();
        if (way == 3) QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
        const bool submitted = !dlg.isVisible() && dlg.result() == QDialog::Accepted;
        QTEST((QVariantList{kept.vPortionGrams, kept.svPortionUnit, kept.vPortionQuantity}),
              "result");
        QTEST(messages.texts().join(u'|'), "message");
        QCOMPARE(dlg.isVisible(), !messages.texts().isEmpty());  // refused: open, entry kept
        QCOMPARE(box[row]->text(), entry);
        QCOMPARE(!dlg.isVisible() && !submitted, way != 0);
    }
};

QTEST_MAIN(TestPortion)
#include "test_portion.moc"
