// SPDX-License-Identifier: GPL-3.0-or-later
// The records of an XML file such as Ciqual's: the children of its root of one name, each with
// the text of a few fields, blanks around it removed; names in any case. The texts stay UTF-8: a
// release has a few hundred thousand of them, most of them looked up and dropped.
//
// The file is parsed on a thread of its own, its records handed over in batches. A large file is
// parsed by several parsers side by side (XmlInput's pieces), the records handed on in the file's
// order. Anything a piece read apart cannot settle (a fault, a piece that does not end between
// records) has the file read whole again from its start, the records handed on skipped: what it
// gives, and every message, is then the whole reading's.
//
// Before all that, PlainXml reads the file, if it is in the plain shape most large files are in;
// where it gives up, expat reads the file as above, the records handed on skipped.
#pragma once

#include "common/utf8text.h"
#include "tools/plainxml.h"
#include "tools/recordscanner.h"
#include "tools/xmlinput.h"

#include <QFileInfo>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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
class XmlRecords {
  public:
    ~XmlRecords() { stopSides(); }
    XmlRecords(const XmlRecords&) = delete;
    XmlRecords& operator=(const XmlRecords&) = delete;

    // Reads the file at `path`; `record` and `fields` must outlive the reader.
    XmlRecords(const QString& path, const char* record, const std::array<const char*, N>& fields)
        : path_(path), record_(record), fields_(fields) {
        start();
    }
    // Reads `bytes` named `name` instead; they must outlive the reader.
    XmlRecords(QByteArrayView bytes, const QString& name, const char* record,
               const std::array<const char*, N>& fields)
        : path_(name), bytes_(bytes), memory_(true), record_(record), fields_(fields) {
        start();
    }

    // The next record; false at the end of the document. Throws Fault.
    bool next() {
        for (;;) {
            if (!taken_ || ++at_ >= taken_->count) {
                if (!take()) return false;
                if (taken_->count == 0) continue;
            }
            if (skip_ > 0) {
                --skip_;
                continue;
            }
            ++handed_;
            return true;
        }
    }

    // The field's text; empty when the record lacks it.
    std::string_view operator[](std::size_t f) const { return current().values[f]; }
    QString text(std::size_t f) const { return fromUtf8(current().values[f]); }
    // The same, refused when it is empty.
    std::string_view required(std::size_t f) const {
        if (current().values[f].empty())
            throw fault(f, QStringLiteral("<%1> without <%2>")
                               .arg(QLatin1StringView(record_), QLatin1StringView(fields_[f])));
        return current().values[f];
    }
    // A fault in field `f`, on its line (the record's when it lacks it).
    Fault fault(std::size_t f, const QString& what) const {
        const Record& r = current();
        return Fault{{path_, r.lines[f] > 0 ? r.lines[f] : r.line, 1, what}};
    }
    // Once the records are read: how many "&" and "<" were read as characters.
    qsizetype repaired() const { return plain_ ? 0 : input().repaired(); }
    // Once the records are read, when there were none: the input that read the end of the file
    // (PlainXml gives up on a file without records).
    const XmlInput& input() const { return *sides_[last_]->in; }

  private:
    struct Record {
        std::array<std::string, N> values;
        std::array<qsizetype, N> lines{};  // 0 when it lacks the field
        qsizetype line = 0;
    };
    // Records parsed ahead; the first `count` of `records` are, the rest keep their room. Read in
    // pieces: whether the batch ends one, and whether its piece cannot be read apart.
    struct Batch {
        std::vector<Record> records;
        std::size_t count = 0;
        bool ends = false, apart = true;
        bool empty() const { return count == 0 && !ends && apart; }
        void clear() {
            count = 0;
            ends = false;
            apart = true;
        }
        // Starts the next record, on `line`, in the room of the one held there before.
        void open(qsizetype line) {
            if (records.size() == count) records.emplace_back();
            Record& r = records[count];
            for (std::string& value : r.values) value.clear();
            r.lines.fill(0);
            r.line = line;
        }
        // Keeps the record started; false once the batch is full.
        bool close() { return ++count < kBatch; }
    };
    static constexpr std::size_t kSlots = 3, kBatch = 1024;
    // Batches parsed ahead by each of several parsers: a piece or two, so that none waits while the
    // others' are read.
    static constexpr std::size_t kSideSlots = 12;

