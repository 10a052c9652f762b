// The start-up floor: the smallest Qt program that shows what Velmora's main window first shows,
// the whole food list. It reads every row in description order through the SQLite C API and shows
// the descriptions in a plain list view in a window titled "Velmora floor". Ctrl+Q quits.
//
//   velmora_startup_floor [PATH to Velmora.mdb]   (default: beside the program)

#include "floor.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QShortcut>
#include <QStringListModel>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString path =
        args.size() > 1
            ? args.at(1)
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Velmora.mdb"));

    velmora::bench::Db db = velmora::bench::openTable(path, false);
    velmora::bench::RowStore rows;
    if (!db || !velmora::bench::readRows(db.get(), velmora::bench::kLoadQuery, rows)) return 1;

    QStringListModel model(rows.descriptions);
    auto view = velmora::bench::makeFloorList(&model);
    view->setWindowTitle(QStringLiteral("Velmora floor"));
    QShortcut quit(QKeySequence::Quit, view.get());
    QObject::connect(&quit, &QShortcut::activated, &app, &QCoreApplication::quit);
    view->show();
    return app.exec();
}
