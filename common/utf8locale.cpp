// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/utf8locale.h"

#include <QLocale>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <langinfo.h>
#include <strings.h>

namespace velmora {

QString requestedLocaleName(const QByteArray& lcAll, const QByteArray& lcNumeric,
                            const QByteArray& lang) {
    QByteArray name = !lcAll.isEmpty() ? lcAll : !lcNumeric.isEmpty() ? lcNumeric : lang;
    for (const char end : {'@', '.'})
        if (const qsizetype at = name.indexOf(end); at >= 0) name.truncate(at);
    if (name == "C" || name == "POSIX") return {};
    return QString::fromLatin1(name);
}

QString chooseUtf8Locale() {
    if (std::setlocale(LC_ALL, "")) {
        const char* codeset = nl_langinfo(CODESET);
        if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0) return {};
    }
    const QString requested =
        requestedLocaleName(qgetenv("LC_ALL"), qgetenv("LC_NUMERIC"), qgetenv("LANG"));
    // In the environment too: Qt sets the locale again from it when the application starts.
    setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
    return requested;
}

void useRequestedLocale(const QString& name) {
    if (name.isEmpty()) return;
    const QLocale locale(name);
    if (locale.language() != QLocale::C) QLocale::setDefault(locale);
}

}  // namespace velmora
