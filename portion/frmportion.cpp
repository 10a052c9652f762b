// SPDX-License-Identifier: GPL-3.0-or-later
#include "portion/frmportion.h"

#include "common/designwidgets.h"
#include "common/msgbox.h"
#include "common/numbertext.h"
#include "common/outsidetext.h"
#include "common/windowguard.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <cmath>
#include <iterator>
#include <limits>

namespace velmora {

namespace {

// A radio button whose caption wraps inside its fixed box: measure texts such as
// "1 cup, chopped or diced" make captions far wider than one line of the row.
class WrappingOptionButton : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        QStyleOptionButton indicator = opt;
        indicator.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, this);
        p.drawPrimitive(QStyle::PE_IndicatorRadioButton, indicator);

        const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
        const int flags =
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        p.drawItemText(contents, flags, opt.palette, isEnabled(), opt.text, foregroundRole());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(opt);
            focus.rect =
                fontMetrics().boundingRect(contents, flags, opt.text).adjusted(-1, 0, 1, 0);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
    // The whole box answers the mouse, wrapped caption lines included.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect rect) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setGeometry(rect);
    return label;
}

QRadioButton* makeOption(QWidget* parent, const char* name, QRect rect) {
    auto* option = new WrappingOptionButton(QString::fromLatin1(name), parent);
    option->setObjectName(QString::fromLatin1(name));
    option->setGeometry(rect);
    return option;
}

QLineEdit* makeBox(QWidget* parent, const char* name, QRect rect) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(rect);
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect rect) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    // No default button: Enter in a box must not submit a half-typed entry.
    button->setAutoDefault(false);
    button->setGeometry(rect);
    return button;
}

// A button reads "&" as the mark of its shortcut key: a measure such as "1 cup & a half" must
// show as it stands and bind no Alt key.
QString literalText(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

// The portion globals are single precision; a weight they cannot hold is refused, not stored
// as infinity.
bool fitsSingle(double x) {
    return std::isfinite(x) && std::fabs(x) <= std::numeric_limits<float>::max();
}

QString gramsHint() {
    return QStringLiteral("Please enter the weight in grams as a number, for example 50 or 12") +
           QLocale().decimalPoint() + QStringLiteral("5.");
}

QString measureHint() {
    return QStringLiteral("Please enter the number of portions as a number, for example 2 or 0") +
           QLocale().decimalPoint() + QStringLiteral("5.");
}

// A weight above zero that single precision cannot hold would be stored as 0.
QString tooSmall() {
    return QStringLiteral("The number entered is too small to weigh. ") + gramsHint();
}

}  // namespace

