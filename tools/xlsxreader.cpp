// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/xlsxreader.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"

#include <QDir>
#include <QHash>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmora::mkdb {

using namespace Qt::StringLiterals;

namespace {

using Token = QXmlStreamReader::TokenType;

// How much of a part is inflated and handed to the XML reader at a time.
constexpr qsizetype kChunk = qsizetype(1) << 16;

QString quoted(QStringView text) {
    return u'"' + printable(text) + u'"';
}

// A run of decimal digits as a number, or -1 (also when it passes `limit`).
qsizetype decimal(QStringView digits, qsizetype limit) {
    qsizetype value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9' || value > limit) return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return digits.isEmpty() || value > limit ? -1 : value;
}

// Characters XML cannot hold (a carriage return, other control characters) are stored as
// _xHHHH_, and an underscore that would read as such an escape as _x005F_.
void unescape(QString& text, qsizetype from) {
    qsizetype to = text.indexOf(u"_x", from);
    if (to < 0) return;
    const auto hex = [](QChar digit) {
        const char16_t c = digit.unicode(), lower = c | 0x20;
        return c >= u'0' && c <= u'9'           ? c - u'0'
               : lower >= u'a' && lower <= u'f' ? lower - u'a' + 10
                                                : -1;
    };
    for (qsizetype i = to; i < text.size(); ++to) {
        int code = 0;
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_')
            for (qsizetype k = i + 2; k < i + 6 && code >= 0; ++k)
                code = hex(text[k]) < 0 ? -1 : code * 16 + hex(text[k]);
        else
            code = -1;
        text[to] = code >= 0 ? QChar(char16_t(code)) : text[i];
        i += code >= 0 ? 7 : 1;
    }
    text.truncate(to);
}

// Whether an element is named `what`, compared inline: a sheet has millions of elements, most of
// them named with one letter.
template <std::size_t N>
bool named(QStringView name, const char16_t (&what)[N]) {
    if (name.size() != qsizetype(N - 1)) return false;
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (name[qsizetype(i)] != what[i]) return false;
    return true;
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
    Progress::instance().update(file_, inflated_, declared_);
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

}  // namespace

// One XML part, streamed through the reader in chunks as it is inflated.
class XlsxPart {
  public:
    // `label` names the part in messages; `missing` is the fault when the archive lacks it.
    XlsxPart(const QString& file, const QString& part, const QString& label, const QString& missing)
        : file_(file), label_(label), archive_(file), buffer_(std::make_unique<char[]>(kChunk)) {
        if (!archive_.open(part)) throw Fault{{file, 1, 1, missing}};
    }
    // The next token, reading more of the part as needed; EndDocument once the whole part is read
    // and checked. Throws Fault.
    Token next() {
        for (;;) {
            const Token token = xml.readNext();
            // Whatever follows the root element is read for the checksum alone.
            if (token == Token::EndDocument)
                while (archive_.read(buffer_.get(), kChunk) > 0) {
                }
            if (token != Token::Invalid) return token;
            if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError || atEnd_)
                fail(u"damaged XML: "_s + xml.errorString());
            const qsizetype count = archive_.read(buffer_.get(), kChunk);
            atEnd_ = count == 0;
            xml.addData(QByteArray(buffer_.get(), count));
        }
    }
    // FILE:LINE:COLUMN: PART: what, at the reader's place in the part.
    [[noreturn]] void fail(const QString& what) const {
        throw Fault{{file_, qsizetype(xml.lineNumber()), qsizetype(xml.columnNumber()) + 1,
                     label_ + u": "_s + what}};
    }
    QXmlStreamReader xml;

  private:
    QString file_, label_;
    Archive archive_;
    std::unique_ptr<char[]> buffer_;
    bool atEnd_ = false;
};

std::optional<double> XlsxCell::number() const {
    char ascii[64];
    if (type == Type::Boolean || type == Type::Error || text.size() > qsizetype(sizeof ascii))
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F) return std::nullopt;
        ascii[i] = char(text[i].unicode());
    }
    return plainNumber(std::string_view(ascii, std::size_t(text.size())));
}