    // One parser and its thread.
    class Side final : public XmlHandler {
      public:
        // Reads the owner's filter whole (`parity` -1) or the pieces of `parity`.
        Side(const XmlRecords& owner, int parity) : record_(owner.record_), fields_(owner.fields_) {
            in.emplace(*owner.filter_, parity, *this);
            parser().takeText(false);  // but inside a field
            parsed.emplace(parity < 0 ? kSlots : kSideSlots,
                           [this](Batch& batch) { return fill(batch); });
        }

        std::optional<XmlInput> in;

      private:
        // Element names have no blanks: most differ in length, compared first.
        static bool isNamed(std::string_view name, std::string_view known) {
            return name.size() == known.size() && sameName(name, known);
        }
        // On the parsing thread: fills `batch`; false at the end of the document.
        bool fill(Batch& batch) {
            batch_ = &batch;
            const bool more = in->advance();
            // A mark the parser did not see as one was inside something else: a comment, say.
            if (!more && in->marks() != marks_) batch.apart = false;
            return more && !stop_;
        }
        void startElement(std::string_view name, const XmlAttributes&) override {
            if (++depth_ == 2) {
                inRecord_ = isNamed(name, record_);
                if (inRecord_) batch_->open(in->line());
            } else if (depth_ == 3 && inRecord_) {
                field_ = -1;
                for (std::size_t f = 0; f < N; ++f)
                    if (isNamed(name, fields_[f])) field_ = int(f);
                text_.clear();  // keeps its room for the next field
                if (field_ < 0) return;
                batch_->records[batch_->count].lines[std::size_t(field_)] = in->line();
                parser().takeText(true);
            }
        }
        // Keeps the record at its end, and hands the batch over once it is full.
        void endElement(std::string_view) override {
            const int depth = depth_--;
            if (depth == 3 && field_ >= 0) {
                assignTrimmed(batch_->records[batch_->count].values[std::size_t(field_)], text_);
                field_ = -1;
                parser().takeText(false);
            }
            if (depth == 2 && inRecord_ && !batch_->close()) parser().suspend();
        }
        void text(std::string_view utf8) override {
            if (depth_ >= 3 && field_ >= 0) text_ += utf8;
        }
        // The end of one of this parser's pieces, which must end between records: the batch ends
        // with it.
        void instruction(std::string_view target) override {
            if (target != kCutTarget || marks_ == in->marks()) return;  // the document's own
            ++marks_;
            if (depth_ == 1) {
                batch_->ends = true;
            } else {
                batch_->apart = false;
                stop_ = true;
            }
            parser().suspend();
        }

        const char* record_;
        std::array<const char*, N> fields_;
        Batch* batch_ = nullptr;
        std::string text_;
        int depth_ = 0, field_ = -1, marks_ = 0;
        bool inRecord_ = false, stop_ = false;

      public:
        std::optional<ProducerQueue<Batch>> parsed;  // last: its thread stops before the rest goes
    };

    // Reads the file by PlainXml, each batch on its own thread; a batch not `apart` where it
    // gives up.
    class PlainSide final : public PlainXml::Sink {
      public:
        explicit PlainSide(const XmlRecords& owner)
            : xml_(owner.memory_ ? PlainXml(owner.bytes_, owner.path_, owner.record_, owner.fields_)
                                 : PlainXml(owner.path_, owner.record_, owner.fields_)) {
            parsed.emplace(kSlots, [this](Batch& batch) { return fill(batch); });
        }

