// SPDX-License-Identifier: GPL-3.0-or-later
// The nutrient value arrays and the report writer. Values travel as display text: an empty text is
// a nutrient that was not measured, "0" one that was measured and not found.
#pragma once

#include <QLocale>
#include <QString>

#include "fooddb/foodcolumns.h"

#include <array>
#include <functional>

namespace velmora {

// Slots 0..41: 0 description, 1..31 nutrients (bound fields 1..31), 33 portion unit,
// 34 portion quantity, 41 total weight in grams.
inline constexpr int kValueSlots = 42;
using ValueArray = std::array<QString, kValueSlots>;

namespace slot {
// The slot of a column's value: slots 0 to 31 hold bound fields 0 to 31.
consteval int of(std::string_view column) {
    const int i = columnIndex(column);
    return i <= 31 ? i : throw "not a value slot";
}
inline constexpr int Description = of("Description");
inline constexpr int FirstNutrient = of("WATER");
inline constexpr int Calories = of("ENERG_KCAL");
inline constexpr int LastNutrient = of("CHOLESTRL");
inline constexpr int Unit = 33;
inline constexpr int Quantity = 34;
inline constexpr int TotalWeight = 41;
}  // namespace slot

// Line end of every report line: carriage return, line feed.
inline const QString CR = QStringLiteral("\r\n");

// Reads the text of bound field i (0..38) of the current record.
using FieldReader = std::function<QString(int)>;

// Copies bound fields 0..31 into S and sets the total weight "100". Slots 32..40 are untouched.
void FillArray_S(ValueArray& S, const FieldReader& field);

// The 100-gram report's values after FillArray_S: quantity and unit "0" in S, and S's slots
// 0..31, 33, 34 and 41 copied into Z (the other slots of Z stay as they are).
void setHundredGramValues(ValueArray& S, ValueArray& Z);

// The portion header: " Quantity: " + Z(34) + CR + " Unit: " + Z(33) + CR, or the empty text
// when the quantity reads as zero (in the plain "." form or in `locale`'s form).
QString portionHeader(const ValueArray& Z, const QLocale& locale = QLocale());

// The nutrient report of Z (the header, then the 33 lines), every line ending with CR.
// `svPortionDescrip` receives the header that was used.
QString reportText(const ValueArray& Z, QString& svPortionDescrip,
                   const QLocale& locale = QLocale());

// `report` with `notice` as its last line (a notice the table's source requires on every output,
// so that a copied report keeps it); `report` itself when the notice is empty.
QString withNotice(const QString& report, const QString& notice);

}  // namespace velmora