frmPortion::frmPortion(const QString& description, const std::optional<HouseholdMeasures>& measures,
                       PortionState& portion, QWidget* parent)
    : QDialog(parent), portion_(portion) {
    setObjectName(QStringLiteral("frmPortion"));
    setWindowTitle(QStringLiteral("Adjust Portion Size"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    keepRestored(this);
    setFixedSize(tw(6420), tw(4620));
    // The rows were laid out for a small 8-point sans serif; a wider face clips "Item:" and the
    // option captions.
    setFont(designFont(u"MS Sans Serif", 8));

    // Created in tab order; the explicit chain below keeps it so if the creation order changes.
    TextOp1 = makeBox(this, "TextOp1", twipsRect(3870, 1215, 1635, 450));
    TextOp2 = makeBox(this, "TextOp2", twipsRect(3870, 1845, 1620, 450));
    TextOp3 = makeBox(this, "TextOp3", twipsRect(3870, 2610, 1635, 390));
    cmdSubmit =
        makeButton(this, "cmdSubmit", QStringLiteral("Submit"), twipsRect(1320, 3360, 1170, 495));
    cmdCancel =
        makeButton(this, "cmdCancel", QStringLiteral("Cancel"), twipsRect(3270, 3360, 1170, 495));
    Option2 = makeOption(this, "Option2", twipsRect(390, 1665, 3225, 555));
    Option1 = makeOption(this, "Option1", twipsRect(375, 1305, 3285, 270));
    lblItem = makeLabel(this, "lblItem", QStringLiteral("Item:"), twipsRect(180, 405, 390, 585));
    lblDescrip = makeLabel(this, "lblDescrip", QString(), twipsRect(570, 405, 4845, 750));
    Option3 = makeOption(this, "Option3", twipsRect(375, 2295, 3270, 720));
    Label1 = makeLabel(
        this, "Label1",
        QStringLiteral(
            "Note: Enter fractional values as decimals, for example 0.25 instead of 1/4."),
        twipsRect(540, 4185, 5310, 390));
    Line1 = makeLine(this, "Line1", 465, 3825, 1635, {});
    Line2 = makeLine(this, "Line2", 450, 3810, 2280, {});
    Line3 = makeLine(this, "Line3", 450, 3810, 3030, {});

    QWidget* const order[] = {TextOp1,   TextOp2, TextOp3, cmdSubmit,
                              cmdCancel, Option2, Option1, Option3};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(Option1, &QRadioButton::clicked, this, &frmPortion::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &frmPortion::Option2_Click);
    connect(Option3, &QRadioButton::clicked, this, &frmPortion::Option3_Click);
    connect(cmdSubmit, &QPushButton::clicked, this, &frmPortion::cmdSubmit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmPortion::cmdCancel_Click);

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    Form_Load(description, measures);
}

void frmPortion::Form_Load(const QString& description,
                           const std::optional<HouseholdMeasures>& measures) {
    lblDescrip->setText(shownText(description));
    // Not found: the caller has told the user; the dialog still opens, with design captions.
    if (!measures) return;
    measures_ = *measures;

    Option1->setText(QStringLiteral("Enter weight in grams"));
    struct Row {
        QRadioButton* option;
        QLineEdit* box;
        QFrame* line;
        const HouseholdMeasure& measure;
    };
    for (const Row& row :
         {Row{Option2, TextOp2, Line2, measures_[0]}, Row{Option3, TextOp3, Line3, measures_[1]}}) {
        if (!row.measure.text.isEmpty()) {
            row.option->setText(
                literalText(shownText(QStringLiteral("Enter number of ") + row.measure.text +
                                      QStringLiteral(" portions."))));
        } else {
            row.option->hide();
            row.box->hide();
            row.line->hide();
        }
    }
}

void frmPortion::Form_Activate() {
    Option1->setChecked(true);
    Option1_Click();
    TextOp1->clear();
    TextOp2->clear();
    TextOp3->clear();
}

void frmPortion::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window-system show (restoring from the task bar) is no new opening.
    if (!event->spontaneous()) Form_Activate();
}

void frmPortion::keyPressEvent(QKeyEvent* event) {
    // With no default button, Enter still presses the button that has the focus.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void frmPortion::Option1_Click() {
    TextOp1->setEnabled(true);
    TextOp2->setEnabled(false);
    TextOp2->clear();
    TextOp3->setEnabled(false);
    TextOp3->clear();
    TextOp1->setFocus();
}

void frmPortion::Option2_Click() {
    TextOp1->setEnabled(false);
    TextOp1->clear();
    TextOp2->setEnabled(true);
    TextOp3->setEnabled(false);
    TextOp3->clear();
    TextOp2->setFocus();
}

void frmPortion::Option3_Click() {
    TextOp1->setEnabled(false);
    TextOp1->clear();
    TextOp3->setEnabled(true);
    TextOp2->setEnabled(false);
    TextOp2->clear();
    TextOp3->setFocus();
}

void frmPortion::tell(const QString& message) {
    MsgBox(message);
    // Back to the entry so the user can correct it at once.
    for (QLineEdit* box : {TextOp1, TextOp2, TextOp3}) {
        if (box->isEnabled() && box->isVisible()) {
            box->setFocus();
            box->selectAll();
            break;
        }
    }
}

bool frmPortion::readMeasure(const QLineEdit* box, int measure, PortionEntry& entry) {
    if (box->text().isEmpty()) return true;
    const std::optional<double> count = measureCount(box->text());
    if (!count) {
        tell(measureHint());
        return false;
    }
    const PortionEntry read = measurePortion(measures_[static_cast<std::size_t>(measure)], *count);
    if (!fitsSingle(read.grams) || !fitsSingle(read.quantity)) {
        tell(measureHint());
        return false;
    }
    if (read.grams != 0 && static_cast<float>(read.grams) == 0) {
        tell(tooSmall());
        return false;
    }
    entry = read;
    return true;
}

void frmPortion::cmdSubmit_Click() {
    // Everything is read and checked before anything is kept: a refused entry leaves the last
    // submitted portion as it was.
    PortionEntry entry;
    if (!TextOp1->text().isEmpty()) {
        bool ok = false;
        const double weight = QLocale().toDouble(TextOp1->text(), &ok);
        if (!ok || !fitsSingle(weight)) {
            tell(gramsHint());
            return;
        }
        if (weight != 0 && static_cast<float>(weight) == 0) {
            tell(tooSmall());
            return;
        }
        entry.grams = weight;
    }
    if (!readMeasure(TextOp2, 0, entry)) return;
    if (!readMeasure(TextOp3, 1, entry)) return;

    if (entry.grams < 0) {
        tell(QStringLiteral("Numbers entered must be greater than 0"));
    } else if (static_cast<float>(entry.grams) == 0) {
        tell(QStringLiteral("No number was entered in the text box."));
    } else {
        portion_.vPortionGrams = static_cast<float>(entry.grams);
        portion_.svPortionUnit = entry.unit;
        portion_.vPortionQuantity = static_cast<float>(entry.quantity);
        accept();
    }
}

void frmPortion::cmdCancel_Click() {
    reject();
}

}  // namespace velmora
