#include "portion.h"

#include "datacontrol.h"
#include "findfood.h"
#include "vbtext.h"

namespace velmora {

float vPortionGrams = 0;
QString svPortionUnit;
float vPortionQuantity = 0;

QString PortionText(double x, int decimals) {
    return QStringLiteral(" ") + RoundedText(x, decimals);
}

namespace {

// An empty field is a nutrient that was not measured: it must stay empty, never become " 0".
QString scaledField(const DataControl& Data1, int field, double factor, int decimals) {
    const QString& text = Data1.txtFields(field);
    return text.isEmpty() ? QString() : PortionText(Val(text) * factor, decimals);
}

}  // namespace

void RecomputePortion(DataControl& Data1, ValueArray& S, ValueArray& Z, double& vPortionFactor,
                      const QLocale& locale) {
    if (FindFoodByDescription(Data1, Z[slot::Description]) != FindOutcome::Found) return;

    vPortionFactor = static_cast<double>(vPortionGrams) / 100;
    for (int i = 3; i <= 31; ++i) S[i] = scaledField(Data1, i, vPortionFactor, 3);
    S[2] = scaledField(Data1, 2, vPortionFactor, 1);
    for (int i = 2; i <= 31; ++i) Z[i] = S[i];

    Z[slot::TotalWeight] = FormatNumber(vPortionFactor * 100, 2, locale);
    const QString point = locale.decimalPoint();
    Z[slot::Quantity] =
        NumberText(vPortionQuantity, 7, point.isEmpty() ? QChar(u'.') : point.front());
    Z[slot::Unit] = svPortionUnit;
}

}  // namespace velmora