      private:
        bool fill(Batch& batch) {
            batch_ = &batch;
            PlainXml::Status status = PlainXml::Status::NotPlain;
            try {
                status = xml_.read(*this);
            } catch (const Fault&) {
                // A read error: expat's reading reports it, or reads on.
            }
            if (status == PlainXml::Status::NotPlain) batch.apart = false;
            return status == PlainXml::Status::More;
        }
        void startRecord(qsizetype line) override { batch_->open(line); }
        void field(std::size_t f, std::string_view utf8, qsizetype line) override {
            Record& r = batch_->records[batch_->count];
            assignTrimmed(r.values[f], utf8);
            r.lines[f] = line;
        }
        bool endRecord() override { return batch_->close(); }

        PlainXml xml_;
        Batch* batch_ = nullptr;

      public:
        std::optional<ProducerQueue<Batch>> parsed;  // last: its thread stops before the rest goes
    };

    void start() {
        // Only what can be read again: expat must be able to read it from its start.
        if (plainXmlFirst && (memory_ || QFileInfo(path_).isFile())) {
            plain_ = std::make_unique<PlainSide>(*this);
            return;
        }
        open(parsersBySize());
    }
    // One parser, or one a core for a large file.
    int parsersBySize() const {
        const std::uint64_t size =
            memory_ ? std::uint64_t(bytes_.size()) : std::uint64_t(QFileInfo(path_).size());
        return size >= 4 * xmlPieceBytes ? parsersToUse() : 1;
    }
    // Opens the file for `parsers` parsers side by side: one when threads for them all are not to
    // be had.
    void open(int parsers) {
        const std::string_view cutAt = parsers > 1 ? std::string_view(record_) : std::string_view();
        filter_ = memory_ ? std::make_unique<XmlFilter>(bytes_, path_, cutAt, parsers)
                          : std::make_unique<XmlFilter>(path_, cutAt, parsers);
        if (parsers < 2) {
            sides_.push_back(std::make_unique<Side>(*this, -1));
            return;
        }
        bool threaded = filter_->threaded();
        for (int parity = 0; threaded && parity < parsers; ++parity) {
            sides_.push_back(std::make_unique<Side>(*this, parity));
            threaded = sides_.back()->parsed->threaded();
        }
        if (threaded) return;
        // Without threads to be had, the parsers would wait for each other.
        stopSides();
        open(1);
    }
    // Stops the parsers, also one waiting for another to read on.
    void stopSides() {
        if (filter_) filter_->stop();
        sides_.clear();
        filter_.reset();
    }

    // The next batch in the file's order; false after the last.
    bool take() {
        if (plain_) {
            at_ = 0;
            taken_ = plain_->parsed->next();
            if (taken_ && !taken_->apart) {
                readAgain(parsersBySize());  // the rest is expat's
                return take();
            }
            return taken_ != nullptr;
        }
        const bool apart = sides_.size() > 1;
        if (apart && taken_ && taken_->ends) ++piece_;
        at_ = 0;
        last_ = std::size_t(piece_) % sides_.size();
        try {
            taken_ = sides_[last_]->parsed->next();
        } catch (const Fault&) {
            if (!apart) throw;
            readAgain(1);
            return take();
        }
        if (!taken_) return false;
        if (apart && !taken_->apart) {
            readAgain(1);
            return take();
        }
        return true;
    }
    // Has expat read the file again from its start, by `parsers`, the records handed on skipped.
    void readAgain(int parsers) {
        taken_ = nullptr;
        plain_.reset();
        stopSides();
        open(parsers);
        skip_ = handed_;
    }
    const Record& current() const { return taken_->records[at_]; }

    QString path_;
    QByteArrayView bytes_;
    bool memory_ = false;
    const char* record_;
    std::array<const char*, N> fields_;
    std::unique_ptr<XmlFilter> filter_;  // what the parsers read; outlives them
    std::vector<std::unique_ptr<Side>> sides_;
    std::unique_ptr<PlainSide> plain_;
    const Batch* taken_ = nullptr;
    std::size_t at_ = 0, last_ = 0;
    int piece_ = 0;         // read apart: the piece at hand
    qsizetype handed_ = 0;  // records handed on, whatever read them
    qsizetype skip_ = 0;    // records to skip, read whole again
};

}  // namespace velmora::mkdb
