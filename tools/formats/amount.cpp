// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/amount.h"

#include "common/numbertext.h"
#include "fooddb/foodcolumns.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace velmora::mkdb {

Amount readAmount(std::string_view text, char decimalPoint) {
    std::string number;
    if (decimalPoint != '.') {
        if (text.find('.') != std::string_view::npos) return {0, QStringLiteral("is not a number")};
        number = text;
        std::replace(number.begin(), number.end(), decimalPoint, '.');
        text = number;
    }
    const std::optional<double> value = plainNumber(text);
    if (!value && !isPlainNumberText(text)) return {0, QStringLiteral("is not a number")};
    if (!value || !(std::fabs(*value) <= kLargestAmount))
        return {0, QStringLiteral("is out of range (beyond ±10^%1)").arg(kLargestAmountPower)};
    return {*value, {}};
}

}  // namespace velmora::mkdb
