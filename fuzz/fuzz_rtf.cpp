// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader on any bytes: no more characters shown than bytes read, no format Qt refuses.
// The corpus's 20,000 formatting runs time out if reading turns quadratic, and raise the limit.
#include "fuzzcheck.h"
#include "help/rtfreader.h"

void fuzzOne(QByteArrayView input) {
    QTextDocument doc;
    readRtf(input, doc);
    FUZZ_REQUIRE(doc.toPlainText().size() <= input.size());
    for (const QTextFormat& f : doc.allFormats())
        FUZZ_REQUIRE((!f.hasProperty(QTextFormat::FontPointSize) ||
                      f.doubleProperty(QTextFormat::FontPointSize) >= 1) &&
                     (!f.hasProperty(QTextFormat::ForegroundBrush) ||
                      f.brushProperty(QTextFormat::ForegroundBrush).color().isValid()));
}
