// SPDX-License-Identifier: GPL-3.0-or-later
// The agencies' XML on any bytes: read to its end, or a fault placed inside the input. A document
// that is well-formed as it stands (valid UTF-8, no declaration, no document type) and that Qt's
// XML reader reads too reads the same, with nothing repaired. Its records <R> read by two or three
// parsers, cut into pieces, are the whole reading's, on the same lines, with the same fault; so
// are they read plain first, expat taking over where the plain reader gives up.
#include "fuzzcheck.h"
#include "tools/plainxml.h"
#include "tools/xmlinput.h"
#include "tools/xmlrecords.h"

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

// The records <R> of `bytes`, their fields <a> and <b> and lines, and the fault if any.
QString records(const QByteArray& bytes, std::uint64_t pieceBytes, bool plain = false) {
    const std::uint64_t usual = std::exchange(xmlPieceBytes, pieceBytes);
    plainXmlFirst = plain;
    QString seen;
    try {
        XmlRecords<2> in(bytes, u"in.xml"_s, "R", {"a", "b"});
        while (in.next())
            seen += in.text(0) + u'|' + in.text(1) + u'@' +
                    QString::number(in.fault(0, {}).diagnostic.line) + u'@' +
                    QString::number(in.fault(1, {}).diagnostic.line) + u'\n';
    } catch (const Fault& fault) {
        seen += fault.diagnostic.toString();
    }
    xmlPieceBytes = usual;
    plainXmlFirst = true;
    return seen;
}

}  // namespace

void fuzzOne(QByteArrayView input) {
    const QByteArray bytes = input.toByteArray();
    const QString whole = records(bytes, std::uint64_t(1) << 40);
    FUZZ_REQUIRE(records(bytes, std::uint64_t(1) << 40, true) == whole);
    for (const int parsers : {2, 3}) {
        sideParsers = parsers;
        FUZZ_REQUIRE(records(bytes, 1) == whole);
    }
    sideParsers = 0;
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
