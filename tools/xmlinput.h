// SPDX-License-Identifier: GPL-3.0-or-later
// An XML file for QXmlStreamReader, read through InputFile's fixed buffer: in UTF-8 (a byte order
// mark skipped) or in the code page its declaration names (windows-1252, ISO-8859-1), handed to
// the reader as UTF-8.
//
// Agencies' files are not always well-formed: one Ciqual release writes food names such as
// "Shandy, prepacked (<1° alcohol)" and "lettuce & tomato" unescaped. Such a file is read as it
// was meant: inside an element's text, a "&" that begins no entity reference and a "<" that
// begins no tag stand for themselves, and repaired() counts them. XML broken in any other way is
// refused: every fault is a Fault naming the file and its line.
#pragma once

#include <QXmlStreamReader>

#include "tools/inputfile.h"

namespace velmora::mkdb {

class XmlInput {
  public:
    // Opens `path`; throws Fault.
    explicit XmlInput(const QString& path);
    // Reads `bytes` instead, for fuzz targets; they must outlive the reads.
    XmlInput(QByteArrayView bytes, const QString& name);

    // The next token, never Invalid: a fault in the XML is thrown as Fault.
    QXmlStreamReader::TokenType next();
    const QXmlStreamReader& xml() const { return xml_; }

    // A fault at the reader's place: FILE:LINE:COLUMN: what.
    Fault fault(const QString& what) const;

    const QString& name() const { return in_.name(); }
    // How many "&" and "<" were read as characters.
    qsizetype repaired() const { return repaired_; }

  private:
    enum class Encoding { Utf8, Cp1252 };
    enum class State { Text, Tag, Comment, CData, Instruction, Declaration };
    bool feed();
    void readDeclaration();
    // How many bytes from `p` make one unit the filter must see whole; 0 when the input at hand
    // ends before it does.
    const char* copyPlainRun(const char* p, const char* end, QByteArray& out);
    qsizetype copyText(const char* p, const char* end, QByteArray& out);
    qsizetype copyMarkup(const char* p, const char* end, QByteArray& out);
    void copyCharacter(const char* p, qsizetype length, QByteArray& out);
    qsizetype characterLength(const char* p, const char* end) const;
    [[noreturn]] void failAt(const char* p, const QString& what) const;

    InputFile in_;
    QXmlStreamReader xml_;
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
    qsizetype repaired_ = 0;
};

}  // namespace velmora::mkdb
