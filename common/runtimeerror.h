// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time errors carry a number and a text, as the user sees them in messages.
#pragma once

#include <QString>

#include <exception>
#include <new>

namespace velmora {

class RunTimeError : public std::exception {
  public:
    RunTimeError(int number, QString description)
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

// An error that reached the end of an event handler or a command: its number and text.
struct CaughtError {
    int number = 0;
    QString description;
};

// The exception being handled, as the user is told of it: a RunTimeError as it is, std::bad_alloc
// as "Out of memory", anything else as an internal error. Only inside a catch block.
CaughtError caughtError();

// "Run-time error 'n':", an empty line and the text: an error the program does not trap.
QString runTimeErrorText(const CaughtError& error);

// The error numbers that have a standard text; the program raises some of them itself.
namespace err {
inline constexpr int ReturnWithoutGoSub = 3;
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int OutOfStackSpace = 28;
inline constexpr int InternalError = 51;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int PathFileAccessError = 75;
inline constexpr int ObjectVariableNotSet = 91;
inline constexpr int InvalidPropertyValue = 380;
}  // namespace err

}  // namespace velmora
