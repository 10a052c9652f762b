// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/runtimeerror.h"

namespace velmora {

QString standardErrorText(int number) {
    switch (number) {
        case err::ReturnWithoutGoSub:
            return QStringLiteral("Return without GoSub");
        case err::InvalidProcedureCall:
            return QStringLiteral("Invalid procedure call or argument");
        case err::Overflow:
            return QStringLiteral("Overflow");
        case err::OutOfMemory:
            return QStringLiteral("Out of memory");
        case err::SubscriptOutOfRange:
            return QStringLiteral("Subscript out of range");
        case err::DivisionByZero:
            return QStringLiteral("Division by zero");
        case err::TypeMismatch:
            return QStringLiteral("Type mismatch");
        case err::OutOfStackSpace:
            return QStringLiteral("Out of stack space");
        case err::InternalError:
            return QStringLiteral("Internal error");
        case err::BadFileNameOrNumber:
            return QStringLiteral("Bad file name or number");
        case err::FileNotFound:
            return QStringLiteral("File not found");
        case err::PathFileAccessError:
            return QStringLiteral("Path/File access error");
        case err::ObjectVariableNotSet:
            return QStringLiteral("Object variable or With block variable not set");
        case err::InvalidPropertyValue:
            return QStringLiteral("Invalid property value");
        default:
            return {};
    }
}

CaughtError caughtError() {
    try {
        throw;
    } catch (const RunTimeError& e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc&) {
        return {err::OutOfMemory, standardErrorText(err::OutOfMemory)};
    } catch (...) {
        return {err::InternalError, standardErrorText(err::InternalError)};
    }
}

QString runTimeErrorText(const CaughtError& error) {
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number).arg(error.description);
}

}  // namespace velmora
