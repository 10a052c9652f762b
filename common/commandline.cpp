// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/commandline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

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
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
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
