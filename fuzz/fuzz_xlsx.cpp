// SPDX-License-Identifier: GPL-3.0-or-later
// The workbook reader on any shared strings and sheet XML (the input split at the byte 0x1E),
// packed into a workbook with minizip: rows that rise, cells that rise within the bounds and are
// found again by column, their texts UTF-8; or a fault placed inside a line of the part at fault.
#include <zip.h>
#include <QTemporaryDir>
#include "common/utf8text.h"
#include "fuzzcheck.h"
#include "tools/formats/xlsxreader.h"

using namespace velmora::mkdb;

static const QString& workbookPath() {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(u"fuzz.xlsx"_s);
    return path;
}

static void writeWorkbook(const QByteArray& strings, const QByteArray& sheet) {
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::pair<const char*, QByteArray> parts[] = {
        {"xl/workbook.xml", "<workbook xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" r:id=\"a\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"a\" Target=\"s.xml\"/><Relationship Id=\"b\" Type=\"" +
             rel + "/sharedStrings\" Target=\"t.xml\"/></Relationships>"},
        {"xl/t.xml", strings},
        {"xl/s.xml", sheet}};
    zipFile zip = zipOpen64(workbookPath().toLocal8Bit().constData(), APPEND_STATUS_CREATE);
    FUZZ_REQUIRE(zip);
    for (const auto& [name, bytes] : parts) {
        zipOpenNewFileInZip64(zip, name, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0);
        zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size()));
        zipCloseFileInZip(zip);
    }
    FUZZ_REQUIRE(zipClose(zip, nullptr) == ZIP_OK);
}

// Readers convert the texts they keep from UTF-8 and store them as they are.
static bool isUtf8(std::string_view text) {
    for (const char *p = text.data(), *end = p + text.size(); p < end;) {
        const qsizetype n = utf8SequenceLength(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

static void checkFault(const Fault& fault, const QList<QByteArray>& parts) {
    const Diagnostic& e = fault.diagnostic;
    const QByteArray& part = e.what.startsWith(u"xl/t.xml"_s) ? parts.value(0) : parts.value(1);
    FUZZ_REQUIRE(e.file == workbookPath() && e.line >= 1 && e.column >= 1 &&
                 e.line <= part.count('\n') + part.count('\r') + 1);
}

// The sheet's rows and cells, as the readers take them, to the end or to a fault.
static void read(const XlsxWorkbook& book, const QList<QByteArray>& parts) {
    try {
        XlsxSheet sheet = book.sheet(u"S"_s);
        for (qsizetype last = 0; sheet.next(); last = sheet.row()) {
            FUZZ_REQUIRE(sheet.row() > last && sheet.row() <= kMaxRows);
            int column = -1;
            for (const XlsxCell& c : sheet.cells()) {
                FUZZ_REQUIRE(c.column > column && c.column < kMaxColumns && !c.text.empty() &&
                             isUtf8(c.text) && sheet.cell(c.column) == &c);
                column = c.column;
            }
        }
    } catch (const Fault& fault) {
        checkFault(fault, parts);
    }
}

void fuzzOne(QByteArrayView input) {
    const QList<QByteArray> parts = input.toByteArray().split('\x1E');
    writeWorkbook(parts.value(0), parts.value(1));
    std::optional<XlsxWorkbook> book;
    try {
        book.emplace(workbookPath());
    } catch (const Fault& fault) {
        return checkFault(fault, parts);
    }
    read(*book, parts);
}
