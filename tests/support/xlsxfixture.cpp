// SPDX-License-Identifier: GPL-3.0-or-later
#include "xlsxfixture.h"

#include <zip.h>

#include <QTemporaryFile>

namespace velmora::test {

QByteArray sheetXml(const QByteArray& rows) {
    return "<?xml version=\"1.0\"?>\n<worksheet><sheetData>" + rows + "</sheetData></worksheet>";
}

Parts workbook(const Parts& sheets, const Parts& parts, const QByteArray& strings) {
    QByteArray list, rels;
    for (const auto& [name, target] : sheets) {
        const QByteArray id = QByteArray::number(list.size());
        list += "<sheet name=\"" + name + "\" r:id=\"" + id + "\"/>";
        rels += "<Relationship Id=\"" + id + "\" Target=\"" + target + "\"/>";
    }
    return Parts(parts) << std::pair("xl/strings.xml", "<sst>" + strings + "</sst>")
                        << std::pair("xl/workbook.xml", "<workbook xmlns:r=\"urn:r\"><sheets>" +
                                                            list + "</sheets></workbook>")
                        << std::pair("xl/_rels/workbook.xml.rels",
                                     "<Relationships>" + rels +
                                         "<Relationship Id=\"s\" Type=\"urn:x/sharedStrings\" "
                                         "Target=\"strings.xml\"/></Relationships>");
}

QByteArray zip(const Parts& parts, int method) {
    QTemporaryFile file;
    zipFile z = file.open() ? zipOpen64(file.fileName().toLocal8Bit().constData(), 0) : nullptr;
    for (const auto& [name, bytes] : parts) {
        zipOpenNewFileInZip64(z, name.constData(), nullptr, nullptr, 0, nullptr, 0, nullptr, method,
                              6, 0);
        zipWriteInFileInZip(z, bytes.constData(), unsigned(bytes.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
    return file.readAll();
}

}  // namespace velmora::test
