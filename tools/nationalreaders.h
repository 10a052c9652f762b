// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables velmora-mkdb reads, one line each: its option, what the option names,
// the languages --names takes, the files it reads and the reader (tools/nationaltable.h).
#pragma once

#include <array>

#include "tools/ciqualimport.h"

namespace velmora::mkdb {

struct NationalReader {
    const char* option;                    // "ciqual": velmora-mkdb --ciqual
    const char* valueName;                 // "CIQUAL_FOLDER"
    const char* help;                      // what --help says of the option
    std::array<const char*, 2> languages;  // what --names takes; "en" is the default
    QStringList (*inputFiles)(const QString& path);
    NationalResult (*read)(const QString& path, const QString& language, const RowSink& sink);
};

inline constexpr std::array<NationalReader, 1> kNationalReaders{{
    {"ciqual",
     "CIQUAL_FOLDER",
     "Read the French Ciqual table in its XML form (alim_*.xml, const_*.xml, compo_*.xml) in "
     "CIQUAL_FOLDER.",
     {"en", "fr"},
     ciqualInputFiles,
     readCiqual},
}};

}  // namespace velmora::mkdb
