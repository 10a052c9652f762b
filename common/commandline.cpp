// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/commandline.h"

#include "common/outsidetext.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

QString programName() {
    return QFileInfo(QCoreApplication::arguments().value(0)).fileName();
}

// Standard output after the help or the version: a full disk or a closed output must not pass
// for a text written.
std::optional<int> written() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write: %s\n", qUtf8Printable(programName()),
                 std::strerror(error));
    return 1;
}

}  // namespace

std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const QString& usage) {
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
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return written();
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return written();
    }
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
        QStringLiteral("Give Percent Daily Values of the FDA's Daily Values of YEAR: 1993, "
                       "those of the labels of the 1990s (the default), or 2016, those of "
                       "today's labels."),
        QStringLiteral("YEAR"));
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

}  // namespace velmora
