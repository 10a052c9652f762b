// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/runtimeerror.h"

namespace velmora {

QString standardErrorText(int number) {
    switch (number) {
        case 3:
            return QStringLiteral("Return without GoSub");
        case 5:
            return QStringLiteral("Invalid procedure call or argument");
        case 6:
            return QStringLiteral("Overflow");
        case 7:
            return QStringLiteral("Out of memory");
        case 9:
            return QStringLiteral("Subscript out of range");
        case 11:
            return QStringLiteral("Division by zero");
        case 13:
            return QStringLiteral("Type mismatch");
        case 28:
            return QStringLiteral("Out of stack space");
        case 51:
            return QStringLiteral("Internal error");
        case 52:
            return QStringLiteral("Bad file name or number");
        case 53:
            return QStringLiteral("File not found");
        case 75:
            return QStringLiteral("Path/File access error");
        case 91:
            return QStringLiteral("Object variable or With block variable not set");
        case 380:
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
