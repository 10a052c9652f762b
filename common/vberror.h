// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time errors carry a number and a text, as the user sees them in messages.
#pragma once

#include <QString>

#include <exception>

namespace velmora {

class VbError : public std::exception {
  public:
    VbError(int number, QString description)
        : number_(number), description_(std::move(description)) {}
    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return "Velmora run-time error"; }

  private:
    int number_;
    QString description_;
};

// The standard run-time text for an error number; the empty text for an unknown number.
QString standardErrorText(int number);

// Error numbers raised by the program's own code.
namespace err {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int TypeMismatch = 13;
inline constexpr int FileNotFound = 53;
}  // namespace err

}  // namespace velmora
