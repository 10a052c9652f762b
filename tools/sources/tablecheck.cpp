// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/tablecheck.h"

#include "common/outsidetext.h"
#include "fooddb/foodcolumns.h"
#include "fooddb/foodtableid.h"
#include "fooddb/sqlite.h"
#include "tools/formats/diagnostic.h"
#include "tools/formats/inputfile.h"
#include "tools/formats/xlsxreader.h"

#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <array>
#include <optional>

namespace velmora::mkdb {

namespace {

using Is = FileKind::Is;

constexpr DownloadSource kFdc{"fdc", "a FoodData Central download", "fdc.mdb", true};
constexpr DownloadSource kSr{"sr", "a USDA SR release", "sr.mdb", true};
constexpr DownloadSource kCiqual{"ciqual", "a Ciqual download", "ciqual.mdb", true};
constexpr DownloadSource kCnf{"cnf", "a Canadian Nutrient File download", "cnf.mdb", true};
constexpr DownloadSource kNevo{"nevo", "a NEVO download", "nevo.mdb", false};
constexpr DownloadSource kCofid{"cofid", "a CoFID workbook", "cofid.mdb", false};
constexpr DownloadSource kBls{"bls", "a BLS workbook", "bls.mdb", false};
constexpr DownloadSource kAfcd{"afcd", "an AFCD workbook", "afcd.mdb", false};
constexpr DownloadSource kCsv{"", "a list of foods in velmora-mkdb's CSV form", "table.mdb", false};

// Enough for any header line the sources write (NEVO's names some 140 columns).
constexpr qsizetype kHeadBytes = 16384;
// What a folder or an archive may cost: the entries looked into, and the size of a workbook
// inside an archive that is unpacked to look at its sheets.
constexpr int kEntriesRead = 64;
constexpr int kEntriesListed = 5000;
constexpr quint64 kLargestWorkbook = quint64(256) << 20;

struct Head {
    QByteArray bytes;
    qint64 size = 0;  // of the whole file
};

std::optional<Head> readHead(const QString& path) {
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    Head head;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    head.size = info.st_size;
    head.bytes.resize(qsizetype(std::min<qint64>(kHeadBytes, info.st_size)));
    const ssize_t n = ::pread(fd, head.bytes.data(), std::size_t(head.bytes.size()), 0);
    ::close(fd);
    if (n < 0) return std::nullopt;
    head.bytes.resize(n);
    return head;
}

// The first line, a byte order mark and the line end taken off.
QString firstLine(const QByteArray& head) {
    QByteArray line = head.left(head.indexOf('\n'));
    if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
    if (line.endsWith('\r')) line.chop(1);
    return QString::fromUtf8(line);
}

QStringList headerCells(const QString& line, QChar separator) {
    QStringList cells = line.split(separator);
    for (QString& cell : cells) {
        cell = cell.trimmed();
        if (cell.size() >= 2 && cell.startsWith(u'"') && cell.endsWith(u'"'))
            cell = cell.sliced(1, cell.size() - 2);
    }
    return cells;
}

bool isCsvForm(const QStringList& cells) {
    if (cells.size() != kBoundFieldCount) return false;
    for (int c = 0; c < kBoundFieldCount; ++c) {
        const std::string_view name = kFoodColumns[std::size_t(c)].name;
        if (cells[c].compare(QLatin1StringView(name.data(), qsizetype(name.size())),
                             Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

// The download whose file begins with `head`, by its header line or its first records.
const DownloadSource* textDownload(const QByteArray& head) {
    const QString line = firstLine(head);
    if (line.contains(u'|') && (line.contains(u"NEVO-versie", Qt::CaseInsensitive) ||
                                line.contains(u"NEVO-version", Qt::CaseInsensitive) ||
                                line.contains(u"NEVO-code", Qt::CaseInsensitive)))
        return &kNevo;
    // Every SR file's record starts with a food's number or a code in tildes: ~01001~^.
    static const QRegularExpression sr(QStringLiteral("^~\\d{3,5}~\\^"));
    if (sr.match(line).hasMatch()) return &kSr;
    static const QRegularExpression ciqual(
        QStringLiteral("<TABLE>\\s*<(ALIM|ALIM_GRP|CONST|COMPO|SOURCES)[\\s>]"),
        QRegularExpression::CaseInsensitiveOption);
    if (ciqual.match(QString::fromUtf8(head.left(4096))).hasMatch()) return &kCiqual;
    const QStringList cells = headerCells(line, u',');
    if (cells.contains(u"fdc_id", Qt::CaseInsensitive)) return &kFdc;
    for (const char* first :
         {"FoodID", "Food_Code", "NutrientID", "Nutrient_Code", "MeasureID", "Measure_Code"})
        if (cells.value(0).compare(QLatin1StringView(first), Qt::CaseInsensitive) == 0)
            return &kCnf;
    if (isCsvForm(cells)) return &kCsv;
    return nullptr;
}

bool isText(const QByteArray& head) {
    return std::none_of(head.begin(), head.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f';
    });
}

bool isAccess(const QByteArray& head) {
    const QByteArray kind = head.mid(4, 16);
    return head.startsWith(QByteArray("\0\1\0\0", 4)) &&
           (kind == QByteArray("Standard Jet DB\0", 16) ||
            kind == QByteArray("Standard ACE DB\0", 16));
}

bool isZip(const QByteArray& head) {
    return head.startsWith("PK\3\4") || head.startsWith("PK\5\6");
}

// A sheet numbered 1.3 ("1.3 Proximates"), one of all foods per 100 g, a first row headed "BLS
// Code": the workbooks velmora-mkdb reads, as each reader finds its sheets.
const DownloadSource* workbookDownload(const QString& path) {
    const DownloadSource* found = nullptr;
    try {
        XlsxWorkbook book(path, XlsxLimits{.inflated = kLargestWorkbook});
        static const QRegularExpression cofid(QStringLiteral("^\\s*1\\.3(\\s|$)"));
        for (const QString& name : book.sheetNames()) {
            if (cofid.match(name).hasMatch()) found = &kCofid;
            if (name.startsWith(u"All solids & liquids per 100", Qt::CaseInsensitive))
                found = &kAfcd;
            if (found) break;
        }
        for (qsizetype s = 0; !found && s < std::min<qsizetype>(book.sheetNames().size(), 16);
             ++s) {
            XlsxSheet sheet = book.sheet(book.sheetNames()[s]);
            if (!sheet.next()) continue;
            for (const XlsxCell& cell : sheet.cells())
                if (QString::fromUtf8(cell.text).trimmed().compare(u"BLS Code",
                                                                   Qt::CaseInsensitive) == 0)
                    found = &kBls;
        }
    } catch (const Fault&) {
        // Not a workbook it can read: none of the tables.
    }
    Progress::instance().clear();
    return found;
}

// The directory part of `path` inside an archive or a folder ("" at its root).
QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

class Archive {
  public:
    explicit Archive(const QString& path) : zip_(unzOpen64(encodeFileName(path).constData())) {}
    ~Archive() {
        if (zip_) unzClose(zip_);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool isWorkbook() { return zip_ && unzLocateFile(zip_, "xl/workbook.xml", 2) == UNZ_OK; }

    // The download the archive holds: its kind, and where it lies inside.
    std::optional<std::pair<const DownloadSource*, QString>> download() {
        if (!zip_) return std::nullopt;
        int listed = 0, read = 0;
        std::optional<std::pair<const DownloadSource*, QString>> file;
        for (int at = unzGoToFirstFile(zip_);
             at == UNZ_OK && listed < kEntriesListed && read < kEntriesRead;
             at = unzGoToNextFile(zip_), ++listed) {
            char name[1024] = {};
            unz_file_info64 info{};
            if (unzGetCurrentFileInfo64(zip_, &info, name, sizeof name - 1, nullptr, 0, nullptr,
                                        0) != UNZ_OK)
                break;
            const QString entry = QString::fromUtf8(name);
            if (entry.endsWith(u'/') || info.uncompressed_size == 0) continue;
            ++read;
            const QByteArray head = entryBytes(kHeadBytes);
            const DownloadSource* source = isZip(head) && info.uncompressed_size <= kLargestWorkbook
                                               ? nestedWorkbook()
                                               : textDownload(head);
            if (!source) continue;
            // A folder download is unpacked into the entries' folder; a file is itself.
            if (source->folder) return std::pair(source, folderOf(entry));
            if (!file) file = std::pair(source, entry);
        }
        return file;
    }

  private:
    QByteArray entryBytes(qint64 limit) {
        QByteArray bytes;
        if (unzOpenCurrentFile(zip_) != UNZ_OK) return bytes;
        bytes.resize(qsizetype(limit));
        qsizetype at = 0;
        int n = 0;
        while (at < bytes.size() &&
               (n = unzReadCurrentFile(zip_, bytes.data() + at,
                                       unsigned(std::min<qsizetype>(bytes.size() - at, 1 << 20)))) >
                   0)
            at += n;
        unzCloseCurrentFile(zip_);
        bytes.resize(at);
        return bytes;
    }

    // A workbook inside the archive, looked at from a temporary copy.
    const DownloadSource* nestedWorkbook() {
        QTemporaryFile copy;
        if (!copy.open()) return nullptr;
        const QByteArray bytes = entryBytes(qint64(kLargestWorkbook));
        if (copy.write(bytes) != bytes.size() || !copy.flush()) return nullptr;
        return workbookDownload(copy.fileName());
    }

    unzFile zip_;
};

// A folder holding a download: a folder download's files, else a file velmora-mkdb reads.
FileKind folderKind(const QString& path) {
    FileKind kind{Is::Folder, nullptr, {}};
    int read = 0;
    for (const QString& name : folderNames(path, false)) {
        if (read >= kEntriesRead) break;
        if (name == u"." || name == u"..") continue;
        const QString entry = inFolder(path, name);
        const std::optional<Head> head = readHead(entry);
        if (!head || head->size == 0) continue;
        ++read;
        const DownloadSource* source = isZip(head->bytes) ? nullptr : textDownload(head->bytes);
        if (!source) continue;
        if (source->folder) return {Is::Download, source, {}};
        if (!kind.source) kind = {Is::InFolder, source, name};
    }
    return kind;
}

bool hasFoodTable(const QString& path) {
    // As the file stands, whatever another program does to it: the schema is all it reads.
    try {
        const sqlite::Database db(
            "file:" + encodeFileName(path).toPercentEncoding("/") + "?immutable=1",
            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        sqlite::Statement st = db.prepare(QStringLiteral(
            "SELECT 1 FROM sqlite_schema WHERE name = 'CSR14' COLLATE NOCASE AND type IN "
            "('table', 'view')"));
        return st.step();
    } catch (const sqlite::Error&) {
        return true;  // damaged or unreadable: opening it says what is wrong
    }
}

FileKind fileKind(const QString& path, const Head& head) {
    const QByteArray& b = head.bytes;
    if (head.size == 0) return {Is::Empty, nullptr, {}};
    if (b.startsWith(QByteArray("SQLite format 3\0", 16))) {
        const bool marked = b.size() >= kApplicationIdOffset + 4 &&
                            qFromBigEndian<quint32>(b.constData() + kApplicationIdOffset) ==
                                kFoodTableApplicationId;
        return marked || hasFoodTable(path) ? FileKind{} : FileKind{Is::Sqlite, nullptr, {}};
    }
    if (isAccess(b)) return {Is::Access, nullptr, {}};
    if (isZip(b)) {
        Archive archive(path);
        if (archive.isWorkbook()) {
            const DownloadSource* book = workbookDownload(path);
            return {book ? Is::Download : Is::Workbook, book, {}};
        }
        if (const auto found = archive.download())
            return {Is::ZippedDownload, found->first, found->second};
        return {Is::Zip, nullptr, {}};
    }
    if (const DownloadSource* source = textDownload(b)) {
        if (!source->folder) return {Is::Download, source, {}};
        return {Is::DownloadFile, source, {}};
    }
    return {isText(b) ? Is::Text : Is::Other, nullptr, {}};
}

// `text` as one word of a shell command.
QString shellWord(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    const QString shown = printableLine(text);
    if (plain.match(shown).hasMatch()) return shown;
    return u'\'' + QString(shown).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

QString command(const DownloadSource& source, const QString& input) {
    QString out = QLatin1StringView(source.output);
    // A list of foods builds the table of its own name: mine.csv, mine.mdb.
    if (!*source.option) {
        const QString name = input.section(u'/', -1);
        if (const qsizetype dot = name.lastIndexOf(u'.'); dot > 0)
            out = name.left(dot) + QStringLiteral(".mdb");
    }
    // Never the input's own name: velmora-mkdb would refuse to write over it.
    if (input.section(u'/', -1) == out) out.prepend(QStringLiteral("new-"));
    QString text = QStringLiteral("velmora-mkdb ");
    if (*source.option) text += QStringLiteral("--%1 ").arg(QLatin1StringView(source.option));
    return text + shellWord(input) + u' ' + out;
}

}  // namespace

FileKind identifyFile(const QString& path) {
    struct stat info {};
    if (::stat(encodeFileName(path).constData(), &info) != 0) return {};
    if (S_ISDIR(info.st_mode)) return folderKind(path);
    const std::optional<Head> head = readHead(path);
    return head ? fileKind(path, *head) : FileKind{};
}

QString notATableMessage(const QString& path, const QString& shown) {
    const FileKind kind = identifyFile(path);
    const QString name = printableLine(shown);
    const auto noun = [&] { return QLatin1StringView(kind.source->noun); };
    switch (kind.is) {
        case Is::FoodTable:
            return {};
        case Is::Download:
            return QStringLiteral("%1 is %2, not a food table: build one with %3")
                .arg(name, noun(), command(*kind.source, shown));
        case Is::InFolder:
            return QStringLiteral(
                       "%1 is a folder that holds %2, not a food table: build one with "
                       "%3")
                .arg(name, noun(), command(*kind.source, inFolder(shown, kind.input)));
        case Is::DownloadFile: {
            const QString folder = folderOf(shown);
            return QStringLiteral(
                       "%1 is a file of %2, not a food table: build one from its folder "
                       "with %3")
                .arg(name, noun(),
                     command(*kind.source, folder.isEmpty() ? QStringLiteral(".") : folder));
        }
        case Is::ZippedDownload:
            if (kind.source->folder && kind.input.isEmpty())
                return QStringLiteral(
                           "%1 is a ZIP archive of %2, not a food table: unpack it "
                           "into a folder and build one with %3")
                    .arg(name, noun(), command(*kind.source, QStringLiteral("FOLDER")));
            return QStringLiteral(
                       "%1 is a ZIP archive of %2, not a food table: unpack it and "
                       "build one with %3")
                .arg(name, noun(), command(*kind.source, kind.input));
        case Is::Sqlite:
            return QStringLiteral(
                       "%1 is an SQLite database without the table CSR14, not a food "
                       "table.")
                .arg(name);
        case Is::Access:
            return QStringLiteral(
                       "%1 is a Microsoft Access database, not a food table: Velmora "
                       "reads the tables velmora-mkdb builds.")
                .arg(name);
        case Is::Folder:
            return QStringLiteral(
                       "%1 is a folder that holds no download velmora-mkdb reads, not "
                       "a food table.")
                .arg(name);
        case Is::Empty:
            return QStringLiteral("%1 is an empty file, not a food table.").arg(name);
        case Is::Text:
            return QStringLiteral("%1 is a text file, not a food table.").arg(name);
        case Is::Workbook:
            return QStringLiteral(
                       "%1 is a workbook of none of the tables velmora-mkdb reads, not "
                       "a food table.")
                .arg(name);
        case Is::Zip:
            return QStringLiteral(
                       "%1 is a ZIP archive that holds no download velmora-mkdb "
                       "reads, not a food table.")
                .arg(name);
        case Is::Other:
            break;
    }
    return QStringLiteral("%1 holds data of a kind Velmora does not know, not a food table.")
        .arg(name);
}

}  // namespace velmora::mkdb
