// SPDX-License-Identifier: GPL-3.0-or-later
// The one reading of an amount a food table is to store, whatever the format it comes in.
#pragma once

#include <QString>

#include <string_view>

namespace velmora::mkdb {

// A value read from a plain number (plainNumber) written with `decimalPoint` ('.' or ','; with
// ',' a "." is refused, as it may group thousands there), no larger than kLargestAmount either
// way: the table holds nothing the program would show as not measured. `problem` says what is
// wrong otherwise, after the quoted text in a message: "is not a number", "is out of range
// (beyond ±10^15)". Every reader takes its amounts through it.
struct Amount {
    double value = 0;
    QString problem;  // empty when `value` is the number
};
Amount readAmount(std::string_view text, char decimalPoint = '.');
Amount readAmount(std::string_view, bool) = delete;  // a flag would read as the character 0

}  // namespace velmora::mkdb
