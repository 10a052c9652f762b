// SPDX-License-Identifier: GPL-3.0-or-later
// A UTF-8 locale whatever the environment names. Qt needs the C library's locale to read and write
// UTF-8 and otherwise warns on standard error at every start (LC_ALL=C in a script, or a locale
// named but not generated on this system); the user's numbers stay as the named locale writes them.
#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The locale the user asked numbers to be written in: the first of LC_ALL, LC_NUMERIC and LANG
// that is set, without its ".codeset" and "@modifier"; empty for C and POSIX, which ask for none.
QString requestedLocaleName(const QByteArray& lcAll, const QByteArray& lcNumeric,
                            const QByteArray& lang);

// First thing in main(), before any Q*Application: when the environment's locale is unusable or
// not UTF-8, switches the process and its environment to C.UTF-8 and returns the locale the user
// asked for (requestedLocaleName), to hand to useRequestedLocale once the application exists.
// Returns an empty name when nothing was switched.
QString chooseUtf8Locale();

// Makes the locale `name` the default QLocale when Qt knows it, so FormatNumber and the number
// boxes keep the user's decimal point and grouping after a switch to C.UTF-8.
void useRequestedLocale(const QString& name);

}  // namespace velmora
