// SPDX-License-Identifier: GPL-3.0-or-later
// The agencies' XML on any bytes: read to its end, or a fault placed inside the input. A document
// that is well-formed as it stands (valid UTF-8, no declaration) reads the same, with nothing
// repaired.
#include "fuzzcheck.h"
#include "tools/xmlinput.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

using namespace velmora::mkdb;

// The text of every element, and whether the reader got to the end of the document.
template <typename Next>
static std::pair<QString, bool> textOf(Next next) {
    QString text;
    for (;;) {
        const auto [token, piece] = next();
        if (token == QXmlStreamReader::Characters) text += piece;
        if (token == QXmlStreamReader::EndDocument) return {text, true};
        if (token == QXmlStreamReader::Invalid) return {text, false};
    }
}

void fuzzOne(QByteArrayView input) {
    const QByteArray bytes = input.toByteArray();
    QString read;
    qsizetype repaired = 0;
    bool refused = false;
    try {
        XmlInput in(bytes, u"in.xml"_s);
        read = textOf([&] { return std::pair(in.next(), in.xml().text().toString()); }).first;
        repaired = in.repaired();
    } catch (const Fault& fault) {
        const Diagnostic& e = fault.diagnostic;
        // A lone CR counts as a line break too.
        FUZZ_REQUIRE(e.file == u"in.xml"_s && e.line >= 1 &&
                     e.line <= bytes.count('\n') + bytes.count('\r') + 1 && e.column >= 1);
        refused = true;
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    (void)utf8.decode(bytes);
    if (bytes.startsWith("<?xml") || bytes.startsWith("\xEF\xBB\xBF") || utf8.hasError()) return;
    QXmlStreamReader plain(bytes);
    const auto [text, wellFormed] =
        textOf([&] { return std::pair(plain.readNext(), plain.text().toString()); });
    if (wellFormed) FUZZ_REQUIRE(!refused && read == text && repaired == 0);
}
