// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-report: the nutrient reports of foods on standard output.
#include "cli/reportcommand.h"
#include "common/commandline.h"

#include <cstdio>

int main(int argc, char** argv) {
    const velmora::ProgramStart start(argc, argv, QStringLiteral("velmora-report"),
                                      QStringLiteral("velmora-report"));
    const auto request = velmora::readReportCommandLine(start.arguments());
    if (const int* status = std::get_if<int>(&request)) return *status;

    const velmora::ReportOutput result =
        velmora::runReport(std::get<velmora::ReportRequest>(request));
    const QByteArray err = result.err.toUtf8();
    std::fwrite(err.constData(), 1, static_cast<std::size_t>(err.size()), stderr);
    const QByteArray out = result.out.toUtf8();
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    return velmora::outputStatus(result.status);
}