QString columnName(int column) {
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

namespace {

// A relationship's target as a part name: relative to the workbook's folder, or absolute.
QString partOf(QStringView target) {
    const QString path =
        target.startsWith(u'/') ? target.toString() : u"/xl/"_s + target.toString();
    return QDir::cleanPath(path).mid(1);
}

struct Relationships {
    QHash<QString, QString> parts;  // by id
    QString sharedStrings;
};

Relationships readRelationships(XlsxPart& rels) {
    Relationships found;
    for (Token token; (token = rels.next()) != Token::EndDocument;) {
        if (token != Token::StartElement || rels.xml.name() != u"Relationship") continue;
        const QXmlStreamAttributes a = rels.xml.attributes();
        if (a.value(QLatin1String("TargetMode")) == u"External") continue;
        const QString part = partOf(a.value(QLatin1String("Target")));
        found.parts.insert(a.value(QLatin1String("Id")).toString(), part);
        if (a.value(QLatin1String("Type")).endsWith(u"/sharedStrings")) found.sharedStrings = part;
    }
    return found;
}

// The relationship id of a <sheet>: its "id" attribute in the relationships namespace.
QStringView relationshipId(const QXmlStreamAttributes& attributes) {
    for (const QXmlStreamAttribute& a : attributes)
        if (a.name() == u"id" && !a.namespaceUri().isEmpty()) return a.value();
    return {};
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path) {
    checkSignature(path);
    const QString kBook = u"xl/workbook.xml"_s, kRels = u"xl/_rels/workbook.xml.rels"_s;
    XlsxPart book(path, kBook, kBook,
                  u"not an .xlsx workbook: the archive has no part xl/workbook.xml"_s);
    XlsxPart rels(path, kRels, kRels, u"missing part xl/_rels/workbook.xml.rels"_s);
    const Relationships relationships = readRelationships(rels);
    for (Token token; (token = book.next()) != Token::EndDocument;) {
        if (token != Token::StartElement || book.xml.name() != u"sheet") continue;
        const QXmlStreamAttributes a = book.xml.attributes();
        const QString id = relationshipId(a).toString();
        const QString name = a.value(QLatin1String("name")).toString();
        if (!relationships.parts.contains(id))
            book.fail(QStringLiteral("sheet %1 refers to relationship %2, which %3 lacks")
                          .arg(quoted(name), quoted(id), kRels));
        names_ << name;
        parts_ << relationships.parts.value(id);
    }
    if (relationships.sharedStrings.isEmpty()) return;
    XlsxPart strings(path, relationships.sharedStrings, relationships.sharedStrings,
                     u"missing part "_s + relationships.sharedStrings);
    readSharedStrings(strings);
}

// Each <si> is one text: its <t>, or the <t> of its rich-text runs <r> one after the other. The
// phonetic guide <rPh> is not part of the text.
void XlsxWorkbook::readSharedStrings(XlsxPart& part) {
    bool inText = false, phonetic = false;
    for (Token token; (token = part.next()) != Token::EndDocument;) {
        if (token == Token::Characters) {
            if (inText) strings_ += part.xml.text();
            continue;
        }
        const QStringView name = part.xml.name();
        if (token == Token::StartElement) {
            if (name == u"t") inText = !phonetic;
            if (name == u"rPh") phonetic = true;
        } else if (token == Token::EndElement) {
            if (name == u"t") inText = false;
            if (name == u"rPh") phonetic = false;
            if (name == u"si") {
                unescape(strings_, starts_.back());
                starts_.push_back(strings_.size());
            }
        }
    }
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

// The cell being read: its column and type, where its text starts in text_, whether it has one.
struct XlsxSheet::Pending {
    int column = -1;
    XlsxCell::Type type = XlsxCell::Type::Number;
    bool shared = false;
    bool valued = false;
    qsizetype start = 0;
};

XlsxSheet::XlsxSheet(const XlsxWorkbook& book, const QString& name, const QString& part)
    : book_(book),
      name_(name),
      part_(std::make_unique<XlsxPart>(
          book.fileName(), part, QStringLiteral("%1 (sheet %2)").arg(part, quoted(name)),
          QStringLiteral("sheet %1: missing part %2").arg(quoted(name), part))) {}

XlsxSheet::XlsxSheet(XlsxSheet&&) noexcept = default;
XlsxSheet::~XlsxSheet() = default;

bool XlsxSheet::next() {
    while (part_) {
        const Token token = part_->next();
        if (token == Token::EndDocument) part_.reset();
        if (token == Token::StartElement && named(part_->xml.name(), u"row") && readRow())
            return true;
    }
    cells_.clear();
    return false;
}

void XlsxSheet::setRow(qsizetype number) {
    if (number <= row_)
        part_->fail(QStringLiteral("row %1 after row %2: rows out of order").arg(number).arg(row_));
    rowGiven_ = number;
}

// Reads the row whose <row> the reader is at; false when it holds no cell.
bool XlsxSheet::readRow() {
    cells_.clear();
    spans_.clear();
    text_.resize(0);
    rowGiven_ = 0;
    const QStringView r = part_->xml.attributes().value(QLatin1String("r"));
    if (!r.isEmpty()) {
        const qsizetype number = decimal(r, kMaxRows);
        if (number < 1) part_->fail(QStringLiteral("row number %1 is not valid").arg(quoted(r)));
        setRow(number);
    }
    Pending cell;
    bool inText = false, phonetic = false;
    for (Token token;
         (token = part_->next()) != Token::EndElement || !named(part_->xml.name(), u"row");) {
        if (token == Token::Characters) {
            if (inText) text_ += part_->xml.text();
            continue;
        }
        if (token == Token::EndDocument) part_->fail(u"the part ends inside a row"_s);
        const QStringView name = part_->xml.name();
        if (token == Token::StartElement) {
            if (named(name, u"c")) startCell(cell);
            // A value, or an inline string's text (also of its rich-text runs).
            if (named(name, u"v") || (named(name, u"t") && !phonetic)) inText = cell.valued = true;
            if (named(name, u"rPh")) phonetic = true;
        } else if (token == Token::EndElement) {
            if (named(name, u"v") || named(name, u"t")) inText = false;
            if (named(name, u"rPh")) phonetic = false;
            if (named(name, u"c")) endCell(cell);
            if (named(name, u"c")) cell.valued = false;  // a <c> inside a <c> ends once
        }
    }
    row_ = rowGiven_ ? rowGiven_ : row_ + 1;
    if (row_ > kMaxRows) part_->fail(QStringLiteral("more than %1 rows").arg(kMaxRows));
    for (std::size_t i = 0; i < cells_.size(); ++i)
        cells_[i].text = spans_[i].start < 0
                             ? book_.sharedString(-1 - spans_[i].start)
                             : QStringView(text_).sliced(spans_[i].start, spans_[i].size);
    return !cells_.empty();
}

namespace {

// The column of a reference such as "B7" (from 0), and its row; nothing when it is none.
std::optional<std::pair<int, qsizetype>> cellReference(QStringView ref) {
    qsizetype letters = 0;
    int column = 0;
    while (letters < ref.size() && letters < 4 && ref[letters] >= u'A' && ref[letters] <= u'Z')
        column = column * 26 + (ref[letters++].unicode() - u'A' + 1);
    const qsizetype row = decimal(ref.sliced(letters), kMaxRows);
    if (letters == 0 || column > kMaxColumns || row < 1) return std::nullopt;
    return std::pair(column - 1, row);
}

std::optional<XlsxCell::Type> cellType(QStringView t) {
    using Type = XlsxCell::Type;
    if (t.isEmpty() || t == u"n") return Type::Number;
    if (t == u"s" || t == u"str" || t == u"inlineStr") return Type::Text;
    if (t == u"b") return Type::Boolean;
    if (t == u"e") return Type::Error;
    if (t == u"d") return Type::Date;
    return std::nullopt;
}

}  // namespace

void XlsxSheet::startCell(Pending& cell) {
    const QXmlStreamAttributes attributes = part_->xml.attributes();
    QStringView ref, t;
    for (const QXmlStreamAttribute& a : attributes) {
        if (named(a.qualifiedName(), u"r")) ref = a.value();
        if (named(a.qualifiedName(), u"t")) t = a.value();
    }
    // A cell without a reference follows the one before it.
    int column = cell.column + 1;
    if (!ref.isEmpty()) {
        const auto place = cellReference(ref);
        if (!place) part_->fail(QStringLiteral("cell reference %1 is not valid").arg(quoted(ref)));
        if (!rowGiven_) setRow(place->second);
        if (place->second != rowGiven_)
            part_->fail(QStringLiteral("cell %1 in row %2").arg(quoted(ref)).arg(rowGiven_));
        if (place->first < column)
            part_->fail(QStringLiteral("cell %1 after column %2: cells out of order")
                            .arg(quoted(ref), columnName(cell.column)));
        column = place->first;
    }
    if (column >= kMaxColumns) part_->fail(QStringLiteral("a cell beyond column XFD"));
    const std::optional<XlsxCell::Type> type = cellType(t);
    if (!type) part_->fail(QStringLiteral("cell type %1 is not known").arg(quoted(t)));
    cell.type = *type;
    cell.shared = t == u"s";
    cell.column = column;
    cell.valued = false;
    cell.start = text_.size();
}

void XlsxSheet::endCell(const Pending& cell) {
    Span span{cell.start, text_.size() - cell.start};
    if (cell.shared && cell.valued) {
        const QStringView digits = QStringView(text_).sliced(span.start, span.size);
        const qsizetype index = decimal(digits, book_.sharedStringCount());
        if (index < 0 || index >= book_.sharedStringCount())
            part_->fail(QStringLiteral("cell %1: shared string %2 does not exist (there are %3)")
                            .arg(columnName(cell.column) +
                                     QString::number(rowGiven_ ? rowGiven_ : row_ + 1),
                                 quoted(digits), QString::number(book_.sharedStringCount())));
        text_.truncate(cell.start);
        span = {-1 - index, book_.sharedString(index).size()};
    } else if (cell.type == XlsxCell::Type::Text) {
        unescape(text_, cell.start);
        span.size = text_.size() - cell.start;
    }
    // A cell without a value, or with an empty text, is an empty cell: absent.
    if (!cell.valued || span.size == 0) return;
    cells_.push_back({cell.column, cell.type, {}});
    spans_.push_back(span);
}

const XlsxCell* XlsxSheet::cell(int column) const {
    const auto it = std::lower_bound(cells_.begin(), cells_.end(), column,
                                     [](const XlsxCell& c, int col) { return c.column < col; });
    return it != cells_.end() && it->column == column ? &*it : nullptr;
}

Diagnostic XlsxSheet::at(int column, const QString& what) const {
    return Diagnostic{book_.fileName(), row_, column + 1,
                      QStringLiteral("sheet %1, cell %2: %3")
                          .arg(quoted(name_), columnName(column) + QString::number(row_), what)};
}

}  // namespace velmora::mkdb
