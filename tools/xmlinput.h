// SPDX-License-Identifier: GPL-3.0-or-later
// An XML file parsed by expat into an XmlHandler, read through InputFile's fixed buffer: in UTF-8
// (a byte order mark skipped) or in the code page its declaration names (windows-1252,
// ISO-8859-1), handed to the parser as UTF-8.
//
// Agencies' files are not always well-formed: one Ciqual release writes food names such as
// "Shandy, prepacked (<1° alcohol)" and "lettuce & tomato" unescaped. Such a file is read as it
// was meant: inside an element's text, a "&" that begins no entity reference and a "<" that
// begins no tag stand for themselves, and repaired() counts them. XML broken in any other way is
// refused: every fault is a Fault naming the file and its line.
//
// The file is read, decoded and filtered on a thread of its own while the parser reads what the
// filter gave before.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "tools/expatparser.h"
#include "tools/inputfile.h"
#include "tools/producerqueue.h"

namespace velmora::mkdb {

class XmlInput {
  public:
    // Opens `path` to be read into `handler`; throws Fault.
    XmlInput(const QString& path, XmlHandler& handler);
    // Reads `bytes` instead, for fuzz targets; they must outlive the reads.
    XmlInput(QByteArrayView bytes, const QString& name, XmlHandler& handler);

    // Reads on until the handler suspends the reading (true) or the document ends (false). A fault
    // in the XML, or the handler's, is thrown as Fault.
    bool advance();

    // A fault at the parser's place: FILE:LINE:COLUMN: what.
    Fault fault(const QString& what) const { return parser_.fault(what); }
    // The line of the event at hand, or where the parser stopped.
    qsizetype line() const { return parser_.line(); }

    const QString& name() const { return in_.name(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return repaired_; }

  private:
    // What the filter hands to the parser.
    struct Filtered {
        std::string bytes;
        std::uint64_t done = 0;  // how much of the file was read for them
        bool empty() const { return bytes.empty(); }
        void clear() { bytes.clear(); }
    };
    // On the filter's thread: the next bytes through the filter; false once the input's end is
    // among them.
    bool filter(Filtered& block);
    void filterAvailable(std::string& out);
    enum class Encoding { Utf8, Cp1252 };
    enum class State { Text, Tag, Comment, CData, Instruction, Declaration };
    ExpatParser::Status feed();
    void readDeclaration();
    // How many bytes from `p` make one unit the filter must see whole; 0 when the input at hand
    // ends before it does.
    const char* skipPlain(const char* p, const char* end) const;
    const char* copyPlainRun(const char* p, const char* end, std::string& out);
    qsizetype copyText(const char* p, const char* end, std::string& out);
    qsizetype copyMarkup(const char* p, const char* end, std::string& out);
    void copyCharacter(const char* p, qsizetype length, std::string& out);
    qsizetype characterLength(const char* p, const char* end) const;
    [[noreturn]] void failAt(const char* p, const QString& what) const;

    InputFile in_;
    ExpatParser parser_;
    std::string out_;  // what the declaration leaves, handed to the parser first
    Encoding encoding_ = Encoding::Utf8;
    State state_ = State::Text;
    bool ended_ = false;               // the whole file is in the buffer
    const char* lineStart_ = nullptr;  // in the buffer: where column_ is counted from
    char quote_ = 0;                   // the quote an attribute value in a tag is open with
    char recent_[2] = {};              // the last two bytes of markup, for where it ends
    int depth_ = 0;                    // brackets open in a <!DOCTYPE ...>
    qsizetype line_ = 1;               // of the next byte the filter reads
    qsizetype column_ = 1;
    qsizetype sinceMarkup_ = 0;  // bytes of text or of one tag: bounded as a record is
    std::atomic<qsizetype> repaired_ = 0;
    std::optional<ProducerQueue<Filtered>> filtered_;  // last: its thread stops before the rest
};

}  // namespace velmora::mkdb
