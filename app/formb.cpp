// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formb.h"

#include "app/appicon.h"
#include "app/foodlistview.h"
#include "common/designwidgets.h"
#include "common/msgbox.h"
#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "common/sendkeys.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace velmora {

namespace {

const QString kQuickHelp = QStringLiteral(
    "Click on an item in the food list to display its nutritional value.  To search for a "
    "specific food, enter a search term in the box to the left of the search button, and then "
    "click the search button.  All food items that contain the search term will be displayed.  "
    "Hitting a letter on the computer keyboard will cause the display to advance to items that "
    "begin with that letter.  The first several letters of an item can also be typed in order to "
    "jump directly to an item beginning with those letters.  To refill the food list with all "
    "items click the Reset button.");

// Design sizes in twips.
constexpr int kClientWidth = 11910;
constexpr int kOuterHeight = 9200;
// Caption, menu bar and frame of the design's window: what the outer height spends outside the
// client area.
constexpr int kChrome = 330 + 300 + 60;

// Client height that shows everything down to the item view, as the window's design has it.
int clientHeight() {
    return tw(kOuterHeight - kChrome);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

}  // namespace

FormB::FormB(QString databasePath, std::optional<DailyValueRule> dailyValues, QWidget* parent)
    : QMainWindow(parent), databasePath_(std::move(databasePath)), chosenDailyValues_(dailyValues) {
    setObjectName(QStringLiteral("FormB"));
    setWindowTitle(AppTitle);
    setWindowIcon(appIcon());
    buildControls();
    buildMenu();
    connect(&Data1, &DataControl::reposition, this, &FormB::Data1_Reposition);
    connect(&Data1, &DataControl::validate, this, &FormB::Data1_Validate);
}

FormB::~FormB() = default;

void FormB::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The design's background is the light system grey of window faces.
    client->setBackgroundRole(QPalette::Window);
    client->setAutoFillBackground(true);
    setCentralWidget(client);
    client->setFixedSize(tw(kClientWidth), clientHeight());

    Line2 = makeLine(client, "Line2", 75, 11395, 75, QColor(128, 128, 128));
    Line1 = makeLine(client, "Line1", 75, 11395, 90, palette().color(QPalette::Light));

    buildList(client);
    buildSearchRow(client);
    buildViews(client);

    // Tab order follows the layout: list, search box, buttons, quick help, item view.
    QWidget::setTabOrder(DBList1, txtSearch);
    QWidget::setTabOrder(txtSearch, cmdSearch);
    QWidget::setTabOrder(cmdSearch, cmdReset);
    QWidget::setTabOrder(cmdReset, cmdPageUp);
    QWidget::setTabOrder(cmdPageUp, cmdPageDown);
    QWidget::setTabOrder(cmdPageDown, RichTextBox1);
    QWidget::setTabOrder(RichTextBox1, Text1);
}

// The record label above the food list, and the list.
void FormB::buildList(QWidget* client) {
    lblRecordCount = new QLabel(QStringLiteral("lblRecordCount"), client);
    lblRecordCount->setObjectName(QStringLiteral("lblRecordCount"));
    lblRecordCount->setGeometry(twipsRect(120, 285, 4005, 315));
    lblRecordCount->setFont(designFont(u"Arial", 9));
    lblRecordCount->setAutoFillBackground(true);
    lblRecordCount->setBackgroundRole(QPalette::Base);
    // Its text is what a screen reader must read; the description only says what it is.
    lblRecordCount->setAccessibleDescription(QStringLiteral("Record position"));

    model_ = new FoodListModel(Data1, this);
    DBList1 = new FoodListView(client);
    DBList1->setObjectName(QStringLiteral("DBList1"));
    DBList1->setGeometry(twipsRect(105, 705, 5880, 5325));
    DBList1->setFoodModel(model_);
    DBList1->setAccessibleName(QStringLiteral("Food list"));
    DBList1->setVisible(false);  // shown by the load step
    connect(DBList1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FormB::DBList1_Click);
    // A click on the food on show brings its 100-gram report back after a portion or the Percent
    // Daily Values.
    connect(DBList1, &FoodListView::reselected, this, &FormB::DBList1_Click);
}

