#include "mkdbtestutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace mkdbtest {

Run runMkdb(const QStringList& arguments) {
    QProcess process;
    process.start(qEnvironmentVariable("VELMORA_TEST_BIN") + QStringLiteral("/velmora-mkdb"),
                  arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        run.standardError = process.errorString();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.standardError = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList folderEntries(const QString& path) {
    return QDir(path).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace mkdbtest
