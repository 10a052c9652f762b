// SPDX-License-Identifier: GPL-3.0-or-later
// A small RTF reader: Qt reads HTML and Markdown but not RTF, and the help documents and the About
// text are RTF. It understands the character and paragraph formatting those texts use and skips
// the rest. No input makes it fail: malformed input shows whatever text could be recovered. Only
// running out of memory stops it (std::bad_alloc), which its callers report.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

class QTextDocument;

namespace velmora {

// Replaces the content of `doc` with the RTF text `rtf`. Every character below 256 stands for one
// byte of the document (so a QString made one character per byte reads like the bytes).
// Text after the closing brace of the outermost group, such as trailing NULs, is ignored.
void readRtf(QStringView rtf, QTextDocument& doc);
void readRtf(QByteArrayView rtf, QTextDocument& doc);

// The same, into a new document.
std::unique_ptr<QTextDocument> rtfToDocument(QByteArrayView rtf);

// The family to ask the font system for when an RTF text names `rtfName`. "Fixedsys" exists
// nowhere but on its original system, so it becomes the system's fixed-width font.
QString resolveFontFamily(const QString& rtfName);

}  // namespace velmora
