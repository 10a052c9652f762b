// SPDX-License-Identifier: GPL-3.0-or-later
// The command lines of the programs: --help and --version for all, a clear message and exit
// status 2 for anything they do not take, before any window opens.
#pragma once

#include "common/version.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace velmora {

inline const QString kVersion = QStringLiteral(VELMORA_VERSION);

// Reads `arguments` (commandLineArguments: file names kept byte for byte) with `parser`, to which
// the program has added its own options; --help and --version are added here. Returns the exit
// status when the program should end now: 0 after printing the help or "NAME VERSION" on standard
// output (1 when that could not be written), 2 after printing what was wrong on standard error.
// Needs the QCoreApplication, whose name the texts use.
std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const QString& usage = {});

// The options that velmora and velmora-report both take, with the one help text each.
QCommandLineOption databaseOption();
QCommandLineOption dailyValuesOption();

// A standard stream the program was started without (closed) is held by /dev/null, read-only:
// otherwise the first file or descriptor the process opens would take its number, and output
// meant for it would go there. Writing to it then fails with "Bad file descriptor", as it
// should. Call first thing in main().
void reserveStandardStreams();

// Prints "NAME: message" on standard error, then `usage` or else a pointer to --help; returns 2.
int usageError(const QString& message, const QString& usage = {});

}  // namespace velmora
