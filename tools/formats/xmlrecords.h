// SPDX-License-Identifier: GPL-3.0-or-later
// The records of an XML file such as Ciqual's: the children of its root of one name, each with
// the text of a few fields, blanks around it removed; names in any case. The texts stay UTF-8: a
// release has a few hundred thousand of them, most of them looked up and dropped. The parser is
// suspended once a batch of records is read, so a batch at a time is kept.
#pragma once

#include "common/utf8text.h"
#include "tools/formats/recordscanner.h"
#include "tools/formats/xmlfilter.h"

#include <QString>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::mkdb {

// `utf8` without the blanks around it, as QString::trimmed() removes them: a no-break space too.
inline void assignTrimmed(std::string& into, std::string_view utf8) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!utf8.empty() && blank(utf8.front())) utf8.remove_prefix(1);
    while (!utf8.empty() && blank(utf8.back())) utf8.remove_suffix(1);
    if (!utf8.empty() && (static_cast<unsigned char>(utf8.front()) >= 0x80 ||
                          static_cast<unsigned char>(utf8.back()) >= 0x80))
        into = fromUtf8(utf8).trimmed().toStdString();
    else
        into.assign(utf8);
}

template <std::size_t N>
class XmlRecords final : public XmlHandler {
  public:
    // Reads the file at `path`; `record` and `fields` must outlive the reader.
    XmlRecords(const QString& path, const char* record, const std::array<const char*, N>& fields)
        : in_(path, *this), record_(record), fields_(views(fields)) {
        parser().takeText(false);  // but inside a field
    }
    // Reads `bytes` named `name` instead; they must outlive the reader.
    XmlRecords(QByteArrayView bytes, const QString& name, const char* record,
               const std::array<const char*, N>& fields)
        : in_(bytes, name, *this), record_(record), fields_(views(fields)) {
        parser().takeText(false);
    }

    // The next record; false at the end of the document. Throws Fault.
    bool next() {
        if (++at_ < count_) return true;
        count_ = at_ = 0;
        while (count_ == 0 && more_) more_ = in_.advance();
        return count_ > 0;
    }

    // The field's text; empty when the record lacks it.
    std::string_view operator[](std::size_t f) const { return current().values[f]; }
    QString text(std::size_t f) const { return fromUtf8(current().values[f]); }
    // The same, refused when it is empty.
    std::string_view required(std::size_t f) const {
        if (current().values[f].empty())
            throw fault(f, QStringLiteral("<%1> without <%2>")
                               .arg(latin1(record_), latin1(fields_[f])));
        return current().values[f];
    }
    // A fault in field `f`, on its line (the record's when it lacks it).
    Fault fault(std::size_t f, const QString& what) const {
        const Record& r = current();
        return Fault{{in_.name(), r.lines[f] > 0 ? r.lines[f] : r.line, 1, what}};
    }
    // Once the records are read: how many "&" and "<" were read as characters.
    qsizetype repaired() const { return in_.repaired(); }
    // Where the parser stopped: a file without records is refused there.
    const XmlInput& input() const { return in_; }

  private:
    // Element names have no blanks: most differ in length, compared first.
    static bool isNamed(std::string_view name, std::string_view known) {
        return name.size() == known.size() && sameName(name, known);
    }
    struct Record {
        std::array<std::string, N> values;
        std::array<qsizetype, N> lines{};  // 0 when it lacks the field
        qsizetype line = 0;
    };
    // Handed over a batch at a time: suspending the parser at each record would cost more than
    // the record's reading.
    static constexpr std::size_t kBatch = 1024;
    const Record& current() const { return records_[at_]; }

    void startElement(std::string_view name, const XmlAttributes&) override {
        if (++depth_ == 2) {
            inRecord_ = isNamed(name, record_);
            if (!inRecord_) return;
            // In the room of the record held there before.
            if (records_.size() == count_) records_.emplace_back();
            Record& r = records_[count_];
            for (std::string& value : r.values) value.clear();
            r.lines.fill(0);
            r.line = in_.line();
        } else if (depth_ == 3 && inRecord_) {
            field_ = -1;
            for (std::size_t f = 0; f < N; ++f)
                if (isNamed(name, fields_[f])) field_ = int(f);
            text_.clear();  // keeps its room for the next field
            if (field_ < 0) return;
            records_[count_].lines[std::size_t(field_)] = in_.line();
            parser().takeText(true);
        }
    }
    // Keeps a field's text at its end, and the record at its own.
    void endElement(std::string_view) override {
        const int depth = depth_--;
        if (depth == 3 && field_ >= 0) {
            assignTrimmed(records_[count_].values[std::size_t(field_)], text_);
            field_ = -1;
            parser().takeText(false);
        }
        if (depth == 2 && inRecord_ && ++count_ == kBatch) parser().suspend();
    }
    void text(std::string_view utf8) override {
        if (depth_ >= 3 && field_ >= 0) text_ += utf8;
    }

    XmlInput in_;
    // The names as views, measured once: they are compared with every element's.
    static std::array<std::string_view, N> views(const std::array<const char*, N>& names) {
        std::array<std::string_view, N> v;
        for (std::size_t f = 0; f < N; ++f) v[f] = names[f];
        return v;
    }
    std::string_view record_;
    std::array<std::string_view, N> fields_;
    std::vector<Record> records_;
    std::size_t count_ = 0, at_ = 0;  // records read into the batch, the one handed out
    bool more_ = true;                // the document has not ended
    std::string text_;
    int depth_ = 0, field_ = -1;
    bool inRecord_ = false;
};

}  // namespace velmora::mkdb
