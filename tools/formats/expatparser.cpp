// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/expatparser.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"

#include <expat.h>

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstring>

namespace velmora::mkdb {

using namespace Qt::StringLiterals;

XmlEncoding xmlEncodingNamed(std::string_view name) {
    static constexpr std::array<std::string_view, 3> kUtf8{"utf-8", "utf8", "us-ascii"};
    // ISO-8859-1 and its kin too: files that declare it mean code page 1252, as web browsers
    // take them (and expat would read 0x80 to 0x9F as control characters).
    static constexpr std::array<std::string_view, 8> kCp1252{
        "windows-1252", "cp1252", "x-cp1252",  "iso-8859-1",
        "latin1",       "l1",     "iso8859-1", "iso_8859-1"};
    const auto among = [&](const auto& names) {
        return std::any_of(names.begin(), names.end(),
                           [&](std::string_view known) { return sameName(name, known); });
    };
    if (among(kUtf8)) return XmlEncoding::Utf8;
    if (sameName(name, "utf-16")) return XmlEncoding::Utf16;
    if (among(kCp1252)) return XmlEncoding::Cp1252;
    return XmlEncoding::Unknown;
}

XmlDeclaration readXmlDeclaration(std::string_view head) {
    XmlDeclaration d;
    if (!head.starts_with("<?xml") || head.size() < 6 || !std::strchr(" \t\r\n", head[5])) return d;
    const std::size_t close = head.find("?>");
    if (close == std::string_view::npos) return d;
    d.end = close + 2;
    // XML 1.0's XMLDecl: a version, then an encoding and a standalone, each optional, in order;
    // (?:S) stands for its white space.
    static const QRegularExpression grammar(
        QStringLiteral("^<\\?xml(?:S)+version(?:S)*=(?:S)*(['\"])1\\.[0-9]+\\1"
                       "((?:S)+(encoding)(?:S)*=(?:S)*(['\"])([A-Za-z][A-Za-z0-9._-]*)\\4)?"
                       "((?:S)+standalone(?:S)*=(?:S)*(['\"])(yes|no)\\7)?(?:S)*\\?>$")
            .replace(QStringLiteral("(?:S)"), QStringLiteral("[ \\t\\r\\n]")));
    const QRegularExpressionMatch m = grammar.match(QLatin1StringView(head.substr(0, d.end)));
    d.wellFormed = m.hasMatch();
    if (d.wellFormed && m.capturedLength(5) > 0) {
        d.encoding = head.substr(std::size_t(m.capturedStart(5)), std::size_t(m.capturedLength(5)));
        d.encodingAt = std::size_t(m.capturedStart(3));
    }
    return d;
}

// expat's callbacks, each handing on to the handler. An exception must not pass through expat's C
// frames: it is kept, expat is stopped, and feed() throws it once expat has returned.
struct ExpatParser::Calls {
    template <typename F>
    static void guarded(void* data, F&& call) {
        auto& self = *static_cast<ExpatParser*>(data);
        if (self.caught_) return;  // events expat still delivers after a stop
        try {
            call(self);
        } catch (...) {
            self.caught_ = std::current_exception();
            XML_StopParser(self.parser_, XML_FALSE);
        }
    }
    static void start(void* data, const XML_Char* name, const XML_Char** attributes) {
        guarded(data, [&](ExpatParser& self) {
            self.handler_.startElement(xmlView(name), XmlAttributes(attributes));
        });
    }
    static void end(void* data, const XML_Char* name) {
        guarded(data, [&](ExpatParser& self) { self.handler_.endElement(xmlView(name)); });
    }
    static void text(void* data, const XML_Char* text, int length) {
        guarded(data, [&](ExpatParser& self) {
            self.handler_.text(std::string_view(text, std::size_t(length)));
        });
    }
    static void entityDeclaration(void* data, const XML_Char* name, int, const XML_Char*, int,
                                  const XML_Char*, const XML_Char*, const XML_Char*,
                                  const XML_Char*) {
        guarded(data, [&](ExpatParser& self) {
            throw self.fault(QStringLiteral("entity declaration %1 refused: entities are not read")
                                 .arg(quoted(xmlView(name))));
        });
    }
    // An entity a document type declared outside the document, which is not read.
    static void skippedEntity(void* data, const XML_Char* name, int) {
        guarded(data, [&](ExpatParser& self) {
            throw self.fault(QStringLiteral("entity %1 is not defined").arg(quoted(xmlView(name))));
        });
    }
    static int unknownEncoding(void* data, const XML_Char* name, XML_Encoding* info) {
        auto& self = *static_cast<ExpatParser*>(data);
        if (xmlEncodingNamed(xmlView(name)) != XmlEncoding::Cp1252) {
            self.unknownEncoding_ = QString::fromUtf8(name);
            return XML_STATUS_ERROR;
        }
        for (int byte = 0; byte < 256; ++byte) {
            const char16_t c = cp1252Char(static_cast<unsigned char>(byte));
            info->map[byte] = byte < 0x80 ? byte : c != 0 ? int(c) : -1;
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }
};

ExpatParser::ExpatParser(XmlHandler& handler, const QString& file, const QString& label)
    : parser_(XML_ParserCreate(nullptr)), handler_(handler), file_(file), label_(label) {
    if (!parser_) throw std::bad_alloc();
    handler.parser_ = this;
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, Calls::start, Calls::end);
    XML_SetCharacterDataHandler(parser_, Calls::text);
    XML_SetEntityDeclHandler(parser_, Calls::entityDeclaration);
    XML_SetSkippedEntityHandler(parser_, Calls::skippedEntity);
    XML_SetUnknownEncodingHandler(parser_, Calls::unknownEncoding, this);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
}

ExpatParser::~ExpatParser() {
    handler_.parser_ = nullptr;
    XML_ParserFree(parser_);
}

ExpatParser::Status ExpatParser::feed(std::string_view bytes, bool last) {
    last_ = last;
    if (bytes.empty())
        // XML_ParseBuffer refuses to run without a buffer: the end of an empty file would read
        // as a misuse of expat instead of as what the file is.
        return finish(XML_Parse(parser_, "", 0, last));
    if (!started_) {
        started_ = true;
        // A name expat does not know itself ("utf8", "cp1252", ISO-8859-1 taken as code page
        // 1252) is given as one it reads so.
        const XmlDeclaration declared = readXmlDeclaration(bytes);
        if (!declared.encoding.empty()) {
            const XmlEncoding encoding = xmlEncodingNamed(declared.encoding);
            if (encoding == XmlEncoding::Cp1252) XML_SetEncoding(parser_, "windows-1252");
            if (encoding == XmlEncoding::Utf8 && !sameName(declared.encoding, "utf-8") &&
                !sameName(declared.encoding, "us-ascii"))
                XML_SetEncoding(parser_, "UTF-8");
        }
    }
    void* room = XML_GetBuffer(parser_, int(bytes.size()));
    if (!room)
        throw fault(
            QStringLiteral("cannot parse: %1").arg(XML_ErrorString(XML_GetErrorCode(parser_))));
    std::copy(bytes.begin(), bytes.end(), static_cast<char*>(room));
    return finish(XML_ParseBuffer(parser_, int(bytes.size()), last));
}

ExpatParser::Status ExpatParser::resume() {
    return finish(XML_ResumeParser(parser_));
}

void ExpatParser::suspend() {
    XML_ParsingStatus status;
    XML_GetParsingStatus(parser_, &status);
    if (status.parsing == XML_PARSING) XML_StopParser(parser_, XML_TRUE);
}

void ExpatParser::takeText(bool take) {
    XML_SetCharacterDataHandler(parser_, take ? Calls::text : nullptr);
}

ExpatParser::Status ExpatParser::finish(int status) {
    if (caught_) std::rethrow_exception(std::exchange(caught_, nullptr));
    if (status == XML_STATUS_SUSPENDED) return Status::Suspended;
    if (status == XML_STATUS_OK) return last_ ? Status::Done : Status::More;
    const XML_Error error = XML_GetErrorCode(parser_);
    if (error == XML_ERROR_UNKNOWN_ENCODING && !unknownEncoding_.isEmpty())
        throw fault(QStringLiteral("unknown encoding \"%1\": UTF-8, UTF-16, windows-1252 and "
                                   "ISO-8859-1 are read")
                        .arg(printable(unknownEncoding_)));
    // What expat says of a document cut short names no cause.
    if (last_ && (error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN ||
                  error == XML_ERROR_PARTIAL_CHAR || error == XML_ERROR_UNCLOSED_CDATA_SECTION))
        throw fault(QStringLiteral("the %1 ends inside the XML document")
                        .arg(label_.isEmpty() ? u"file"_s : u"part"_s));
    throw fault(QStringLiteral("not well-formed XML: %1").arg(XML_ErrorString(error)));
}

// expat 2.9 gives positions as 64-bit numbers and deprecates the calls that give XML_Size; older
// releases have only those.
qsizetype ExpatParser::line() const {
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 9)
    return qsizetype(XML_GetCurrentLineNumber64(parser_));
#else
    return qsizetype(XML_GetCurrentLineNumber(parser_));
#endif
}

qsizetype ExpatParser::column() const {
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 9)
    return qsizetype(XML_GetCurrentColumnNumber64(parser_)) + 1;
#else
    return qsizetype(XML_GetCurrentColumnNumber(parser_)) + 1;
#endif
}

Fault ExpatParser::fault(const QString& what) const {
    return Fault{{file_, line(), column(), label_.isEmpty() ? what : label_ + u": "_s + what}};
}

}  // namespace velmora::mkdb
