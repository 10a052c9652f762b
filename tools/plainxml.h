// SPDX-License-Identifier: GPL-3.0-or-later
// The records of an XML file read without expat, for a file in the plainest shape XML has: a
// declaration, a root, and under it elements whose children hold text only, tags with plain
// attributes, no entities but XML's own, no comments, CDATA or instructions. That is most of an
// agency's large file (Ciqual's constituent amounts), and the parse is most of its build: this
// reader takes it at several times expat's speed.
//
// It gives up ("not plain") at the first thing outside that shape or not well-formed, before it
// hands on the record that holds it, and at the end of a file without records; the caller then
// has expat read the file from its start, which gives every message. What it does read is what
// expat reads (into XmlRecords): the same fields, texts and lines.
#pragma once

#include "tools/inputfile.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::mkdb {

// Whether record files are tried with PlainXml first (tests turn it off to compare the two).
inline bool plainXmlFirst = true;

class PlainXml {
  public:
    // What the records are read into. The views are valid during the call only.
    class Sink {
      public:
        // A record's start tag, on `line`.
        virtual void startRecord(qsizetype line) = 0;
        // Field `f`'s text (UTF-8, line ends as LF, blanks kept) and the line of its start tag.
        virtual void field(std::size_t f, std::string_view utf8, qsizetype line) = 0;
        // The record's end tag; false to stop reading after it.
        virtual bool endRecord() = 0;

      protected:
        Sink() = default;
        ~Sink() = default;
    };

    // The records named `record` (case ignored, as their fields) of the file at `path`; throws
    // Fault when it cannot be opened. The names must outlive the reader.
    PlainXml(const QString& path, std::string_view record, std::span<const char* const> fields);
    // Of `bytes` instead, for tests and fuzz targets; they must outlive the reader.
    PlainXml(QByteArrayView bytes, const QString& name, std::string_view record,
             std::span<const char* const> fields);

    enum class Status {
        More,      // the sink asked to stop: read() goes on
        Done,      // the document is read
        NotPlain,  // what follows the records read is for expat
    };
    // Reads records into `sink`; throws Fault only when the file cannot be read.
    Status read(Sink& sink);

  private:
    struct NeedMore {};  // the bytes at hand end inside the unit being read
    struct NotPlain {};
    struct Tag {
        std::string_view name;
        bool empty = false;  // <name/>
    };

    // What unit() read: a unit, a record after which the sink stops, the root's end.
    enum class Unit { Read, Stop, RootEnded };
    void head();
    Unit unit(Sink& sink);
    void epilogue();
    const char* text(const char* p, bool& asWritten);
    const char* reference(const char* p, std::string* out) const;
    const char* name(const char* p) const;
    const char* spaces(const char* p);
    const char* startTag(const char* p, Tag& tag);
    const char* endTag(const char* p, std::string_view name);
    const char* character(const char* p) const;
    void lineEnd(const char* p);
    int fieldOf(std::string_view name) const;
    std::string_view fieldText(const char* from, const char* to, bool asWritten);
    void need(const char* p) const {
        if (p >= end_) throw NeedMore{};
    }

    InputFile in_;
    std::string_view record_;
    std::vector<std::string_view> fields_;
    std::string root_, decoded_;
    const char* base_ = nullptr;  // where the unit being read starts
    const char* end_ = nullptr;   // of the bytes at hand
    qsizetype line_ = 1;          // of the byte being read
    bool cp1252_ = false, eof_ = false, started_ = false;
    qsizetype records_ = 0;
};

}  // namespace velmora::mkdb
