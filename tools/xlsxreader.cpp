// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/xlsxreader.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/expatparser.h"
#include "tools/producerqueue.h"

#include <QDir>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace velmora::mkdb {

using namespace Qt::StringLiterals;

namespace {

// How much of a part is inflated at a time, and handed to the XML parser as one block.
constexpr qsizetype kChunk = qsizetype(1) << 16;
constexpr qsizetype kBlock = qsizetype(1) << 18;
// Blocks inflated ahead, and batches of rows parsed ahead: a few MB per sheet read at most.
constexpr std::size_t kSlots = 3;

QString quoted(QStringView text) {
    return u'"' + printable(text) + u'"';
}

// A run of decimal digits as a number, or -1 (also when it passes `limit`).
qsizetype decimal(std::string_view digits, qsizetype limit) {
    qsizetype value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || value > limit) return -1;
        value = value * 10 + (c - '0');
    }
    return digits.empty() || value > limit ? -1 : value;
}

// The character of the escape _xHHHH_ at `at`, or -1 when none starts there. A surrogate stays as
// it is written: UTF-8 cannot hold one alone.
int escapeAt(std::string_view text, std::size_t at) {
    if (at + 6 >= text.size() || text[at] != '_' || text[at + 1] != 'x' || text[at + 6] != '_')
        return -1;
    int code = 0;
    for (std::size_t k = at + 2; k < at + 6; ++k) {
        const char c = text[k], lower = char(c | 0x20);
        const int digit = c >= '0' && c <= '9'           ? c - '0'
                          : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                         : -1;
        if (digit < 0) return -1;
        code = code * 16 + digit;
    }
    return code >= 0xD800 && code < 0xE000 ? -1 : code;
}

// Characters XML cannot hold (a carriage return, other control characters) are stored as
// _xHHHH_, and an underscore that would read as such an escape as _x005F_.
void unescape(std::string& text, std::size_t from) {
    const std::size_t first = text.find("_x", from);
    if (first == std::string::npos) return;
    const std::string escaped = text.substr(first);
    text.resize(first);
    for (std::size_t i = 0; i < escaped.size();) {
        const int code = escapeAt(escaped, i);
        if (code < 0) {
            text += escaped[i++];
        } else {
            appendUtf8(text, char16_t(code));
            i += 7;
        }
    }
}

// Closes a file descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Whether an OLE compound file holds a stream named EncryptedPackage, which is how Office stores a
// password-protected workbook (an .xls holds a "Workbook" stream instead). The names stand in
// 128-byte directory entries: UTF-16, then at byte 64 their size with the terminating zero.
bool holdsEncryptedPackage(int fd) {
    static constexpr char kName[] = "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0";
    constexpr qsizetype kEntry = 128, kBlock = kEntry * 512;
    auto block = std::make_unique<char[]>(kBlock);
    for (off_t offset = 0;; offset += kBlock) {
        const ssize_t got = ::pread(fd, block.get(), kBlock, offset);
        if (got <= 0) return false;
        for (const char* entry = block.get(); entry + kEntry <= block.get() + got; entry += kEntry)
            if (std::memcmp(entry, kName, sizeof kName) == 0 && entry[64] == 34 && entry[65] == 0)
                return true;
    }
}

