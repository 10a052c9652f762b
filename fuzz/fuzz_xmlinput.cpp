// SPDX-License-Identifier: GPL-3.0-or-later
// The agencies' XML on any bytes: read to its end, or a fault placed inside the input. A document
// that is well-formed as it stands (valid UTF-8, no declaration, no document type) reads the same
// as Qt's XML reader reads it, with nothing repaired.
#include "fuzzcheck.h"
#include "tools/xmlinput.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

using namespace velmora::mkdb;

namespace {

// The text of every element.
class Text final : public XmlHandler {
  public:
    std::string text;

  private:
    void startElement(std::string_view, const XmlAttributes&) override {}
    void endElement(std::string_view) override {}
    void text(std::string_view utf8) override { text += utf8; }
};

}  // namespace

void fuzzOne(QByteArrayView input) {
    const QByteArray bytes = input.toByteArray();
    QString read;
    qsizetype repaired = 0;
    bool refused = false;
    try {
        Text handler;
        XmlInput in(bytes, u"in.xml"_s, handler);
        while (in.advance()) {
        }
        read = QString::fromUtf8(handler.text.data(), qsizetype(handler.text.size()));
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
    if (bytes.startsWith("<?xml") || bytes.startsWith("\xEF\xBB\xBF") ||
        bytes.contains("<!DOCTYPE") || utf8.hasError())
        return;
    QXmlStreamReader plain(bytes);
    QString text;
    for (;;) {
        const QXmlStreamReader::TokenType token = plain.readNext();
        if (token == QXmlStreamReader::Characters) text += plain.text();
        if (token == QXmlStreamReader::Invalid) return;
        if (token == QXmlStreamReader::EndDocument) break;
    }
    FUZZ_REQUIRE(!refused && read == text && repaired == 0);
}
