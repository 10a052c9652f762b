// SPDX-License-Identifier: GPL-3.0-or-later
// The agencies' XML on any bytes: read to its end, or a fault placed inside the input; its records
// <R> read the same way. A document that is well-formed as it stands (valid UTF-8, no declaration,
// no document type) and that Qt's XML reader reads too reads the same, with nothing repaired.
#include "fuzzcheck.h"
#include "tools/formats/xmlfilter.h"
#include "tools/formats/xmlrecords.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

using namespace velmora::mkdb;

namespace {

// The text of every element.
class Text final : public XmlHandler {
  public:
    std::string read;

  private:
    void startElement(std::string_view, const XmlAttributes&) override {}
    void endElement(std::string_view) override {}
    void text(std::string_view utf8) override { read += utf8; }
};

// The records <R> of `bytes`, each field <a> and <b> on a line of the input, or a fault in it.
void readRecords(const QByteArray& bytes) {
    const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
    try {
        XmlRecords<2> in(bytes, u"in.xml"_s, "R", {"a", "b"});
        while (in.next())
            for (std::size_t f = 0; f < 2; ++f)
                FUZZ_REQUIRE(in.fault(f, {}).diagnostic.line <= lines);
    } catch (const Fault& fault) {
        FUZZ_REQUIRE(fault.diagnostic.line >= 1 && fault.diagnostic.line <= lines);
    }
}

}  // namespace

void fuzzOne(QByteArrayView input) {
    const QByteArray bytes = input.toByteArray();
    readRecords(bytes);
    QString read;
    qsizetype repaired = 0;
    bool refused = false;
    try {
        Text handler;
        XmlInput in(bytes, u"in.xml"_s, handler);
        while (in.advance()) {
        }
        read = QString::fromUtf8(handler.read.data(), qsizetype(handler.read.size()));
        repaired = in.repaired();
    } catch (const Fault& fault) {
        const Diagnostic& e = fault.diagnostic;
        // A lone CR counts as a line break too.
        FUZZ_REQUIRE(e.file == u"in.xml"_s && e.line >= 1 &&
                     e.line <= bytes.count('\n') + bytes.count('\r') + 1 && e.column >= 1);
        refused = true;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
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
    // Qt's reader lets names pass that XML does not allow ("~", control characters): only what
    // both read is compared.
    if (!refused) FUZZ_REQUIRE(read == text && repaired == 0);
}
