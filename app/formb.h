// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the food list, the record label, search and paging buttons, the quick help and
// the item view, with the menu bar of commands.
#pragma once

#include "app/appstate.h"
#include "dailyvalues/dailyvalues.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/foodlistmodel.h"
#include "fooddb/opentable.h"
#include "report/valuearrays.h"

#include <QMainWindow>

#include <exception>
#include <functional>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace velmora {

class FoodListView;

class FormB : public QMainWindow {
    Q_OBJECT
  public:
    // The food table is `databasePath`, or Velmora.mdb in the program's own folder; the Percent
    // Daily Values are those of `dailyValues`, or else of the table's own rule
    // (tableDailyValueRule), which the load step reads once the table is open.
    explicit FormB(QString databasePath = {},
                   std::optional<DailyValueRule> dailyValues = std::nullopt,
                   QWidget* parent = nullptr);
    ~FormB() override;

    // The load step: opens the food table, fills the list, shows the window and types a, l, c, o
    // into the list. Throws RunTimeError when the food table cannot be opened.
    void Form_Load();

    // What tests and the benchmark look at.
    const QString& Text1Text() const { return text1_; }
    DataControl& data() { return Data1; }
    FoodListView* list() const { return DBList1; }
    QLabel* recordLabel() const { return lblRecordCount; }
    QLineEdit* searchBox() const { return txtSearch; }
    bool searchMode() const { return bvSearchMode; }
    int itemCount() const { return ivItemCount; }
    const ValueArray& arrayS() const { return S; }
    const AppState& state() const { return state_; }
    // The table open since the load step: what the caption, the instructions, the About window
    // and the reports' notice say of it.
    const OpenTable& openTable() const { return table_; }
    QAction* menuCommand(const QString& objectName) const;

  public slots:
    void DBList1_Click();
    void cmdPageUp_Click();
    void cmdPageDown_Click();
    void cmdSearch_Click();
    void cmdReset_Click();
    void mnuHelp_Click();
    void mnuDailyValues_Click();
    void mnuAbout_Click();
    void mnuPortionAdjust_Click();
    void mnuCalculate_Click();
    void mnuExit_Click();

    void FillArray_S_from_Data1();
    void FillText1_from_Array_Z();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void Data1_Reposition();
    void Data1_Validate(int& action, int& save);

  private:
    // Runs the body of a handler that Qt called: no error may leave it through Qt. An error is
    // shown and ends the program, as every error a handler does not trap does; while a trapping
    // handler runs (search, reset, the load step), it is kept for that handler to report.
    void handle(const std::function<void()>& body);
    // Gives a trapping handler the error kept while the list handled its keystrokes.
    void rethrowKept();
    // A trapping handler's time: errors of the handlers it sets off come back to it.
    struct Trap {
        explicit Trap(FormB& f) : form(f) { ++form.trapDepth_; }
        ~Trap() { --form.trapDepth_; }
        FormB& form;
    };
    void endProgram(int status);

    void buildControls();
    void buildList(QWidget* client);
    void buildSearchRow(QWidget* client);
    void buildViews(QWidget* client);
    void buildMenu();
    void setText1(const QString& text);
    // "Item N of M found in search": the current record's position in the search result.
    void showSearchPosition();
    void Form_Unload();
    void portionCommand();
    void RecomputePortion();
    // The find step with its not-found message.
    FindOutcome findFood(const QString& description);
    // The bound fields of the current record.
    FieldReader fields() const;

    QString databasePath_;
    OpenTable table_;
    QString notice_;  // the last line of every report, where the table's source requires one
    DataControl Data1;
    FoodListModel* model_ = nullptr;

    QLabel* lblRecordCount = nullptr;
    FoodListView* DBList1 = nullptr;
    QLineEdit* txtSearch = nullptr;
    QPushButton* cmdSearch = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdPageUp = nullptr;
    QPushButton* cmdPageDown = nullptr;
    QTextEdit* RichTextBox1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;

    AppState state_;
    QString svPortionDescrip;  // the report's portion header
    bool bvCancel = false;     // the portion dialog was cancelled
    QString text1_;
    ValueArray S;
    bool bvSearchMode = false;
    int ivItemCount = 0;  // at least 32 bits: larger tables count correctly
    std::optional<DailyValueRule> chosenDailyValues_;  // --daily-values, if given
    DailyValueState dv_;
    double vPortionFactor = 0;
    bool unloading_ = false;
    int trapDepth_ = 0;
    std::exception_ptr kept_;
};

}  // namespace velmora