// The search box and the four buttons under the list.
void FormB::buildSearchRow(QWidget* client) {
    txtSearch = new QLineEdit(client);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setGeometry(twipsRect(105, 6120, 1785, 360));
    txtSearch->setAccessibleName(QStringLiteral("Search term"));

    const QColor lightBlue(186, 211, 229);
    cmdSearch =
        makeButton(client, "cmdSearch", QStringLiteral("Search"), twipsRect(1950, 6135, 930, 330));
    cmdReset =
        makeButton(client, "cmdReset", QStringLiteral("Reset"), twipsRect(2930, 6135, 930, 330));
    for (QPushButton* b : {cmdSearch, cmdReset}) {
        QPalette p = b->palette();
        p.setColor(QPalette::Button, lightBlue);
        b->setPalette(p);
    }
    cmdPageUp = makeButton(client, "cmdPageUp", QStringLiteral("Page Up"),
                           twipsRect(3910, 6135, 1020, 330));
    cmdPageDown = makeButton(client, "cmdPageDown", QStringLiteral("Page Down"),
                             twipsRect(4980, 6135, 1020, 330));
    connect(cmdSearch, &QPushButton::clicked, this, &FormB::cmdSearch_Click);
    connect(cmdReset, &QPushButton::clicked, this, &FormB::cmdReset_Click);
    connect(cmdPageUp, &QPushButton::clicked, this, &FormB::cmdPageUp_Click);
    connect(cmdPageDown, &QPushButton::clicked, this, &FormB::cmdPageDown_Click);
}

// The quick help under the buttons and the item view on the right.
void FormB::buildViews(QWidget* client) {
    RichTextBox1 = new QTextEdit(client);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setGeometry(twipsRect(105, 6525, 5895, 1275));
    RichTextBox1->setFont(designFont(u"MS Sans Serif", 8.5));
    RichTextBox1->setPlainText(kQuickHelp);
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setAccessibleName(QStringLiteral("Quick help"));

    Text1 = new QPlainTextEdit(QStringLiteral("Text1"), client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(6165, 225, 5235, 7635));
    Text1->setFont(designFont(u"Arial", 9));
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setAccessibleName(QStringLiteral("Nutrient report"));
    text1_ = QStringLiteral("Text1");
}

void FormB::buildMenu() {
    struct Command {
        const char* name;
        const char* caption;
        void (FormB::*slot)();
    };
    const Command commands[] = {
        {"mnuHelp", "Instructions ", &FormB::mnuHelp_Click},
        {"mnuDailyValues", "Information on Daily Values ", &FormB::mnuDailyValues_Click},
        {"mnuAbout", "Program Info ", &FormB::mnuAbout_Click},
        {"mnuPortionAdjust", "Adjust Portion Size ", &FormB::mnuPortionAdjust_Click},
        {"mnuCalculate", "Calculate Percent Daily Values ", &FormB::mnuCalculate_Click},
        {"mnuExit", "Exit", &FormB::mnuExit_Click},
    };
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);
    for (const Command& c : commands) {
        QAction* a = bar->addAction(QString::fromLatin1(c.caption));
        a->setObjectName(QLatin1String(c.name));
        connect(a, &QAction::triggered, this, c.slot);
    }
    // The desktop's usual quit key, beside the menu command.
    menuCommand(QStringLiteral("mnuExit"))->setShortcut(QKeySequence::Quit);
}

QAction* FormB::menuCommand(const QString& objectName) const {
    for (QAction* a : menuBar()->actions())
        if (a->objectName() == objectName) return a;
    return nullptr;
}

void FormB::setText1(const QString& text) {
    text1_ = text;
    // The report keeps its CR LF line ends; the view shows lines, each of a length it can lay out.
    QString shown = text;
    shown.replace(CR, QStringLiteral("\n"));
    Text1->setPlainText(shownText(shown));
}

void FormB::handle(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        if (trapDepth_ > 0) {
            kept_ = std::current_exception();
        } else {
            MsgBox(runTimeErrorText(caughtError()));
            endProgram(1);
        }
    }
}

void FormB::rethrowKept() {
    if (kept_) std::rethrow_exception(std::exchange(kept_, nullptr));
}

void FormB::Form_Load() {
    const Trap trap(*this);  // the start fails with the error of its first list click
    DBList1->setVisible(true);
    QCoreApplication::processEvents();
    setText1(QString());
    lblRecordCount->setText(QString::number(ivItemCount) + QStringLiteral(" Total Items."));
    lblRecordCount->setVisible(true);
    Data1.DatabaseName = databasePath_.isEmpty() ? defaultDatabasePath() : databasePath_;
    Data1.RecordSource = kLoadQuery;
    Data1.Refresh();
    table_.path = Data1.DatabaseName;
    table_.shipped = databasePath_.isEmpty() || isDefaultTable(databasePath_);
    table_.source = Data1.sourceRecord();
    notice_ = requiredNotice(table_.source);
    setWindowTitle(tableCaption(table_));
    dv_.rule = chosenDailyValues_
                   ? *chosenDailyValues_
                   : tableDailyValueRule(table_.source ? table_.source->name : QString());
    setFixedSize(tw(kClientWidth), clientHeight() + menuBar()->sizeHint().height());
    show();
    DBList1->setFocus();
    SendKeys(QStringLiteral("{a}{l}{c}{o}"), DBList1);
    rethrowKept();
}

