// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/commandline.h"

#include "common/outsidetext.h"
#include "common/utf8locale.h"

#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

QString commandName;  // set by ProgramStart

QString programName() {
    return commandName.isEmpty() ? QFileInfo(QCoreApplication::arguments().value(0)).fileName()
                                 : commandName;
}

// Qt's help names the program by the path it was started by.
QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (text.startsWith(usage + u' ') || text.startsWith(usage + u'\n'))
        text.replace(0, usage.size(), QStringLiteral("Usage: ") + programName());
    return text;
}

QString repeatedOption(const QCommandLineParser& parser, const QStringList& repeatable) {
    QStringList seen;
    for (const QString& name : parser.optionNames()) {
        if (seen.contains(name) && !repeatable.contains(name))
            return QStringLiteral("--%1 is given more than once").arg(name);
        seen << name;
    }
    return {};
}

}  // namespace

ProgramStart::Locale::Locale() {
    reserveStandardStreams();
    requested = chooseUtf8Locale();
}

ProgramStart::ProgramStart(int& argc, char** argv, const QString& command, const QString& name)
    : app_(argc, argv), arguments_(commandLineArguments(argc, argv)) {
    useRequestedLocale(locale_.requested);
    commandName = command;
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(kVersion);
}

std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const QString& usage, const QStringList& repeatable) {
    // Not Qt's own help option: it would offer --help-all for options the programs do not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    // The parser's message quotes the argument it did not take.
    if (!parser.parse(arguments)) return usageError(printable(parser.errorText()), usage);
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(helpText(parser)), stdout);
        return outputStatus();
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return outputStatus();
    }
    if (const QString problem = repeatedOption(parser, repeatable); !problem.isEmpty())
        return usageError(problem, usage);
    return std::nullopt;
}

QCommandLineOption databaseOption() {
    return QCommandLineOption(
        QStringLiteral("database"),
        QStringLiteral("Read the food table PATH instead of Velmora.mdb in the program's folder."),
        QStringLiteral("PATH"));
}

QCommandLineOption dailyValuesOption() {
    return QCommandLineOption(
        QStringLiteral("daily-values"),
        QStringLiteral("Give the percents of RULE's values: 1993, the FDA's Daily Values of the "
                       "labels of the 1990s; 2016, the FDA's of today's US labels; eu, the "
                       "reference intakes of Regulation (EU) No 1169/2011 (also the UK's); ca, "
                       "Canada's Table of Daily Values; anz, the reference values and RDIs of the "
                       "Australia New Zealand Food Standards Code. Without it a table built from "
                       "Ciqual, NEVO, BLS or CoFID takes eu, from CNF ca, from AFCD anz, and any "
                       "other table 1993."),
        QStringLiteral("RULE"));
}

QString emptyFileName(const QCommandLineParser& parser,
                      std::initializer_list<const QCommandLineOption*> options) {
    for (const QCommandLineOption* option : options)
        if (parser.values(*option).contains(QString()))
            return QStringLiteral("--%1: the file name is empty").arg(option->names().constLast());
    return {};
}

void reserveStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // Lands on `fd`, the lowest free one; read-only, so writing there fails as it did.
            const int reserved = ::open("/dev/null", O_RDONLY);
            if (reserved != fd && reserved >= 0) ::close(reserved);
        }
}

int usageError(const QString& message, const QString& usage) {
    const QString name = programName();
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(name), qUtf8Printable(message));
    if (usage.isEmpty())
        std::fprintf(stderr, "Try '%s --help' for more information.\n", qUtf8Printable(name));
    else
        std::fputs(qUtf8Printable(usage), stderr);
    return 2;
}

int outputStatus(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write: %s\n", qUtf8Printable(programName()),
                 std::strerror(error));
    return 1;
}

}  // namespace velmora
