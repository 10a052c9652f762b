// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/commandline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

QString programName() {
    return QFileInfo(QCoreApplication::arguments().value(0)).fileName();
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
    if (!parser.parse(arguments)) return usageError(parser.errorText(), usage);
    if (!parser.isSet(help) && !parser.isSet(version)) return std::nullopt;
    if (parser.isSet(help))
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
    else
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
    // A full disk or a closed pipe is a failed run, as for any other output.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write: %s\n", qUtf8Printable(programName()),
                     std::strerror(errno));
        return 1;
    }
    return 0;
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
