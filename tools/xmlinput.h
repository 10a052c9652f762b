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
//
// A large file of many records can be parsed by several parsers side by side: the filter cuts
// what it gives at the first start tag of a record (in text, not in markup) at or after every
// xmlPieceBytes, and every parser takes every block. Each reads the head (what stands before the
// first record) and then its share of the pieces in turn (of two parsers, the first the even
// ones), with kCutMark after each piece it ends. Lines are counted as in the whole file: the other
// parsers' pieces are counted as they are passed over.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/expatparser.h"
#include "tools/inputfile.h"
#include "tools/producerqueue.h"

namespace velmora::mkdb {

// The encoding an XML declaration names: its text from "<?xml" to before "?>", after a byte
// order mark (which decides) or none.
struct DeclaredEncoding {
    enum Encoding { Utf8, Cp1252, Unknown } encoding = Utf8;
    QByteArray name;    // as written; empty when none is named
    qsizetype at = -1;  // where "encoding" stands in the declaration
};
DeclaredEncoding declaredEncoding(QByteArrayView declaration, bool bom);

// The size of the pieces a file read by several parsers is cut into (tests make it small).
inline std::uint64_t xmlPieceBytes = std::uint64_t(1) << 20;

// A file read, decoded and filtered on a thread of its own, for one parser or, cut into pieces
// at the start tags of `record` (case ignored; none: not cut), for several.
class XmlFilter {
  public:
    // Opens `path`; throws Fault.
    explicit XmlFilter(const QString& path, std::string_view record = {},
                       std::size_t consumers = 1);
    // Reads `bytes` instead, for tests and fuzz targets; they must outlive the reads.
    XmlFilter(QByteArrayView bytes, const QString& name, std::string_view record = {},
              std::size_t consumers = 1);

    // What the filter hands to the parser.
    struct Block {
        std::string bytes;
        std::vector<std::size_t> cuts;  // where in `bytes` pieces start
        std::uint64_t done = 0;         // how much of the file was read for them
        bool empty() const { return bytes.empty(); }
        void clear() {
            bytes.clear();
            cuts.clear();
        }
    };
    // The consumer's next block; null after the last, or once stopped. Throws Fault.
    const Block* next(std::size_t consumer = 0) { return blocks_->next(consumer); }
    // Whether it runs on a thread of its own.
    bool threaded() const { return blocks_->threaded(); }
    // Stops filtering: every consumer gets no more blocks.
    void stop() { blocks_->stop(); }
    int consumers() const { return int(blocks_->consumers()); }

    const QString& name() const { return in_.name(); }
    std::uint64_t size() const { return in_.size(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return repaired_; }

  private:
    void start(std::size_t consumers);
    // On the filter's thread: the next bytes through the filter; false once the input's end is
    // among them.
    bool filter(Block& block);
    void filterAvailable(std::string& out);
    enum class Encoding { Utf8, Cp1252 };
    enum class State { Text, Tag, Comment, CData, Instruction, Declaration };
    bool cutsAt(const char* p, const char* end) const;
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
    // Cutting into pieces: the records' name, bytes filtered into blocks handed over, where the
    // next cut may be, the block being filled, and whether a record's start tag waits for more
    // bytes.
    std::string_view record_;
    std::uint64_t filteredBefore_ = 0, nextCut_ = 0;
    Block* filling_ = nullptr;
    bool awaitCut_ = false;
    std::optional<ProducerQueue<Block>> blocks_;  // last: its thread stops before the rest goes
};

class XmlInput {
  public:
    // Opens `path` to be read into `handler`; throws Fault.
    XmlInput(const QString& path, XmlHandler& handler);
    // Reads `bytes` instead, for tests and fuzz targets; they must outlive the reads.
    XmlInput(QByteArrayView bytes, const QString& name, XmlHandler& handler);
    // One of the parsers of a file cut into pieces, one a consumer of `filter`: of every
    // consumers() pieces, the one of `parity` (from 0).
    XmlInput(XmlFilter& filter, int parity, XmlHandler& handler);

    // Reads on until the handler suspends the reading (true) or the document ends (false). A fault
    // in the XML, or the handler's, is thrown as Fault.
    bool advance();

    // A fault at the parser's place: FILE:LINE:COLUMN: what.
    Fault fault(const QString& what) const { return parser_.fault(what); }
    // The line of the event at hand in the file, or where the parser stopped.
    qsizetype line() const { return parser_.line() + passedLines_; }
    // Read in pieces: how many marks of a piece's end were fed.
    int marks() const { return marks_; }

    const QString& name() const { return filter_.name(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return filter_.repaired(); }

  private:
    // What feedPiece() hands the parser next of a block: bytes, a mark, or bytes of another
    // parser's piece passed over (only their lines counted).
    struct Segment {
        std::size_t from, size;
        enum class Kind { Own, Mark, Passed } kind;
    };
    ExpatParser::Status feed();
    ExpatParser::Status feedPiece();
    bool owns(int piece) const { return piece < 0 || piece % parsers_ == parity_; }
    void segment(std::size_t from, std::size_t to);
    void passOver(std::string_view bytes);

    std::unique_ptr<XmlFilter> own_;  // the filter of a parser reading the whole file
    XmlFilter& filter_;
    ExpatParser parser_;
    // Reading pieces: which, the piece at hand (-1: the head), the block and its segments, the
    // lines passed over, the last byte passed over, the marks fed.
    int parity_ = -1, parsers_ = 1;
    int piece_ = -1;
    const XmlFilter::Block* block_ = nullptr;
    std::vector<Segment> segments_;
    std::size_t nextSegment_ = 0;
    qsizetype passedLines_ = 0;
    char lastPassed_ = 0;
    int marks_ = 0;
    bool inputEnded_ = false, finished_ = false;
};

}  // namespace velmora::mkdb
