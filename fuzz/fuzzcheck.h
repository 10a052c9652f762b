// SPDX-License-Identifier: GPL-3.0-or-later
// The driver the fuzz targets share: libFuzzer hands each input to the target's fuzzOne, with a
// Qt GUI application up on the offscreen platform. A broken property (FUZZ_REQUIRE) or a Qt
// warning stops the run with a message, so libFuzzer keeps the input that broke it.
#pragma once

#include <QByteArrayView>
#include <QGuiApplication>
#include <QTextDocument>
#include <QTextFormat>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

// The targets use the program's names unqualified.
namespace velmora {}  // namespace velmora
using namespace velmora;
using namespace Qt::StringLiterals;

#define FUZZ_REQUIRE(c) ((c) ? void() : (std::fputs("failed: " #c "\n", stderr), std::abort()))

void fuzzOne(QByteArrayView input);  // each target's property check

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static QGuiApplication app(argc, *argv);
    std::setlocale(LC_ALL, "C");   // printf and strtod write and read "." in any environment
    QTextDocument(u"x"_s).size();  // fills the font database now, not in the first input
    // From here on a Qt warning is the input's fault.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        std::fprintf(stderr, "Qt: %s\n", qUtf8Printable(message));
        FUZZ_REQUIRE(type == QtDebugMsg || type == QtInfoMsg);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzOne(QByteArrayView(data, qsizetype(size))), 0;
}
