// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report: the nutrient reports of foods on standard output.
#include "cli/reportcommand.h"
#include "common/commandline.h"
#include "common/outsidetext.h"
#include "common/utf8locale.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    velmora::reserveStandardStreams();
    const QString locale = velmora::chooseUtf8Locale();
    QCoreApplication app(argc, argv);
    velmora::useRequestedLocale(locale);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-report"));
    QCoreApplication::setApplicationVersion(velmora::kVersion);
    const auto request = velmora::readReportCommandLine(velmora::commandLineArguments(argc, argv));
    if (const int* status = std::get_if<int>(&request)) return *status;

    const velmora::ReportOutput result =
        velmora::runReport(std::get<velmora::ReportRequest>(request));
    const QByteArray err = result.err.toUtf8();
    std::fwrite(err.constData(), 1, static_cast<std::size_t>(err.size()), stderr);
    const QByteArray out = result.out.toUtf8();
    // A full disk or a closed pipe must not pass for a report written.
    if (std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout) !=
            static_cast<std::size_t>(out.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "velmora-report: cannot write the report: %s\n", std::strerror(errno));
        return velmora::kExitTableError;
    }
    return result.status;
}
