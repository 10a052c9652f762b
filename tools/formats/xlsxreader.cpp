// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/formats/xlsxreader.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/formats/expatparser.h"

#include <QDir>
#include <QHash>
#include <QSet>

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

// How much of a part is inflated at a time and handed to the XML parser.
constexpr qsizetype kChunk = qsizetype(1) << 16;

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

// The workbook's ZIP archive, one part open at a time. What it inflates counts against the
// workbook's budget, shared by all its parts and sheets.
class Archive {
  public:
    Archive(const QString& file, std::uint64_t& budget, std::uint64_t limit)
        : file_(file), budget_(budget), limit_(limit) {
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
    // Refuses an archive with two entries of one name (ignoring case, as part names compare),
    // which other programs would read differently: the package format forbids it.
    void checkNames();
    std::uint64_t inflated() const { return inflated_; }
    std::uint64_t declared() const { return declared_; }

    // FILE:1:1: PART: what
    [[noreturn]] void fail(const QString& what) const {
        throw Fault{{file_, 1, 1, part_.isEmpty() ? what : part_ + u": "_s + what}};
    }

  private:
    QString file_, part_;
    std::uint64_t& budget_;
    const std::uint64_t limit_;
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
    budget_ += std::uint64_t(count);
    if (inflated_ > kMaxPartBytes) fail(QStringLiteral("the part inflates to more than 1 GB"));
    if (budget_ > limit_)
        fail(QStringLiteral("the workbook's parts inflate to more than %1 MB in all")
                 .arg(limit_ >> 20));
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

void Archive::checkNames() {
    QSet<QString> names;
    char name[1024];
    for (int at = unzGoToFirstFile(zip_); at == UNZ_OK; at = unzGoToNextFile(zip_)) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip_, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            fail(QStringLiteral("damaged ZIP archive (an entry of its directory)"));
        const QString entry = QString::fromUtf8(
            name, qsizetype(std::min<std::uint64_t>(info.size_filename, sizeof name - 1)));
        if (names.contains(entry.toCaseFolded()))
            fail(QStringLiteral("damaged ZIP archive: two entries named %1").arg(quoted(entry)));
        names.insert(entry.toCaseFolded());
    }
}

// One XML part parsed by one expat parser as it is inflated, a chunk at a time.
class XlsxPart {
  public:
    // `label` names the part in messages; `missing` is the fault when the archive lacks it.
    // The part's inflation counts against `budget`, at most `limit`.
    XlsxPart(XmlHandler& handler, const QString& file, std::uint64_t& budget, std::uint64_t limit,
             const QString& part, const QString& label, const QString& missing)
        : archive_(file, budget, limit), xml_(handler, file, label) {
        if (!archive_.open(part)) throw Fault{{file, 1, 1, missing}};
    }
    // Parses on until the handler suspends (true) or the whole part is read and checked against
    // its checksum (false). Throws Fault.
    bool advance() {
        return xml_.advance([&] {
            const qsizetype count = archive_.read(chunk_.data(), kChunk);
            Progress::instance().update(xml_.file(), archive_.inflated(), archive_.declared());
            return xml_.feed({chunk_.data(), std::size_t(count)}, count == 0);
        });
    }
    void readAll() {
        while (advance()) {
        }
    }

  private:
    Archive archive_;
    ExpatParser xml_;
    std::array<char, kChunk> chunk_;
};

}  // namespace

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
    SheetList(const Relationships& relationships, const QString& relsPart, qsizetype limit)
        : relationships_(relationships), relsPart_(relsPart), limit_(limit) {}
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
        if (names.size() >= limit_)
            fail(QStringLiteral("the workbook lists more than %1 sheets").arg(limit_));
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
    qsizetype limit_;  // of the sheets listed
};

}  // namespace

// Each <si> is one text: its <t>, or the <t> of its rich-text runs <r> one after the other. The
// phonetic guide <rPh> is not part of the text. Their number and size are bounded, as a crafted
// part of a megabyte could otherwise list hundreds of millions of empty ones.
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
        if (book_.strings_.find('\0', book_.starts_.back()) != std::string::npos)
            book_.withNul_.push_back(std::uint32_t(book_.starts_.size() - 1));
        if (book_.starts_.size() > book_.limits_.sharedStrings)
            fail(QStringLiteral("more than %1 shared strings").arg(book_.limits_.sharedStrings));
        book_.starts_.push_back(std::uint32_t(book_.strings_.size()));
    }
    void text(std::string_view utf8) override {
        if (!inText_) return;
        if (book_.strings_.size() + utf8.size() > book_.limits_.sharedStringBytes)
            fail(QStringLiteral("the shared strings hold more than %1 bytes of text")
                     .arg(book_.limits_.sharedStringBytes));
        book_.strings_ += utf8;
    }

    XlsxWorkbook& book_;
    bool inText_ = false, phonetic_ = false;
};

