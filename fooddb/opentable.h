// SPDX-License-Identifier: GPL-3.0-or-later
// The food table a window has open, as the window names it: the shipped table as designed, any
// other by its source (or its file's name), with the notice its source's terms require.
#pragma once

#include "fooddb/sourcerecord.h"

#include <QString>

#include <optional>

namespace velmora {

struct OpenTable {
    QString path;
    // The table the program opens by default (Velmora.mdb beside it), however it was named: its
    // window is the designed one.
    bool shipped = false;
    std::optional<SourceRecord> source;
};

// Whether `path` is the file the program opens by default, links followed.
bool isDefaultTable(const QString& path);

// The main window's caption: "Velmora" for the shipped table; for another "Velmora — " and its
// source's short name and version ("Velmora — Ciqual 2025-11-03"), or its file's name when it
// names no source.
QString tableCaption(const OpenTable& table);

// The lines the About window adds below its designed text: none for the shipped table and for
// one without a source record, else the source's name, version and citation.
QStringList tableAboutLines(const OpenTable& table);

}  // namespace velmora
