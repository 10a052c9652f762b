// SPDX-License-Identifier: GPL-3.0-or-later
// The command lines of the programs: --help and --version for all, a clear message and exit
// status 2 for anything they do not take, before any window opens.
#pragma once

#include "common/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

#include <initializer_list>
#include <optional>

namespace velmora {

inline const QString kVersion = QStringLiteral(VELMORA_VERSION);

// What each program does first in main(): the standard streams it was started without held
// (reserveStandardStreams), a UTF-8 locale chosen before Qt starts while numbers keep the
// user's, a QCoreApplication named `name` with the version, and the arguments decoded as file
// names are. `command` is what messages and the usage line call the program, whatever path it
// was started by. The window's program ends it before its QApplication exists.
class ProgramStart {
  public:
    ProgramStart(int& argc, char** argv, const QString& command, const QString& name);
    const QStringList& arguments() const { return arguments_; }

  private:
    struct Locale {
        Locale();
        QString requested;
    } locale_;
    QCoreApplication app_;
    QStringList arguments_;
};

// Reads `arguments` (commandLineArguments: file names kept byte for byte) with `parser`, to which
// the program has added its own options; --help and --version are added here. Returns the exit
// status when the program should end now: 0 after printing the help or "NAME VERSION" on standard
// output (1 when that could not be written), 2 after printing what was wrong on standard error
// (an option given twice among it, but for those named in `repeatable`: which of the two was
// meant is not for a program to guess). Needs the QCoreApplication, whose name the texts use.
std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const QString& usage = {}, const QStringList& repeatable = {});

// The options that velmora and velmora-report both take, with the one help text each.
QCommandLineOption databaseOption();
QCommandLineOption dailyValuesOption();

// What is wrong when one of `options` that name a file is given an empty name (which would name
// the current folder, or the root folder once a file name is added), or an empty text.
QString emptyFileName(const QCommandLineParser& parser,
                      std::initializer_list<const QCommandLineOption*> options);

// A standard stream the program was started without (closed) is held by /dev/null, read-only:
// otherwise the first file or descriptor the process opens would take its number, and output
// meant for it would go there. Writing to it then fails with "Bad file descriptor", as it
// should. ProgramStart calls it first.
void reserveStandardStreams();

// Prints "NAME: message" on standard error, then `usage` or else a pointer to --help; returns 2.
int usageError(const QString& message, const QString& usage = {});

// Flushes standard output: `status`, or 1 after "NAME: cannot write: REASON" on standard error,
// since a full disk or a closed output must not pass for output written.
int outputStatus(int status = 0);

}  // namespace velmora