XlsxWorkbook::XlsxWorkbook(const QString& path, const XlsxLimits& limits)
    : path_(path), limits_(limits) {
    checkSignature(path);
    Archive(path, inflated_, limits_.inflated).checkNames();
    const QString kBook = u"xl/workbook.xml"_s, kRels = u"xl/_rels/workbook.xml.rels"_s;
    Relationships relationships;
    SheetList sheets(relationships, kRels, limits_.sheets);
    // The workbook's part first: without it the file is no workbook, whatever else it lacks.
    XlsxPart book(sheets, path, inflated_, limits_.inflated, kBook, kBook,
                  u"not an .xlsx workbook: the archive has no part xl/workbook.xml"_s);
    XlsxPart(relationships, path, inflated_, limits_.inflated, kRels, kRels,
             u"missing part xl/_rels/workbook.xml.rels"_s)
        .readAll();
    book.readAll();
    names_ = sheets.names;
    parts_ = sheets.parts;
    if (relationships.sharedStrings.isEmpty()) return;
    StringReader strings(*this);
    XlsxPart(strings, path, inflated_, limits_.inflated, relationships.sharedStrings,
             relationships.sharedStrings, u"missing part "_s + relationships.sharedStrings)
        .readAll();
}

QString XlsxWorkbook::sheetStartingWith(QStringView prefix) const {
    for (const QString& name : names_)
        if (name.startsWith(prefix)) return name;
    return {};
}

QString XlsxWorkbook::sheetList() const {
    QStringList shown;
    for (qsizetype i = 0; i < names_.size() && i < kSheetsListed; ++i) shown << quoted(names_[i]);
    if (names_.size() > kSheetsListed)
        shown << QStringLiteral("and %1 more").arg(names_.size() - kSheetsListed);
    return shown.isEmpty() ? u"none"_s : shown.join(u", ");
}

