// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/dataerrors.h"

#include "common/outsidetext.h"
#include "common/runtimeerror.h"
#include "fooddb/jetlike.h"

namespace velmora {

void throwEngineError(const sqlite::Error& e, const QString& file, const QString& query) {
    // Both come from outside: the file's name and the user's search term.
    const QString path = printableLine(file);
    const QString sql = printable(query, 2 * kQuoteLimit);
    const QString msg = printable(e.message());
    if (msg == QLatin1String(kInvalidPatternText))
        throw RunTimeError(dataerr::kInvalidPattern, QStringLiteral("Invalid pattern string"));
    if (e.code() == SQLITE_READONLY_ROLLBACK)
        throw RunTimeError(
            dataerr::kUnfinishedWrite,
            QStringLiteral("Another program did not finish writing the food table "
                           "'%1': its unfinished changes lie in a journal file beside "
                           "it. Let that program finish with the table first.")
                .arg(path));
    switch (e.primary()) {
        case SQLITE_AUTH:
            throw RunTimeError(dataerr::kNotAllowed,
                               QStringLiteral("The food table '%1' holds something the "
                                              "program will not run: %2.")
                                   .arg(path, msg));
        case SQLITE_INTERRUPT:
            throw RunTimeError(dataerr::kTooLarge,
                               QStringLiteral("System resource exceeded: the food table "
                                              "'%1' is too large, or CSR14 is not a table.")
                                   .arg(path));
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
            throw RunTimeError(dataerr::kCannotOpen,
                               QStringLiteral("The database engine cannot open the file '%1'. "
                                              "You may need permission to read it.")
                                   .arg(path));
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throwBeingWritten(file);
        case SQLITE_NOTADB:
            throw RunTimeError(dataerr::kNotADatabase,
                               QStringLiteral("Unrecognized database format '%1'.").arg(path));
        case SQLITE_CORRUPT:
            throw RunTimeError(dataerr::kCorrupt,
                               QStringLiteral("Cannot read database '%1'. The file may be "
                                              "damaged.")
                                   .arg(path));
        case SQLITE_NOMEM:
            throw RunTimeError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
        default:
            break;
    }
    if (msg.startsWith(QLatin1String("no such table: ")))
        throw RunTimeError(
            dataerr::kNoSuchTable,
            QStringLiteral("The database engine cannot find the input table or query '%1'.")
                .arg(msg.mid(15)));
    if (e.primary() == SQLITE_ERROR)
        throw RunTimeError(dataerr::kQueryError,
                           QStringLiteral("Error in query expression '%1': %2.").arg(sql, msg));
    throw RunTimeError(dataerr::kEngineError,
                       QStringLiteral("Database engine error: %1.").arg(msg));
}

void throwBeingWritten(const QString& file) {
    throw RunTimeError(dataerr::kFileInUse,
                       QStringLiteral("Could not use '%1'; file already in use: another program is "
                                      "writing it. Try again when it has finished.")
                           .arg(printableLine(file)));
}

}  // namespace velmora
