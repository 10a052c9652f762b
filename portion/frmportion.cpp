#include "frmportion.h"

#include "datacontrol.h"
#include "findfood.h"
#include "msgbox.h"
#include "portion.h"
#include "twips.h"
#include "vbtext.h"

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

// Bound fields of the two household measures.
constexpr int kMeasure1Grams = 32;
constexpr int kMeasure1Text = 33;
constexpr int kMeasure2Grams = 34;
constexpr int kMeasure2Text = 35;

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

// A one-pixel horizontal rule from (x1, y) to (x2, y), in twips.
QFrame* makeLine(QWidget* parent, const char* name, int x1, int x2, int y) {
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setGeometry(tw(x1), tw(y), tw(x2) - tw(x1) + 1, 1);
    return line;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect rect) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    // No default button: Enter in a box must not submit a half-typed entry.
    button->setAutoDefault(false);
    button->setGeometry(rect);
    return button;
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

// The measure boxes read their number with "." whatever the locale.
QString measureHint() {
    return QStringLiteral("Please enter the number of portions as a number, for example 2 or 0.5.");
}

}  // namespace

frmPortion::frmPortion(DataControl& data, const ValueArray& Z, bool& bvCancel, QWidget* parent)
    : QDialog(parent), data_(data), bvCancel_(bvCancel) {
    setObjectName(QStringLiteral("frmPortion"));
    setWindowTitle(QStringLiteral("Adjust Portion Size"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFixedSize(tw(6420), tw(4620));
    // The rows were laid out for a small 8-point sans serif; a wider face clips "Item:" and the
    // option captions.
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    // Created in tab order; the explicit chain below keeps it so if the creation order changes.
    TextOp1_ = makeBox(this, "TextOp1", twipsRect(3870, 1215, 1635, 450));
    TextOp2_ = makeBox(this, "TextOp2", twipsRect(3870, 1845, 1620, 450));
    TextOp3_ = makeBox(this, "TextOp3", twipsRect(3870, 2610, 1635, 390));
    cmdSubmit_ =
        makeButton(this, "cmdSubmit", QStringLiteral("Submit"), twipsRect(1320, 3360, 1170, 495));
    cmdCancel_ =
        makeButton(this, "cmdCancel", QStringLiteral("Cancel"), twipsRect(3270, 3360, 1170, 495));
    Option2_ = makeOption(this, "Option2", twipsRect(390, 1665, 3225, 555));
    Option1_ = makeOption(this, "Option1", twipsRect(375, 1305, 3285, 270));
    lblItem_ = makeLabel(this, "lblItem", QStringLiteral("Item:"), twipsRect(180, 405, 390, 585));
    lblDescrip_ = makeLabel(this, "lblDescrip", QString(), twipsRect(570, 405, 4845, 750));
    Option3_ = makeOption(this, "Option3", twipsRect(375, 2295, 3270, 720));
    Label1_ = makeLabel(
        this, "Label1",
        QStringLiteral(
            "Note: Enter fractional values as decimals, for example 0.25 instead of 1/4."),
        twipsRect(540, 4185, 5310, 390));
    Line1_ = makeLine(this, "Line1", 465, 3825, 1635);
    Line2_ = makeLine(this, "Line2", 450, 3810, 2280);
    Line3_ = makeLine(this, "Line3", 450, 3810, 3030);

    QWidget* const order[] = {TextOp1_,   TextOp2_, TextOp3_, cmdSubmit_,
                              cmdCancel_, Option2_, Option1_, Option3_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(Option1_, &QRadioButton::clicked, this, &frmPortion::Option1_Click);
    connect(Option2_, &QRadioButton::clicked, this, &frmPortion::Option2_Click);
    connect(Option3_, &QRadioButton::clicked, this, &frmPortion::Option3_Click);
    connect(cmdSubmit_, &QPushButton::clicked, this, &frmPortion::cmdSubmit_Click);
    connect(cmdCancel_, &QPushButton::clicked, this, &frmPortion::cmdCancel_Click);

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    Form_Load(Z);
}

void frmPortion::Form_Load(const ValueArray& Z) {
    lblDescrip_->setText(Z[slot::Description]);
    // Not found: the find step has told the user; the dialog still opens, with design captions.
    if (FindFoodByDescription(data_, Z[slot::Description]) != FindOutcome::Found) return;

    Option1_->setText(QStringLiteral("Enter weight in grams"));
    struct Row {
        QRadioButton* option;
        QLineEdit* box;
        QFrame* line;
        int unitField;
    };
    for (const Row& row : {Row{Option2_, TextOp2_, Line2_, kMeasure1Text},
                           Row{Option3_, TextOp3_, Line3_, kMeasure2Text}}) {
        const QString& unit = data_.txtFields(row.unitField);
        if (!unit.isEmpty()) {
            row.option->setText(QStringLiteral("Enter number of ") + unit +
                                QStringLiteral(" portions."));
        } else {
            row.option->hide();
            row.box->hide();
            row.line->hide();
        }
    }
}

void frmPortion::Form_Activate() {
    Option1_->setChecked(true);
    Option1_Click();
    TextOp1_->clear();
    TextOp2_->clear();
    TextOp3_->clear();
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
    TextOp1_->setEnabled(true);
    TextOp2_->setEnabled(false);
    TextOp2_->clear();
    TextOp3_->setEnabled(false);
    TextOp3_->clear();
    TextOp1_->setFocus();
}

void frmPortion::Option2_Click() {
    TextOp1_->setEnabled(false);
    TextOp1_->clear();
    TextOp2_->setEnabled(true);
    TextOp3_->setEnabled(false);
    TextOp3_->clear();
    TextOp2_->setFocus();
}

void frmPortion::Option3_Click() {
    TextOp1_->setEnabled(false);
    TextOp1_->clear();
    TextOp3_->setEnabled(true);
    TextOp2_->setEnabled(false);
    TextOp2_->clear();
    TextOp3_->setFocus();
}

bool frmPortion::readMeasure(const QLineEdit* box, int gramsField, int unitField, float& grams,
                             QString& unit, float& quantity) const {
    if (box->text().isEmpty()) return true;
    const double count = Val(box->text());
    const double weight = Val(data_.txtFields(gramsField)) * count;
    if (!fitsSingle(weight) || !fitsSingle(count)) {
        MsgBox(measureHint());
        return false;
    }
    grams = static_cast<float>(weight);
    unit = data_.txtFields(unitField);
    quantity = static_cast<float>(count);
    return true;
}

void frmPortion::cmdSubmit_Click() {
    // Read everything before touching the globals, so a refused entry leaves them as they were.
    float grams = 0;
    QString unit;
    float quantity = 0;
    if (!TextOp1_->text().isEmpty()) {
        bool ok = false;
        const double weight = QLocale().toDouble(TextOp1_->text(), &ok);
        if (!ok || !fitsSingle(weight)) {
            MsgBox(gramsHint());
            return;
        }
        grams = static_cast<float>(weight);
    }
    if (!readMeasure(TextOp2_, kMeasure1Grams, kMeasure1Text, grams, unit, quantity)) return;
    if (!readMeasure(TextOp3_, kMeasure2Grams, kMeasure2Text, grams, unit, quantity)) return;

    vPortionGrams = grams;
    svPortionUnit = unit;
    vPortionQuantity = quantity;
    if (vPortionGrams < 0) {
        MsgBox(QStringLiteral("Numbers entered must be greater than 0"));
    } else if (vPortionGrams == 0) {
        MsgBox(QStringLiteral("No number was entered in the text box."));
    } else {
        accept();
    }
}

void frmPortion::cmdCancel_Click() {
    reject();
}

void frmPortion::reject() {
    // Every way out other than Submit leaves the report and the portion as they were.
    bvCancel_ = true;
    QDialog::reject();
}

}  // namespace velmora
