// SPDX-License-Identifier: GPL-3.0-or-later
// XML read with expat: bytes fed in chunks, a handler told of each element's start and end and of
// its text as UTF-8 views (no text object per token: a national table's sheet has millions of
// them), and every fault, expat's or a handler's, a Fault naming the file and the place.
//
// What the builder reads comes from outside, so the parser takes no more than the elements: an
// entity declaration (<!ENTITY ...>, how a few bytes grow into gigabytes) is refused and nothing
// outside the document is ever loaded; a document type declaration without entities reads. Read
// are UTF-8 (with or without a byte order mark), UTF-16, US-ASCII, windows-1252 and ISO-8859-1
// (under the names xmlEncodingNamed knows), the last taken as windows-1252 as web browsers take
// it: files that declare it mean that.
#pragma once

#include <QString>

#include <exception>
#include <string_view>

#include "tools/formats/inputfile.h"

struct XML_ParserStruct;

namespace velmora::mkdb {

// A text expat hands over, as a view. Names and values are mostly a few bytes long, for which
// this loop is faster than a call to strlen, and a sheet has millions of them.
inline std::string_view xmlView(const char* text) {
    const char* end = text;
    while (*end) ++end;
    return {text, std::size_t(end - text)};
}

// The attributes of a start tag, each name as written (prefix included).
class XmlAttributes {
  public:
    explicit XmlAttributes(const char** pairs) : pairs_(pairs) {}
    // The value of the attribute named `name`; empty when the tag has none.
    std::string_view value(std::string_view name) const {
        for (const char** a = pairs_; *a; a += 2)
            if (isNamed(a[0], name)) return xmlView(a[1]);
        return {};
    }
    // Calls `f(name, value)` for each attribute in the tag's order.
    template <typename F>
    void forEach(F&& f) const {
        for (const char** a = pairs_; *a; a += 2) f(xmlView(a[0]), xmlView(a[1]));
    }

  private:
    // Whether `text` is `name`, read no further than its end.
    static bool isNamed(const char* text, std::string_view name) {
        for (const char c : name)
            if (*text++ != c) return false;
        return *text == 0;
    }
    const char** pairs_;  // name, value, name, value, ..., null
};

// "row" of "x:row" and of "row": names are compared without their namespace prefix.
inline std::string_view localName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

class ExpatParser;

// The encodings the builder reads in XML, by the names a declaration may give them (case
// ignored): every reader of XML decides by this one list.
enum class XmlEncoding { Utf8, Utf16, Cp1252, Unknown };
XmlEncoding xmlEncodingNamed(std::string_view name);

// The XML declaration at the start of `head` (after any byte order mark).
struct XmlDeclaration {
    std::size_t end = 0;         // past its "?>"; 0 when `head` starts with none
    bool wellFormed = true;      // version, encoding and standalone as XML writes them
    std::string_view encoding;   // the name as written; empty when none is named
    std::size_t encodingAt = 0;  // where "encoding" stands in `head`
};
// Nothing beyond `head` is looked at: a declaration that does not end in it has `end` 0.
XmlDeclaration readXmlDeclaration(std::string_view head);

// What a document is read into. A handler may throw Fault (through parser().fault()) to end
// the reading, or suspend it (parser().suspend()) to hand what it has to its caller. The views are
// valid during the call only; text comes in pieces (line by line, around references), so a
// handler that keeps an element's text gathers them.
class XmlHandler {
  public:
    virtual void startElement(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void text(std::string_view utf8) = 0;

  protected:
    XmlHandler() = default;
    ~XmlHandler() = default;
    XmlHandler(const XmlHandler&) = delete;
    XmlHandler& operator=(const XmlHandler&) = delete;
    // The parser reading into this handler; only while one does.
    ExpatParser& parser() const { return *parser_; }
    // Throws parser().fault(what): a fault at the event at hand.
    [[noreturn]] void fail(const QString& what) const;

  private:
    friend class ExpatParser;
    ExpatParser* parser_ = nullptr;
};

class ExpatParser {
  public:
    // Reads into `handler`. Faults read "FILE:LINE:COLUMN: LABEL: what", or without the label
    // when it is empty.
    ExpatParser(XmlHandler& handler, const QString& file, const QString& label = {});
    ~ExpatParser();
    ExpatParser(const ExpatParser&) = delete;
    ExpatParser& operator=(const ExpatParser&) = delete;

    enum class Status {
        More,       // every byte given is read: feed the next ones
        Suspended,  // a handler suspended the reading: resume() reads on
        Done,       // the last bytes are read and the document is whole
    };
    // Reads `bytes`; `last` when the document ends with them. Throws Fault: XML that is not
    // well-formed, a refused declaration, an unknown encoding, a handler's fault.
    Status feed(std::string_view bytes, bool last);
    // Reads on after a suspension, the bytes fed so far first. Throws Fault.
    Status resume();
    // Reads on until a handler suspends the reading (true) or the document is read (false):
    // resumes, or calls `more()`, which feeds the next bytes (feed(), or buffer() and parse()) and
    // returns their status. Throws Fault.
    template <typename More>
    bool advance(More&& more) {
        for (;;) {
            if (status_ == Status::Done) return false;
            status_ = status_ == Status::Suspended ? resume() : more();
            if (status_ == Status::Suspended) return true;
        }
    }

    // For a handler: stops the reading after the current event, keeping the rest for resume().
    void suspend();
    // For a handler: whether text() is called (it is by default). A handler that keeps the text
    // of a few elements only spares the calls for the rest, the line ends between tags among them.
    void takeText(bool take);
    // Where the event at hand starts (from 1, columns in characters); after a fault in the XML,
    // where it is.
    qsizetype line() const;
    qsizetype column() const;
    // A fault at that place, named as the constructor says.
    Fault fault(const QString& what) const;
    const QString& file() const { return file_; }

  private:
    struct Calls;
    Status finish(int status);

    XML_ParserStruct* parser_;
    XmlHandler& handler_;
    QString file_, label_;
    std::exception_ptr caught_;     // a handler's, thrown again once expat has returned
    QString unknownEncoding_;       // the name expat could not read, for the message
    Status status_ = Status::More;  // advance()'s
    bool started_ = false, last_ = false;
};

inline void XmlHandler::fail(const QString& what) const {
    throw parser_->fault(what);
}

}  // namespace velmora::mkdb
