// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/expatparser.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"

#include <expat.h>

#include <algorithm>
#include <array>

namespace velmora::mkdb {

using namespace Qt::StringLiterals;

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (x >= 'A' && x <= 'Z' ? x | 0x20 : x) == (y >= 'A' && y <= 'Z' ? y | 0x20 : y);
    });
}

// The names code page 1252 goes by; "latin1" and its kin too, since expat knows only the exact
// "ISO-8859-1" itself.
bool isCp1252(std::string_view name) {
    static constexpr std::array<std::string_view, 7> kNames{
        "windows-1252", "cp1252", "x-cp1252", "latin1", "l1", "iso8859-1", "iso_8859-1"};
    return std::any_of(kNames.begin(), kNames.end(),
                       [&](std::string_view known) { return sameName(name, known); });
}

// The encoding the XML declaration at the start of `head` names; empty when there is none.
std::string_view declaredEncoding(std::string_view head) {
    if (!head.starts_with("<?xml")) return {};
    head = head.substr(0, head.find("?>"));
    std::size_t at = head.find("encoding");
    if (at == std::string_view::npos) return {};
    at = head.find_first_of("\"'", at);
    const std::size_t end = at == std::string_view::npos ? at : head.find(head[at], at + 1);
    return end == std::string_view::npos ? std::string_view() : head.substr(at + 1, end - at - 1);
}

}  // namespace

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
    static void instruction(void* data, const XML_Char* target, const XML_Char*) {
        guarded(data, [&](ExpatParser& self) { self.handler_.instruction(xmlView(target)); });
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
                                 .arg(quotedName(name)));
        });
    }
    // An entity a document type declared outside the document, which is not read.
    static void skippedEntity(void* data, const XML_Char* name, int) {
        guarded(data, [&](ExpatParser& self) {
            throw self.fault(QStringLiteral("entity %1 is not defined").arg(quotedName(name)));
        });
    }
    static int unknownEncoding(void* data, const XML_Char* name, XML_Encoding* info) {
        auto& self = *static_cast<ExpatParser*>(data);
        if (!isCp1252(name)) {
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
    static QString quotedName(const XML_Char* name) {
        return u'"' + printable(QString::fromUtf8(name)) + u'"';
    }
};

ExpatParser::ExpatParser(XmlHandler& handler, const QString& file, const QString& label)
    : parser_(XML_ParserCreate(nullptr)), handler_(handler), file_(file), label_(label) {
    if (!parser_) throw std::bad_alloc();
    handler.parser_ = this;
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, Calls::start, Calls::end);
    XML_SetCharacterDataHandler(parser_, Calls::text);
    XML_SetProcessingInstructionHandler(parser_, Calls::instruction);
    XML_SetEntityDeclHandler(parser_, Calls::entityDeclaration);
    XML_SetSkippedEntityHandler(parser_, Calls::skippedEntity);
    XML_SetUnknownEncodingHandler(parser_, Calls::unknownEncoding, this);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
}

ExpatParser::~ExpatParser() {
    handler_.parser_ = nullptr;
    XML_ParserFree(parser_);
}

char* ExpatParser::buffer(qsizetype size) {
    room_ = static_cast<char*>(XML_GetBuffer(parser_, int(size)));
    if (!room_)
        throw fault(
            QStringLiteral("cannot parse: %1").arg(XML_ErrorString(XML_GetErrorCode(parser_))));
    return room_;
}

ExpatParser::Status ExpatParser::parse(qsizetype count, bool last) {
    if (!started_) {
        // expat would read ISO-8859-1 as such, 0x80 to 0x9F as control characters.
        started_ = true;
        if (room_ &&
            sameName(declaredEncoding(std::string_view(room_, std::size_t(count))), "iso-8859-1"))
            XML_SetEncoding(parser_, "windows-1252");
    }
    last_ = last;
    return finish(XML_ParseBuffer(parser_, int(count), last));
}

ExpatParser::Status ExpatParser::feed(std::string_view bytes, bool last) {
    if (bytes.empty()) {
        // XML_ParseBuffer refuses to run without a buffer: the end of an empty file would read
        // as a misuse of expat instead of as what the file is.
        last_ = last;
        return finish(XML_Parse(parser_, "", 0, last));
    }
    std::copy(bytes.begin(), bytes.end(), buffer(qsizetype(bytes.size())));
    return parse(qsizetype(bytes.size()), last);
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