// What the file's first bytes say it is, before minizip looks for a ZIP directory at its end.
void checkSignature(const QString& file) {
    const auto fault = [&](const QString& what) { return Fault{{file, 1, 1, what}}; };
    const Descriptor in{
        ::open(encodeFileName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat info {};
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0)
        throw fault(QStringLiteral("cannot read: %1").arg(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        throw fault(QStringLiteral("cannot read: %1").arg(std::strerror(EISDIR)));
    if (!S_ISREG(info.st_mode)) throw fault(QStringLiteral("cannot read: not a regular file"));
    char head[8] = {};
    if (::pread(in.fd, head, sizeof head, 0) < 0)
        throw fault(QStringLiteral("cannot read: %1").arg(std::strerror(errno)));
    if (std::memcmp(head, "PK\3\4", 4) == 0 || std::memcmp(head, "PK\5\6", 4) == 0) return;
    if (std::memcmp(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0)
        throw fault(QStringLiteral("not an .xlsx workbook: the file is not a ZIP archive"));
    if (holdsEncryptedPackage(in.fd))
        throw fault(QStringLiteral(
            "the workbook is encrypted (password-protected): save it without a password"));
    throw fault(
        QStringLiteral("not an .xlsx workbook: an Excel 97-2003 (.xls) or other OLE "
                       "file; save it as an Excel workbook (.xlsx)"));
}

// The workbook's ZIP archive, one part open at a time.
class Archive {
  public:
    explicit Archive(const QString& file) : file_(file) {
        zip_ = unzOpen64(encodeFileName(file).constData());
        if (!zip_)
            fail(QStringLiteral("damaged ZIP archive (its directory is missing or cut short)"));
    }
    ~Archive() {
        if (open_) unzCloseCurrentFile(zip_);
        if (zip_) unzClose(zip_);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens `part`, its name matched ignoring case as part names are; false when there is none.
    bool open(const QString& part);
    // Inflates up to `size` more bytes of the open part; 0 at its end, once the bytes are checked
    // against the entry's checksum and size.
    qsizetype read(char* into, qsizetype size);
    // Inflates the next block of the open part into `block`; false once its end is in it.
    bool fill(ByteBlock& block);
    std::uint64_t declared() const { return declared_; }

    // FILE:1:1: PART: what
    [[noreturn]] void fail(const QString& what) const {
        throw Fault{{file_, 1, 1, part_.isEmpty() ? what : part_ + u": "_s + what}};
    }

  private:
    QString file_, part_;
    unzFile zip_ = nullptr;
    std::uint64_t declared_ = 0, inflated_ = 0;
    bool open_ = false;
};

bool Archive::open(const QString& part) {
    if (unzLocateFile(zip_, part.toUtf8().constData(), 2) != UNZ_OK) return false;
    part_ = part;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        fail(QStringLiteral("damaged ZIP entry"));
    if (info.flag & 1)
        fail(
            QStringLiteral("encrypted ZIP entry: the workbook is password-protected; save it "
                           "without a password"));
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        fail(QStringLiteral("unsupported ZIP compression method %1").arg(info.compression_method));
    if (info.uncompressed_size > kMaxPartBytes)
        fail(QStringLiteral("the part inflates to more than 1 GB"));
    if (unzOpenCurrentFile(zip_) != UNZ_OK) fail(QStringLiteral("damaged ZIP entry"));
    declared_ = info.uncompressed_size;
    inflated_ = 0;
    open_ = true;
    return true;
}

qsizetype Archive::read(char* into, qsizetype size) {
    if (!open_) return 0;
    const int count = unzReadCurrentFile(zip_, into, unsigned(size));
    if (count == UNZ_ERRNO) fail(QStringLiteral("damaged ZIP entry (cut short or unreadable)"));
    if (count < 0) fail(QStringLiteral("damaged ZIP entry (invalid compressed data)"));
    // minizip stops at the declared size; counting here does not depend on that.
    inflated_ += std::uint64_t(count);
    if (inflated_ > kMaxPartBytes) fail(QStringLiteral("the part inflates to more than 1 GB"));
    if (count > 0) return count;
    open_ = false;
    if (unzCloseCurrentFile(zip_) != UNZ_OK) fail(QStringLiteral("damaged ZIP entry (bad CRC)"));
    // minizip checks the CRC only once the declared size is reached: an entry that ends short of
    // it would pass unchecked.
    if (inflated_ != declared_)
        fail(QStringLiteral("damaged ZIP entry (%1 bytes, its header says %2)")
                 .arg(inflated_)
                 .arg(declared_));
    return 0;
}

// In chunks, so that what inflated before a damaged chunk is parsed, as it would be chunk by
// chunk: a fault in the XML there comes first.
bool Archive::fill(ByteBlock& block) {
    if (!block.room) block.room = std::make_unique<char[]>(kBlock);
    while (block.size + kChunk <= kBlock) {
        const qsizetype count = read(block.room.get() + block.size, kChunk);
        if (count == 0) return false;
        block.size += count;
        block.done = inflated_;
    }
    return true;
}

}  // namespace

namespace {

// Where a sheet's part is cut so that several parsers read it side by side: at the first row start
// tag ("<row" then a blank, ">" or "/") at or after every xlsxPieceBytes of the rows, the same cuts
// for all, which see the same bytes. Each parser reads the part's head (what stands before the
// first row) and then its share of the pieces in turn (of two parsers, the first the even ones);
// it reads kCutMark after each piece it ends, so that its reader knows where. A comment, CDATA
// section, declaration or processing instruction (but the XML declaration) could hide a "<row":
// from one on, nothing is cut any more, the rest of the part going to the piece at hand.
class SheetCutter {
  public:
    SheetCutter(int parity, int parsers)
        : parity_(parity), parsers_(parsers), pieceBytes_(xlsxPieceBytes) {}

    // Feeds `xml` the next bytes that are this parser's, taking blocks from `pull` (null at the
    // part's end); Done once it has read its last, the end of the document only for the parser
    // whose piece ends the part. `marks` counts the marks fed.
    template <typename Pull>
    ExpatParser::Status feedNext(ExpatParser& xml, Pull&& pull, int& marks) {
        while (next_ == pieces_.size()) {
            if (ended_) {
                if (!owns(piece_) || finished_) return ExpatParser::Status::Done;
                finished_ = true;
                return xml.feed({}, true);
            }
            pieces_.clear();
            next_ = 0;
            window_.erase(0, settled_);
            offset_ += settled_;
            const ByteBlock* block = pull();
            if (block)
                window_.append(block->room.get(), std::size_t(block->size));
            else
                ended_ = true;
            scan();
        }
        const Piece piece = pieces_[next_++];
        if (piece.mark) {
            ++marks;
            return xml.feed(kCutMark, false);
        }
        return xml.feed(std::string_view(window_).substr(piece.from, piece.size), false);
    }

  private:
    enum class Phase { Head, Rows, Whole };
    struct Piece {
        std::size_t from, size;
        bool mark;
    };
    bool owns(int piece) const { return piece < 0 || piece % parsers_ == parity_; }
    bool rowAt(std::size_t i) const {
        if (window_.compare(i, 4, "<row") != 0 || i + 4 >= window_.size()) return false;
        const char c = window_[i + 4];
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
    }
    std::size_t find(std::string_view needle, std::size_t from, std::size_t to) const;
    std::size_t findRow(std::size_t from, std::size_t to) const;
    std::size_t markup(char c, std::size_t to) const;
    // Hands out the bytes up to `to` as the piece at hand's.
    void handOut(std::size_t to) {
        if (to > from_ && owns(piece_)) pieces_.push_back({from_, to - from_, false});
        from_ = to;
    }
    void scan();

    const int parity_, parsers_;
    const std::uint64_t pieceBytes_;
    Phase phase_ = Phase::Head;
    int piece_ = -1;             // -1: the head, which both read
    std::string window_;         // the bytes not handed out yet and those of the current block
    std::size_t from_ = 0;       // in window_, the first byte not handed out
    std::size_t settled_ = 0;    // how many of window_ are handed out or go nowhere
    std::uint64_t offset_ = 0;   // of window_[0] in the part
    std::uint64_t nextCut_ = 0;  // the next cut is at the first row at or after this offset
    std::vector<Piece> pieces_;
    std::size_t next_ = 0;
    bool ended_ = false, finished_ = false;
};

// Where `needle` first stands in window_ from `from` to `to` (it may run past `to`); `to` for
// nowhere.
std::size_t SheetCutter::find(std::string_view needle, std::size_t from, std::size_t to) const {
    if (from >= to) return to;
    const std::size_t room = std::min(window_.size(), to + needle.size() - 1) - from;
    const void* at = memmem(window_.data() + from, room, needle.data(), needle.size());
    return at ? std::min(to, std::size_t(static_cast<const char*>(at) - window_.data())) : to;
}

// Where "<" and `c` first stand in window_ before `to`, but the XML declaration at the part's
// start; `to` for nowhere. (The two characters are rare in a sheet, "<" is not: memchr on `c`.)
std::size_t SheetCutter::markup(char c, std::size_t to) const {
    for (std::size_t at = 1; at <= to && at < window_.size(); ++at) {
        const void* found =
            std::memchr(window_.data() + at, c, std::min(to + 1, window_.size()) - at);
        if (!found) break;
        at = std::size_t(static_cast<const char*>(found) - window_.data());
        if (window_[at - 1] == '<' && !(c == '?' && offset_ + at - 1 <= 3)) return at - 1;
    }
    return to;
}

// The first row start tag in window_ from `from` to `to`; `to` for none.
std::size_t SheetCutter::findRow(std::size_t from, std::size_t to) const {
    for (std::size_t at = find("<row", from, to); at < to; at = find("<row", at + 1, to))
        if (rowAt(at)) return at;
    return to;
}

void SheetCutter::scan() {
    // A "<" is looked at with the five bytes after it; the last few wait for the next block.
    const std::size_t limit =
        ended_ ? window_.size() : window_.size() - std::min<std::size_t>(window_.size(), 5);
    from_ = 0;
    if (phase_ != Phase::Whole) {
        // Before what could hide a row, but the XML declaration at the part's start.
        const std::size_t hidden = std::min(markup('!', limit), markup('?', limit));
        for (std::size_t i = 0;;) {
            const std::size_t from =
                phase_ == Phase::Head
                    ? i
                    : std::max<std::uint64_t>(i, nextCut_ - std::min(nextCut_, offset_));
            const std::size_t row = findRow(from, hidden);
            if (row == hidden) break;
            handOut(row);
            if (piece_ >= 0 && owns(piece_)) pieces_.push_back({0, 0, true});
            ++piece_;
            phase_ = Phase::Rows;
            nextCut_ = offset_ + row + pieceBytes_;
            i = row + 1;
        }
        if (hidden < limit) {
            // What is not cut any more is the piece at hand's; in the head, the first parser's.
            handOut(hidden);
            if (piece_ < 0) piece_ = 0;
            phase_ = Phase::Whole;
        }
    }
    handOut(limit);
    settled_ = limit;
}

}  // namespace

// A part inflated on a thread of its own once started, for one parser or for several that each
// take every block.
class InflatedPart {
  public:
    // `missing` is the fault when the archive lacks `part`.
    InflatedPart(const QString& file, const QString& part, const QString& missing)
        : archive_(file) {
        if (!archive_.open(part)) throw Fault{{file, 1, 1, missing}};
    }
    // Starts inflating for `parsers` parsers.
    void start(int parsers) {
        blocks_.emplace(
            slotsFor(std::size_t(parsers), xlsxPieceBytes, std::uint64_t(kBlock), kSlots),
            [this](ByteBlock& block) { return archive_.fill(block); }, std::size_t(parsers));
    }
    // The next block for the parser numbered `parser`; null after the last, or once stopped.
    const ByteBlock* next(int parser) { return blocks_->next(std::size_t(parser)); }
    bool threaded() const { return blocks_->threaded(); }
    // Stops inflating: no parser gets more blocks.
    void stop() { blocks_->stop(); }
    std::uint64_t declared() const { return archive_.declared(); }
    int parsers() const { return int(blocks_->consumers()); }

  private:
    Archive archive_;
    std::optional<ProducerQueue<ByteBlock>> blocks_;  // last: stopped before the rest goes
};

// One XML part, parsed in blocks as a thread of its own inflates them.
class XlsxPart {
  public:
    // The part read whole, inflated for this part alone. `label` names the part in messages;
    // `missing` is the fault when the archive lacks it. `progress`: whether advance() shows how
    // far it is (on the main thread only).
    XlsxPart(XmlHandler& handler, const QString& file, const QString& part, const QString& label,
             const QString& missing, bool progress = true)
        : own_(std::make_unique<InflatedPart>(file, part, missing)),
          source_(*own_),
          xml_(handler, file, label),
          progress_(progress) {
        own_->start(1);
    }
    // The part `source` inflates, read whole (`parity` -1, its only parser) or cut into pieces as
    // the parser of `parity`.
    XlsxPart(XmlHandler& handler, InflatedPart& source, int parity, const QString& file,
             const QString& label)
        : source_(source), xml_(handler, file, label), progress_(false), parity_(parity) {
        if (parity >= 0) cutter_.emplace(parity, source.parsers());
    }
    // Parses on until the handler suspends (true) or the whole part is read and checked against
    // its checksum (false). Throws Fault.
    bool advance() {
        return xml_.advance([&] {
            const auto pull = [&] {
                const ByteBlock* block = source_.next(std::max(parity_, 0));
                if (block) inflated_ = block->done;
                return block;
            };
            if (cutter_) return cutter_->feedNext(xml_, pull, marks_);
            const ByteBlock* block = pull();
            if (!block) return xml_.feed({}, true);
            if (progress_) Progress::instance().update(file(), inflated_, declared());
            return xml_.feed({block->room.get(), std::size_t(block->size)}, false);
        });
    }
    // How many marks of a piece's end have been fed (SheetCutter).
    int marks() const { return marks_; }
    void readAll() {
        while (advance()) {
        }
    }
    // How much of the part the parser has been given, of how much its entry declares.
    std::uint64_t inflated() const { return inflated_; }
    std::uint64_t declared() const { return source_.declared(); }
    const QString& file() const { return xml_.file(); }

  private:
    std::unique_ptr<InflatedPart> own_;  // inflated for this part alone
    InflatedPart& source_;
    ExpatParser xml_;
    bool progress_;
    int parity_ = -1;
    std::uint64_t inflated_ = 0;
    std::optional<SheetCutter> cutter_;
    int marks_ = 0;
};

Amount XlsxCell::amount() const {
    // An empty text is no number either, in readAmount's words.
    return readAmount(type == Type::Boolean || type == Type::Error ? std::string_view() : text);
}

QString columnName(int column) {
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

namespace {

// A relationship's target as a part name: relative to the workbook's folder, or absolute.
QString partOf(std::string_view target) {
    const QString path = target.starts_with('/') ? fromUtf8(target) : u"/xl/"_s + fromUtf8(target);
    return QDir::cleanPath(path).mid(1);
}

// The parts of xl/_rels/workbook.xml.rels, by relationship id.
class Relationships final : public XmlHandler {
  public:
    QHash<QString, QString> parts;
    QString sharedStrings;

  private:
    void startElement(std::string_view name, const XmlAttributes& a) override {
        if (localName(name) != "Relationship" || a.value("TargetMode") == "External") return;
        const QString part = partOf(a.value("Target"));
        parts.insert(fromUtf8(a.value("Id")), part);
        if (a.value("Type").ends_with("/sharedStrings")) sharedStrings = part;
    }
    void endElement(std::string_view) override {}
    void text(std::string_view) override {}
};

// The sheets of xl/workbook.xml, each with its part through the relationships.
class SheetList final : public XmlHandler {
  public:
    SheetList(const Relationships& relationships, const QString& relsPart)
        : relationships_(relationships), relsPart_(relsPart) {}
    QStringList names, parts;

  private:
    void startElement(std::string_view name, const XmlAttributes& a) override {
        if (localName(name) != "sheet") return;
        // The relationship id is the "id" attribute in the relationships namespace: prefixed.
        std::string_view id;
        a.forEach([&](std::string_view attribute, std::string_view value) {
            if (localName(attribute) == "id" && attribute != "id" &&
                !attribute.starts_with("xmlns:"))
                id = value;
        });
        const QString sheet = fromUtf8(a.value("name")), rid = fromUtf8(id);
        if (!relationships_.parts.contains(rid))
            fail(QStringLiteral("sheet %1 refers to relationship %2, which %3 lacks")
                     .arg(quoted(sheet), quoted(rid), relsPart_));
        names << sheet;
        parts << relationships_.parts.value(rid);
    }
    void endElement(std::string_view) override {}
    void text(std::string_view) override {}

    const Relationships& relationships_;
    QString relsPart_;
};

}  // namespace

// Each <si> is one text: its <t>, or the <t> of its rich-text runs <r> one after the other. The
// phonetic guide <rPh> is not part of the text.
class XlsxWorkbook::StringReader final : public XmlHandler {
  public:
    explicit StringReader(XlsxWorkbook& book) : book_(book) {}

  private:
    void startElement(std::string_view name, const XmlAttributes&) override {
        name = localName(name);
        if (name == "t") inText_ = !phonetic_;
        if (name == "rPh") phonetic_ = true;
    }
    void endElement(std::string_view name) override {
        name = localName(name);
        if (name == "t") inText_ = false;
        if (name == "rPh") phonetic_ = false;
        if (name != "si") return;
        unescape(book_.strings_, book_.starts_.back());
        book_.starts_.push_back(book_.strings_.size());
    }
    void text(std::string_view utf8) override {
        if (inText_) book_.strings_ += utf8;
    }

    XlsxWorkbook& book_;
    bool inText_ = false, phonetic_ = false;
};

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path) {
    checkSignature(path);
    const QString kBook = u"xl/workbook.xml"_s, kRels = u"xl/_rels/workbook.xml.rels"_s;
    Relationships relationships;
    SheetList sheets(relationships, kRels);
    XlsxPart book(sheets, path, kBook, kBook,
                  u"not an .xlsx workbook: the archive has no part xl/workbook.xml"_s);
    XlsxPart rels(relationships, path, kRels, kRels, u"missing part xl/_rels/workbook.xml.rels"_s);
    rels.readAll();
    book.readAll();
    names_ = sheets.names;
    parts_ = sheets.parts;
    if (relationships.sharedStrings.isEmpty()) return;
    StringReader strings(*this);
    XlsxPart(strings, path, relationships.sharedStrings, relationships.sharedStrings,
             u"missing part "_s + relationships.sharedStrings)
        .readAll();
}

QString XlsxWorkbook::sheetStartingWith(QStringView prefix) const {
    for (const QString& name : names_)
        if (name.startsWith(prefix)) return name;
    return {};
}

XlsxSheet XlsxWorkbook::sheet(const QString& name) const {
    const qsizetype i = names_.indexOf(name);
    if (i >= 0) return XlsxSheet(*this, name, parts_[i]);
    QStringList sheets;
    for (const QString& n : names_) sheets << quoted(n);
    throw Fault{{path_, 1, 1,
                 QStringLiteral("the workbook has no sheet %1 (its sheets: %2)")
                     .arg(quoted(name), sheets.isEmpty() ? u"none"_s : sheets.join(u", "))}};
}

namespace {

// How many cells, and bytes of their own texts, the sheet's thread parses ahead in one batch.
constexpr std::size_t kBatchCells = std::size_t(1) << 13;
constexpr std::size_t kBatchText = std::size_t(1) << 18;
// Batches parsed ahead by each of several parsers: a piece or two, so that none waits while the
// others' are read.
constexpr std::size_t kSideSlots = 12;

// Rows parsed on the sheet's thread, handed to its reader together.
struct RowBatch {
    struct Row {
        qsizetype number;
        std::size_t first, count;  // its cells
    };
    // Where a cell's text is: in `text` from `start`, or shared string -1 - `start`; the views are
    // made when the row is handed over, as `text` grows until then.
    struct Span {
        qsizetype start, size;
    };
    std::vector<Row> rows;
    std::vector<XlsxCell> cells;
    std::vector<Span> spans;
    std::string text;  // the texts that are not shared strings
    std::uint64_t inflated = 0, declared = 0;
    // Read by one of several parsers: whether the batch ends a piece (and the number of the piece's
    // last row then), the number of the piece's first row when the batch holds it, and whether the
    // piece cannot be read apart (the reader then reads the sheet whole).
    bool ends = false, apart = true;
    qsizetype lastRow = 0, firstRow = 0;

    bool empty() const { return rows.empty() && !ends && apart && firstRow == 0; }
    void clear() {
        rows.clear();
        cells.clear();
        spans.clear();
        text.clear();
        ends = false;
        apart = true;
        lastRow = firstRow = 0;
    }
};

}  // namespace

// The sheet's part parsed on a thread of its own into batches of rows: the parser is suspended at
// the end of each row that holds a cell, which goes into the batch being filled. One of several
// such parsers reads the head and its share of the pieces of the part (SheetCutter).
class SheetParser final : public XmlHandler {
  public:
    // The part `source` inflates, whole (`parity` -1) or the pieces of `parity`.
    SheetParser(const XlsxWorkbook& book, const QString& name, const QString& part,
                InflatedPart& source, int parity)
        : book_(book) {
        part_.emplace(*this, source, parity, book.fileName(),
                      QStringLiteral("%1 (sheet %2)").arg(part, quoted(name)));
        fresh_ = parity > 0;
        parsed_.emplace(parity >= 0 ? kSideSlots : kSlots,
                        [this](RowBatch& batch) { return fill(batch); });
    }
    // The next batch; null after the last. Throws Fault.
    RowBatch* next() { return parsed_->next(); }
    bool threaded() const { return parsed_->threaded(); }

  private:
    // On the sheet's thread: parses rows into `batch`; false once the part is read.
    bool fill(RowBatch& batch);
    void startElement(std::string_view name, const XmlAttributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view utf8) override {
        if (inText_) batch_->text += utf8;
    }
    void instruction(std::string_view target) override;
    void notApart();
    void startRow(const XmlAttributes& attributes);
    void endRow();
    void setRow(qsizetype number);
    void startCell(const XmlAttributes& attributes);
    void endCell();

    const XlsxWorkbook& book_;
    std::optional<XlsxPart> part_;  // none once it is read to its end
    RowBatch* batch_ = nullptr;     // being filled
    qsizetype parsedRow_ = 0;       // the last row parsed (in this piece)
    qsizetype rowGiven_ = 0;        // the number a reference gave the row being parsed, or 0
    std::size_t rowFirst_ = 0;      // where its cells start in the batch
    // The cell being read: its column and type, where its text starts in the batch's text,
    // whether it has one.
    struct Pending {
        int column = -1;
        XlsxCell::Type type = XlsxCell::Type::Number;
        bool shared = false;
        bool valued = false;
        qsizetype start = 0;
    } cell_;
    bool inRow_ = false, inText_ = false, phonetic_ = false;
    // Read in pieces: whether the piece's first row is still to come, how deep the elements are
    // open, how deep the rows stand, whether the piece went above them, the marks seen, and
    // whether reading stops (a piece that cannot be read apart).
    bool fresh_ = false, above_ = false, stop_ = false;
    int depth_ = 0, rowDepth_ = -1, marks_ = 0;

    std::optional<ProducerQueue<RowBatch>> parsed_;  // last: its thread stops before the rest goes
};

bool SheetParser::fill(RowBatch& batch) {
    batch_ = &batch;
    batch.declared = part_->declared();
    while (batch.cells.size() < kBatchCells && batch.text.size() < kBatchText && !batch.ends) {
        const bool more = part_->advance();
        batch.inflated = part_->inflated();
        if (!more || stop_) {
            // A mark the parser did not see as one was inside something else: a comment, say.
            if (part_->marks() != marks_) batch.apart = false;
            part_.reset();
            return false;
        }
    }
    return true;
}

// The end of one of this parser's pieces: the batch ends with it, the next piece is read apart.
void SheetParser::instruction(std::string_view target) {
    if (target != kCutTarget || marks_ == part_->marks()) return;  // the document's own
    ++marks_;
    if (inRow_ || above_ || depth_ != rowDepth_) return notApart();
    batch_->ends = true;
    batch_->lastRow = parsedRow_;
    parsedRow_ = 0;
    fresh_ = true;
    parser().suspend();
}

// The piece at hand cannot be read apart from the one before: the reader reads the sheet whole.
void SheetParser::notApart() {
    batch_->apart = false;
    stop_ = true;
    parser().suspend();
}

namespace {

// The elements of a sheet's rows, told apart by length and first letter: a sheet has millions.
enum class SheetTag { Row, Cell, Value, Text, Phonetic, Other };
SheetTag sheetTag(std::string_view name) {
    name = localName(name);
    if (name.size() == 1)
        return name[0] == 'c'   ? SheetTag::Cell
               : name[0] == 'v' ? SheetTag::Value
               : name[0] == 't' ? SheetTag::Text
                                : SheetTag::Other;
    if (name.size() == 3 && name[0] == 'r')
        return name == "row" ? SheetTag::Row : name == "rPh" ? SheetTag::Phonetic : SheetTag::Other;
    return SheetTag::Other;
}

}  // namespace

void SheetParser::startElement(std::string_view name, const XmlAttributes& attributes) {
    ++depth_;
    const SheetTag tag = sheetTag(name);
    if (tag == SheetTag::Row) {
        if (!inRow_) startRow(attributes);
        return;
    }
    if (!inRow_) return;
    if (tag == SheetTag::Cell) startCell(attributes);
    // A value, or an inline string's text (also of its rich-text runs).
    if (tag == SheetTag::Value || (tag == SheetTag::Text && !phonetic_))
        inText_ = cell_.valued = true;
    if (tag == SheetTag::Phonetic) phonetic_ = true;
}

void SheetParser::endElement(std::string_view name) {
    --depth_;
    if (depth_ < rowDepth_) above_ = true;
    if (!inRow_) return;
    const SheetTag tag = sheetTag(name);
    if (tag == SheetTag::Value || tag == SheetTag::Text) inText_ = false;
    if (tag == SheetTag::Phonetic) phonetic_ = false;
    if (tag == SheetTag::Cell) {
        endCell();
        cell_.valued = false;  // a <c> inside a <c> ends once
    }
    if (tag == SheetTag::Row) endRow();
}

void SheetParser::setRow(qsizetype number) {
    if (number <= parsedRow_)
        fail(QStringLiteral("row %1 after row %2: rows out of order").arg(number).arg(parsedRow_));
    rowGiven_ = number;
}

void SheetParser::startRow(const XmlAttributes& attributes) {
    inRow_ = true;
    inText_ = phonetic_ = false;
    cell_ = {};
    rowFirst_ = batch_->cells.size();
    rowGiven_ = 0;
    if (rowDepth_ < 0) rowDepth_ = depth_ - 1;
    const std::string_view r = attributes.value("r");
    // A piece's first row must say its number: the rows before it are another parser's.
    if (fresh_ && r.empty()) return notApart();
    if (r.empty()) return;
    const qsizetype number = decimal(r, kMaxRows);
    if (number < 1) fail(QStringLiteral("row number %1 is not valid").arg(quotedCell(r)));
    setRow(number);
    if (fresh_) batch_->firstRow = number;
    fresh_ = false;
}

// Hands the row over when it holds a cell.
void SheetParser::endRow() {
    inRow_ = false;
    parsedRow_ = rowGiven_ ? rowGiven_ : parsedRow_ + 1;
    if (parsedRow_ > kMaxRows) fail(QStringLiteral("more than %1 rows").arg(kMaxRows));
    const std::size_t count = batch_->cells.size() - rowFirst_;
    if (count == 0) return;
    batch_->rows.push_back({parsedRow_, rowFirst_, count});
    parser().suspend();
}

namespace {

// The column of a reference such as "B7" (from 0), and its row; nothing when it is none.
std::optional<std::pair<int, qsizetype>> cellReference(std::string_view ref) {
    std::size_t letters = 0;
    int column = 0;
    while (letters < ref.size() && letters < 4 && ref[letters] >= 'A' && ref[letters] <= 'Z')
        column = column * 26 + (ref[letters++] - 'A' + 1);
    const qsizetype row = decimal(ref.substr(letters), kMaxRows);
    if (letters == 0 || column > kMaxColumns || row < 1) return std::nullopt;
    return std::pair(column - 1, row);
}

std::optional<XlsxCell::Type> cellType(std::string_view t) {
    using Type = XlsxCell::Type;
    if (t.empty()) return Type::Number;
    if (t.size() == 1) {
        // Most cells: compared as a character.
        switch (t[0]) {
            case 'n':
                return Type::Number;
            case 's':
                return Type::Text;
            case 'b':
                return Type::Boolean;
            case 'e':
                return Type::Error;
            case 'd':
                return Type::Date;
            default:
                return std::nullopt;
        }
    }
    if (t == "str" || t == "inlineStr") return Type::Text;
    return std::nullopt;
}

}  // namespace

void SheetParser::startCell(const XmlAttributes& attributes) {
    const std::string_view ref = attributes.value("r"), t = attributes.value("t");
    // A cell without a reference follows the one before it.
    int column = cell_.column + 1;
    if (!ref.empty()) {
        const auto place = cellReference(ref);
        if (!place) fail(QStringLiteral("cell reference %1 is not valid").arg(quotedCell(ref)));
        if (!rowGiven_) setRow(place->second);
        if (place->second != rowGiven_)
            fail(QStringLiteral("cell %1 in row %2").arg(quotedCell(ref)).arg(rowGiven_));
        if (place->first < column)
            fail(QStringLiteral("cell %1 after column %2: cells out of order")
                     .arg(quotedCell(ref), columnName(cell_.column)));
        column = place->first;
    }
    if (column >= kMaxColumns) fail(QStringLiteral("a cell beyond column XFD"));
    const std::optional<XlsxCell::Type> type = cellType(t);
    if (!type) fail(QStringLiteral("cell type %1 is not known").arg(quotedCell(t)));
    cell_.type = *type;
    cell_.shared = t.size() == 1 && t[0] == 's';
    cell_.column = column;
    cell_.valued = false;
    cell_.start = qsizetype(batch_->text.size());
}

void SheetParser::endCell() {
    std::string& text = batch_->text;
    RowBatch::Span span{cell_.start, qsizetype(text.size()) - cell_.start};
    if (cell_.shared && cell_.valued) {
        const std::string_view digits =
            std::string_view(text).substr(std::size_t(span.start), std::size_t(span.size));
        const qsizetype index = decimal(digits, book_.sharedStringCount());
        if (index < 0 || index >= book_.sharedStringCount())
            fail(QStringLiteral("cell %1: shared string %2 does not exist (there are %3)")
                     .arg(columnName(cell_.column) +
                              QString::number(rowGiven_ ? rowGiven_ : parsedRow_ + 1),
                          quotedCell(digits), QString::number(book_.sharedStringCount())));
        text.resize(std::size_t(cell_.start));
        span = {-1 - index, qsizetype(book_.sharedString(index).size())};
    } else if (cell_.type == XlsxCell::Type::Text) {
        unescape(text, std::size_t(cell_.start));
        span.size = qsizetype(text.size()) - cell_.start;
    }
    // A cell without a value, or with an empty text, is an empty cell: absent.
    if (!cell_.valued || span.size == 0) return;
    batch_->cells.push_back({cell_.column, cell_.type, {}});
    batch_->spans.push_back(span);
}

// The sheet read by one parser, or by several side by side (a large part, two cores or more), the
// rows handed on in the part's order either way. Anything a piece read apart cannot settle (a
// fault, a first row without its number, rows out of order where pieces meet, a cut not between
// rows) has the sheet read whole from its start, the rows already handed on skipped: what it
// gives, and every message, is then the whole reading's.
class XlsxSheet::Reader {
  public:
    Reader(const XlsxWorkbook& book, const QString& name, const QString& part)
        : book(book), name_(name), part_(part) {
        open(parsersToUse());
    }
    ~Reader() { stopParsers(); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool next();

    const XlsxWorkbook& book;
    qsizetype row = 0;  // the current row, or the last one read
    std::span<const XlsxCell> cells;

  private:
    bool take();
    void readWhole();
    void open(int parsers);
    // Stops the parsers, also one waiting for another to read on.
    void stopParsers() {
        if (source_) source_->stop();
        parsers_.clear();
        source_.reset();
    }

    QString name_, part_;
    std::unique_ptr<InflatedPart> source_;  // the part the parsers read; outlives them
    std::vector<std::unique_ptr<SheetParser>> parsers_;
    RowBatch* taken_ = nullptr;  // the batch rows are handed from, and which
    std::size_t at_ = 0;
    int piece_ = 0;            // read apart: the piece at hand
    qsizetype lastRow_ = 0;    // the last row of the piece before
    bool fresh_ = false;       // its first batch is still to come
    qsizetype handed_ = 0;     // rows handed on
    qsizetype skip_ = 0;       // rows to skip, read whole again
    std::uint64_t shown_ = 0;  // how far the progress line says the part is read
};

XlsxSheet::XlsxSheet(const XlsxWorkbook& book, const QString& name, const QString& part)
    : name_(name), reader_(std::make_unique<Reader>(book, name, part)) {}

XlsxSheet::XlsxSheet(XlsxSheet&&) noexcept = default;
XlsxSheet::~XlsxSheet() = default;

bool XlsxSheet::next() {
    return reader_->next();
}

qsizetype XlsxSheet::row() const {
    return reader_->row;
}

std::span<const XlsxCell> XlsxSheet::cells() const {
    return reader_->cells;
}

bool XlsxSheet::Reader::next() {
    for (;;) {
        while (!taken_ || at_ >= taken_->rows.size()) {
            if (!take()) {
                cells = {};
                return false;
            }
        }
        const RowBatch::Row& r = taken_->rows[at_++];
        if (skip_ > 0) {
            --skip_;
            continue;
        }
        XlsxCell* first = taken_->cells.data() + r.first;
        for (std::size_t i = 0; i < r.count; ++i) {
            const RowBatch::Span span = taken_->spans[r.first + i];
            first[i].text = span.start < 0
                                ? book.sharedString(-1 - span.start)
                                : std::string_view(taken_->text)
                                      .substr(std::size_t(span.start), std::size_t(span.size));
        }
        row = r.number;
        cells = {first, r.count};
        ++handed_;
        return true;
    }
}

// The next batch in the part's order; false after the last. Throws Fault.
bool XlsxSheet::Reader::take() {
    const bool apart = parsers_.size() > 1;
    if (apart && taken_ && taken_->ends) {
        lastRow_ = taken_->lastRow;
        ++piece_;
        fresh_ = true;
    }
    at_ = 0;
    try {
        taken_ = parsers_[std::size_t(piece_) % parsers_.size()]->next();
    } catch (const Fault&) {
        if (!apart) throw;
        readWhole();
        return take();
    }
    if (!taken_) return false;
    if (apart && (!taken_->apart || (fresh_ && taken_->firstRow <= lastRow_))) {
        readWhole();
        return take();
    }
    fresh_ = false;
    shown_ = std::max(shown_, taken_->inflated);  // the parsers' reading differs a little
    Progress::instance().update(book.fileName(), shown_, taken_->declared);
    return true;
}

// Opens the part for `parsers` parsers side by side: one when it is small, or when threads for
// them all are not to be had.
void XlsxSheet::Reader::open(int parsers) {
    source_ = std::make_unique<InflatedPart>(
        book.fileName(), part_,
        QStringLiteral("sheet %1: missing part %2").arg(quoted(name_), part_));
    if (parsers >= 2 && source_->declared() >= 4 * xlsxPieceBytes) {
        source_->start(parsers);
        bool threaded = source_->threaded();
        for (int parity = 0; threaded && parity < parsers; ++parity) {
            parsers_.push_back(std::make_unique<SheetParser>(book, name_, part_, *source_, parity));
            threaded = parsers_.back()->threaded();
        }
        if (threaded) return;
        // Without threads to be had, the parsers would wait for each other.
        stopParsers();
        return open(1);
    }
    source_->start(1);
    parsers_.push_back(std::make_unique<SheetParser>(book, name_, part_, *source_, -1));
}

void XlsxSheet::Reader::readWhole() {
    taken_ = nullptr;
    stopParsers();
    open(1);
    skip_ = handed_;
    handed_ = 0;
}

const XlsxCell* XlsxSheet::cell(int column) const {
    const std::span<const XlsxCell> row = reader_->cells;
    const auto it = std::lower_bound(row.begin(), row.end(), column,
                                     [](const XlsxCell& c, int col) { return c.column < col; });
    return it != row.end() && it->column == column ? &*it : nullptr;
}

Diagnostic XlsxSheet::at(int column, const QString& what) const {
    const qsizetype row = reader_->row;
    return Diagnostic{reader_->book.fileName(), row, column + 1,
                      QStringLiteral("sheet %1, cell %2: %3")
                          .arg(quoted(name_), columnName(column) + QString::number(row), what)};
}

}  // namespace velmora::mkdb
