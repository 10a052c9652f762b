// SPDX-License-Identifier: GPL-3.0-or-later
// What a file or folder given to velmora or velmora-report as a food table is, told by what it
// holds and never by its name: a food table, a download velmora-mkdb builds one from (then the
// command that does), or something else, said in one line.
#pragma once

#include <QString>

namespace velmora::mkdb {

// A download velmora-mkdb reads, and how it is given to it.
struct DownloadSource {
    const char* option;  // velmora-mkdb's option; empty for its own CSV form
    const char* noun;    // "a NEVO download"
    const char* output;  // the table the message suggests: "nevo.mdb"
    bool folder;         // read as a folder (FoodData Central, SR, Ciqual, CNF), else as a file
};

struct FileKind {
    enum class Is {
        FoodTable,       // or a file only opening can judge: missing, a device, unreadable
        Download,        // velmora-mkdb reads the path itself
        InFolder,        // a folder holding a file velmora-mkdb reads, `input` its name in it
        DownloadFile,    // a file of a folder download: velmora-mkdb reads its folder
        ZippedDownload,  // `input` is the download's path inside the archive (empty: its root)
        Sqlite,          // an SQLite database without the table CSR14
        Access,          // a Microsoft Access (Jet or ACE) database
        Folder,
        Empty,
        Text,
        Workbook,  // an .xlsx workbook of no table velmora-mkdb reads
        Zip,       // a ZIP archive of no download velmora-mkdb reads
        Other,
    };
    Is is = Is::FoodTable;
    const DownloadSource* source = nullptr;
    QString input;
};

// What `path` is. Reads at most the first few kilobytes of a file (of a few entries of an archive
// or a folder), the list of sheets of a workbook, and the list of tables of an SQLite database.
FileKind identifyFile(const QString& path);

// For a `path` that is not a food table, what it is and what to do, in one line, naming it as
// `shown` (the name the user gave): "NEVO2023_8.0.csv is a NEVO download, not a food table: build
// one with velmora-mkdb --nevo NEVO2023_8.0.csv nevo.mdb". Empty for a food table and for what
// only opening it can judge, whose errors the programs report as they are.
QString notATableMessage(const QString& path, const QString& shown);

}  // namespace velmora::mkdb
