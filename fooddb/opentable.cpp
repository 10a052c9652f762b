// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/opentable.h"

#include "common/outsidetext.h"
#include "fooddb/datacontrol.h"

#include <sys/stat.h>

namespace velmora {

bool isDefaultTable(const QString& path) {
    struct stat given {
    }, shipped{};
    return ::stat(encodeFileName(path).constData(), &given) == 0 &&
           ::stat(encodeFileName(defaultDatabasePath()).constData(), &shipped) == 0 &&
           given.st_dev == shipped.st_dev && given.st_ino == shipped.st_ino;
}

QString tableCaption(const OpenTable& table) {
    const QString title = QStringLiteral("Velmora");
    if (table.shipped) return title;
    QString name;
    if (table.source) {
        name = sourceShortName(*table.source);
        if (!table.source->version.isEmpty()) name += u' ' + table.source->version;
    }
    if (name.trimmed().isEmpty()) name = table.path.section(u'/', -1);
    return title + QStringLiteral(" \u2014 ") + printable(name);
}

QStringList tableAboutLines(const OpenTable& table) {
    return table.shipped || !table.source ? QStringList() : sourceAboutLines(*table.source);
}

}  // namespace velmora
