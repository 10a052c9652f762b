// SPDX-License-Identifier: GPL-3.0-or-later
// Workbooks the tests write themselves with minizip: the parts of an .xlsx, and the archive.
#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace velmora::test {

using Parts = QList<std::pair<QByteArray, QByteArray>>;  // entry name, content

// A worksheet part with `rows` as its sheetData.
QByteArray sheetXml(const QByteArray& rows);

// A workbook whose sheets (name, relationship target) lie in the given parts, with `strings` as
// its shared strings' <si> elements.
Parts workbook(const Parts& sheets, const Parts& parts, const QByteArray& strings = "");

// The archive's bytes, written by minizip: deflated (8), or stored (0).
QByteArray zip(const Parts& parts, int method = 8);

}  // namespace velmora::test