XlsxSheet XlsxWorkbook::sheet(const QString& name) const {
    const qsizetype i = names_.indexOf(name);
    if (i < 0)
        throw Fault{{path_, 1, 1,
                     QStringLiteral("the workbook has no sheet %1 (its sheets: %2)")
                         .arg(quoted(name), sheetList())}};
    // A part is read once: sheets that all name one part would cost its reading each.
    for (const auto& [sheet, part] : opened_)
        if (part.compare(parts_[i], Qt::CaseInsensitive) == 0)
            throw Fault{{path_, 1, 1,
                         QStringLiteral("sheet %1: its part %2 is sheet %3's too")
                             .arg(quoted(name), parts_[i], quoted(sheet))}};
    opened_.emplace_back(name, parts_[i]);
    return XlsxSheet(*this, name, parts_[i]);
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

// A sheet's part parsed as it is inflated, suspended at the end of each row that holds a cell:
// a row at a time is kept, with its cells and the texts that are not shared strings.
class XlsxSheet::Reader final : public XmlHandler {
  public:
    Reader(const XlsxWorkbook& book, const QString& name, const QString& part)
        : book(book),
          part_(*this, book.fileName(), book.inflated_, book.limits_.inflated, part,
                QStringLiteral("%1 (sheet %2)").arg(part, quoted(name)),
                QStringLiteral("sheet %1: missing part %2").arg(quoted(name), part)) {}

    // Reads the next row that holds a cell; false after the last.
    bool next() {
        cells.clear();
        text_.clear();
        spans_.clear();
        for (;;) {
            if (!part_.advance()) return false;
            if (!cells.empty()) break;
        }
        // The views are made now: the text grows while the row is read.
        for (std::size_t i = 0; i < cells.size(); ++i)
            cells[i].text = spans_[i].start < 0
                                ? book.sharedString(-1 - spans_[i].start)
                                : std::string_view(text_).substr(std::size_t(spans_[i].start),
                                                                 std::size_t(spans_[i].size));
        return true;
    }

    const XlsxWorkbook& book;
    qsizetype row = 0;  // the current row, or the last one read
    std::vector<XlsxCell> cells;

  private:
    void startElement(std::string_view name, const XmlAttributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view utf8) override {
        if (inText_) text_ += utf8;
    }
    void startRow(const XmlAttributes& attributes);
    void endRow();
    void setRow(qsizetype number);
    void startCell(const XmlAttributes& attributes);
    void endCell();
    [[noreturn]] void nulIn();

    XlsxPart part_;
    // Where a cell's text is: in text_ from `start`, or shared string -1 - `start`.
    struct Span {
        qsizetype start, size;
    };
    std::vector<Span> spans_;
    std::string text_;        // the row's texts that are not shared strings
    qsizetype rowGiven_ = 0;  // the number a reference gave the row being parsed, or 0
    // The cell being read: its column and type, where its text starts, whether it has one.
    struct Pending {
        int column = -1;
        XlsxCell::Type type = XlsxCell::Type::Number;
        bool shared = false;
        bool valued = false;
        qsizetype start = 0;
    } cell_;
    bool inRow_ = false, inText_ = false, phonetic_ = false;
};

void XlsxSheet::Reader::startElement(std::string_view name, const XmlAttributes& attributes) {
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

void XlsxSheet::Reader::endElement(std::string_view name) {
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

void XlsxSheet::Reader::setRow(qsizetype number) {
    if (number <= row)
        fail(QStringLiteral("row %1 after row %2: rows out of order").arg(number).arg(row));
    rowGiven_ = number;
}

void XlsxSheet::Reader::startRow(const XmlAttributes& attributes) {
    inRow_ = true;
    inText_ = phonetic_ = false;
    cell_ = {};
    rowGiven_ = 0;
    const std::string_view r = attributes.value("r");
    if (r.empty()) return;
    const qsizetype number = decimal(r, kMaxRows);
    if (number < 1) fail(QStringLiteral("row number %1 is not valid").arg(quoted(r)));
    setRow(number);
}

// Hands the row over when it holds a cell.
void XlsxSheet::Reader::endRow() {
    inRow_ = false;
    row = rowGiven_ ? rowGiven_ : row + 1;
    if (row > kMaxRows) fail(QStringLiteral("more than %1 rows").arg(kMaxRows));
    if (!cells.empty()) parser().suspend();
}

void XlsxSheet::Reader::startCell(const XmlAttributes& attributes) {
    const std::string_view ref = attributes.value("r"), t = attributes.value("t");
    // A cell without a reference follows the one before it.
    int column = cell_.column + 1;
    if (!ref.empty()) {
        const auto place = cellReference(ref);
        if (!place) fail(QStringLiteral("cell reference %1 is not valid").arg(quoted(ref)));
        if (!rowGiven_) setRow(place->second);
        if (place->second != rowGiven_)
            fail(QStringLiteral("cell %1 in row %2").arg(quoted(ref)).arg(rowGiven_));
        if (place->first < column)
            fail(QStringLiteral("cell %1 after column %2: cells out of order")
                     .arg(quoted(ref), columnName(cell_.column)));
        column = place->first;
    }
    if (column >= kMaxColumns) fail(QStringLiteral("a cell beyond column XFD"));
    const std::optional<XlsxCell::Type> type = cellType(t);
    if (!type) fail(QStringLiteral("cell type %1 is not known").arg(quoted(t)));
    cell_.type = *type;
    cell_.shared = t.size() == 1 && t[0] == 's';
    cell_.column = column;
    cell_.valued = false;
    cell_.start = qsizetype(text_.size());
}

// A NUL written as _x0000_ is refused, as the delimited readers refuse one: no description or
// measure holds one.
void XlsxSheet::Reader::nulIn() {
    fail(QStringLiteral("cell %1: NUL character")
             .arg(columnName(cell_.column) + QString::number(rowGiven_ ? rowGiven_ : row + 1)));
}

void XlsxSheet::Reader::endCell() {
    Span span{cell_.start, qsizetype(text_.size()) - cell_.start};
    if (cell_.shared && cell_.valued) {
        const std::string_view digits =
            std::string_view(text_).substr(std::size_t(span.start), std::size_t(span.size));
        const qsizetype index = decimal(digits, book.sharedStringCount());
        if (index < 0 || index >= book.sharedStringCount())
            fail(QStringLiteral("cell %1: shared string %2 does not exist (there are %3)")
                     .arg(columnName(cell_.column) +
                              QString::number(rowGiven_ ? rowGiven_ : row + 1),
                          quoted(digits), QString::number(book.sharedStringCount())));
        text_.resize(std::size_t(cell_.start));
        span = {-1 - index, qsizetype(book.sharedString(index).size())};
        if (std::binary_search(book.withNul_.begin(), book.withNul_.end(), std::uint32_t(index)))
            nulIn();
    } else if (cell_.type == XlsxCell::Type::Text) {
        unescape(text_, std::size_t(cell_.start));
        span.size = qsizetype(text_.size()) - cell_.start;
        if (text_.find('\0', std::size_t(cell_.start)) != std::string::npos) nulIn();
    }
    // A cell without a value, or with an empty text, is an empty cell: absent.
    if (!cell_.valued || span.size == 0) return;
    cells.push_back({cell_.column, cell_.type, {}});
    spans_.push_back(span);
}

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
