// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolrun.h"

#include <QProcess>
#include <QRegularExpression>

#include "fixturedb.h"

namespace velmora::test {

Run run(const QString& dir, const QString& program, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(qEnvironmentVariable("VELMORA_TEST_BIN") + u'/' + program, args);
    if (!p.waitForFinished(30000)) return {-1, {}, QStringLiteral("timed out")};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString cellsOf(const QString& table, const QString& code, const QString& like) {
    QStringList parts;
    static const QRegularExpression column(QStringLiteral("(\\w+)="));
    for (const auto& m : column.globalMatch(like))
        parts << QStringLiteral("'%1=' || quote(%1)").arg(m.captured(1));
    return query(table, QStringLiteral("SELECT %1 FROM CSR14 WHERE NDB_NO = '%2'")
                            .arg(parts.join(QStringLiteral(" || ' ' || ")), code))
        .rows.value(0)
        .value(0)
        .toString();
}

}  // namespace velmora::test
