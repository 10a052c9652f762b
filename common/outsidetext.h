// SPDX-License-Identifier: GPL-3.0-or-later
// Text that comes from outside the program: file names given on a command line, and anything from
// a file that a message quotes back to the user.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <string_view>

namespace velmora {

// File names are bytes. Qt's own conversion turns bytes that are not UTF-8 into U+FFFD, so a
// file named caf\xE9.mdb could not be found again. These keep such a byte as the lone surrogate
// U+DC80 + byte ("surrogate escape"), which no real text holds, and give the byte back.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);

// `name` made absolute against the current folder, both kept byte for byte.
QString absoluteFileName(const QString& name);

// The process's arguments, decoded as file names are (Qt's own list is lossy).
QStringList commandLineArguments(int argc, const char* const* argv);

// For a message: `text` with every control character, line break and escaped byte written as an
// escape (\n, \t, \x1B, \xE9), so nothing quoted from a file can move the cursor or change the
// terminal; longer than `limit` characters, its first `limit` and "…". Every other character,
// a backslash too, stands as written, as the window shows it: an escape reads like the same
// characters in the text itself, which JSON output tells apart.
inline constexpr qsizetype kQuoteLimit = 80;
QString printable(QStringView text, qsizetype limit = kQuoteLimit);

// The same without a limit: one line of output for a text of any length (a description that
// velmora-report lists).
QString printableLine(QStringView text);

// A text quoted in a message: printable() between `quote`s ("\"Pain\"" of Pain). The UTF-8 form
// takes a cell or a name as a parser gives it.
QString quoted(QStringView text, char16_t quote = u'"');
QString quoted(std::string_view utf8, char16_t quote = u'"');

// What a window lays out of a text from the food table: a description or measure of a megabyte
// would take the text layout a minute. Each line longer than kShownLimit characters shows its
// first kShownLimit and "…"; the report and the data keep the whole text.
inline constexpr qsizetype kShownLimit = 2000;
QString shownText(const QString& text);

}  // namespace velmora
