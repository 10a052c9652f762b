// SPDX-License-Identifier: GPL-3.0-or-later
// An XML file such as Ciqual's parsed by expat into an XmlHandler, read through InputFile's fixed
// buffer: in UTF-8 (a byte order mark skipped) or in the code page its declaration names
// (windows-1252, ISO-8859-1), handed to the parser as UTF-8.
//
// Agencies' files are not always well-formed: one Ciqual release writes food names such as
// "Shandy, prepacked (<1° alcohol)" and "lettuce & tomato" unescaped. Such a file is read as it
// was meant: inside an element's text, a "&" that begins no entity reference and a "<" that
// begins no tag stand for themselves, and repaired() counts them. XML broken in any other way is
// refused: every fault is a Fault naming the file and its line.
#pragma once

#include <optional>
#include <string>

#include "tools/formats/expatparser.h"
#include "tools/formats/inputfile.h"

namespace velmora::mkdb {

// The file's bytes as the parser takes them: decoded, repaired, the declaration left out.
class XmlFilter {
  public:
    // Opens `path`; throws Fault.
    explicit XmlFilter(const QString& path);
    // Reads `bytes` instead, for tests and fuzz targets; they must outlive the reads.
    XmlFilter(QByteArrayView bytes, const QString& name);

    // The next bytes for the parser, in `out` (emptied first); false once the input's end is
    // among them. Throws Fault.
    bool next(std::string& out);

    const QString& name() const { return in_.name(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return repaired_; }

  private:
    enum class Encoding { Utf8, Cp1252 };
    enum class State { Text, Tag, Comment, CData, Instruction, Declaration };
    void readDeclaration();
    void filterAvailable(std::string& out);
    const char* skipPlain(const char* p, const char* end) const;
    const char* copyPlainRun(const char* p, const char* end, std::string& out);
    qsizetype copyText(const char* p, const char* end, std::string& out);
    qsizetype copyMarkup(const char* p, const char* end, std::string& out);
    qsizetype endMarkup(qsizetype length);
    bool declarationEnds(char c);
    void forget() { recent_[0] = recent_[1] = recent_[2] = 0; }
    void copyCharacter(const char* p, qsizetype length, std::string& out);
    qsizetype characterLength(const char* p, const char* end) const;
    [[noreturn]] void failAt(const char* p, const QString& what) const;

    InputFile in_;
    std::string head_;  // what the declaration leaves, handed to the parser first
    Encoding encoding_ = Encoding::Utf8;
    State state_ = State::Text;
    bool ended_ = false;               // the whole file is in the buffer
    bool inputEnds_ = false;           // and what is filtered now ends with it
    const char* lineStart_ = nullptr;  // in the buffer: where column_ is counted from
    char quote_ = 0;                   // the quote a literal is open with (in a tag, a DOCTYPE)
    char recent_[3] = {};              // the last bytes of markup, for where it ends
    // In a <!DOCTYPE ...>: whether its internal subset is open, and what stands there now (a
    // comment or a processing instruction, whose brackets and quotes are no markup).
    bool subset_ = false;
    State inSubset_ = State::Declaration;
    qsizetype line_ = 1;  // of the next byte the filter reads
    qsizetype column_ = 1;
    qsizetype sinceMarkup_ = 0;  // bytes of text or of one tag: bounded as a record is
    qsizetype repaired_ = 0;
    std::optional<Fault> pending_;  // met after the bytes before it, which the parser reads first
};

// A file read through an XmlFilter into a handler by one expat parser.
class XmlInput {
  public:
    // Opens `path` to be read into `handler`; throws Fault.
    XmlInput(const QString& path, XmlHandler& handler);
    // Reads `bytes` instead, for tests and fuzz targets; they must outlive the reads.
    XmlInput(QByteArrayView bytes, const QString& name, XmlHandler& handler);

    // Reads on until the handler suspends the reading (true) or the document ends (false). A fault
    // in the XML, or the handler's, is thrown as Fault.
    bool advance();

    // A fault at the parser's place: FILE:LINE:COLUMN: what.
    Fault fault(const QString& what) const { return parser_.fault(what); }
    // The line of the event at hand, or where the parser stopped.
    qsizetype line() const { return parser_.line(); }
    const QString& name() const { return filter_.name(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return filter_.repaired(); }

  private:
    XmlFilter filter_;
    ExpatParser parser_;
    std::string bytes_;  // the filter's last bytes, their room kept for the next
    bool ended_ = false;
};

}  // namespace velmora::mkdb