void FormB::Data1_Reposition() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (bvSearchMode) {
        showSearchPosition();
    } else {
        ivItemCount = Data1.recordset().RecordCount();
        lblRecordCount->setText(QStringLiteral("Food Database Item Number ") +
                                QString::number(Data1.recordset().AbsolutePosition() + 1) +
                                QStringLiteral(" of ") + QString::number(ivItemCount));
    }
}

void FormB::showSearchPosition() {
    lblRecordCount->setText(
        QStringLiteral("Item ") + QString::number(Data1.recordset().AbsolutePosition() + 1) +
        QStringLiteral(" of ") + QString::number(ivItemCount) + QStringLiteral(" found in search"));
}

void FormB::Data1_Validate(int& /*action*/, int& /*save*/) {
    // Nothing is ever edited, so nothing is saved.
}

void FormB::cmdPageDown_Click() {
    DBList1->setFocus();
    SendKeys(QStringLiteral("{PGDN}"), DBList1);
}

void FormB::cmdPageUp_Click() {
    DBList1->setFocus();
    SendKeys(QStringLiteral("{PGUP}"), DBList1);
    rethrowKept();  // for the search or reset that pressed it
}

FieldReader FormB::fields() const {
    return [this](int i) { return Data1.txtFields(i); };
}

FindOutcome FormB::findFood(const QString& description) {
    // The food on show is the current record unless a search or reset moved it: found again by
    // its description, the first of two foods that share it would take its place.
    if (Data1.recordset().AbsolutePosition() >= 0 &&
        Data1.txtFields(field::Description) == description) {
        state_.svFindName = description.contains(u'\'') ? SrchReplace(description) : description;
        return FindOutcome::Found;
    }
    const FindOutcome outcome = FindFoodByDescription(Data1, description, state_.svFindName);
    if (outcome == FindOutcome::NotFound)
        MsgBox(notFoundText(state_.svFindName), kNotFoundTitle, MsgIcon::Critical);
    return outcome;
}

void FormB::FillArray_S_from_Data1() {
    FillArray_S(S, fields());
}

void FormB::DBList1_Click() {
    handle([this] {
        // The selected row's own record, not the first food with its description: two foods may
        // share one, and a row may have none. With no row selected the current record is
        // reported again.
        Data1.moveToRow(DBList1->selectedRow());
        FillArray_S_from_Data1();
        setHundredGramValues(S, state_.Z);
        FillText1_from_Array_Z();
    });
}

void FormB::FillText1_from_Array_Z() {
    setText1(withNotice(reportText(state_.Z, svPortionDescrip), notice_));
}

void FormB::cmdSearch_Click() {
    const Trap trap(*this);
    try {
        if (txtSearch->text().isEmpty()) {
            MsgBox(QStringLiteral(
                "Please enter a search term in the box to the left of the Search button."));
            txtSearch->setFocus();
            return;
        }
        Data1.RecordSource = searchQuery(txtSearch->text());
        Data1.Refresh();
        const int count = Data1.recordset().RecordCount();
        if (count == 0) setText1(QString());
        if (count > 0) {
            ivItemCount = count;
            cmdPageUp_Click();
            showSearchPosition();
        }
        bvSearchMode = true;
    } catch (...) {
        MsgBox(QStringLiteral("Your search generated an error.  Please use only the letters of the "
                              "english alphabet and common punctuation characters in your search "
                              "terms.  Error number ") +
               QString::number(caughtError().number));
        txtSearch->clear();
    }
}

void FormB::cmdReset_Click() {
    const Trap trap(*this);
    try {
        bvSearchMode = false;
        Data1.RecordSource = kResetQuery;
        Data1.Refresh();
        if (!DBList1->isHidden()) cmdPageUp_Click();
        txtSearch->clear();
    } catch (...) {
        MsgBox(QStringLiteral("Error number ") + QString::number(caughtError().number));
        txtSearch->clear();
    }
}

void FormB::mnuCalculate_Click() {
    handle([this] {
        setText1(withNotice(annotatedReport(state_.Z, dv_, svPortionDescrip), notice_));
    });
}

void FormB::mnuExit_Click() {
    close();
}

void FormB::closeEvent(QCloseEvent* event) {
    // A close request is never refused: closing the main window ends the program.
    event->accept();
    Form_Unload();
}

}  // namespace velmora
