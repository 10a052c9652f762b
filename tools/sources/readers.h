// SPDX-License-Identifier: GPL-3.0-or-later
// Every source the builder reads, one entry point each; each source's file (sources/NAME.cpp)
// says how the agency lays out its download. A reader gives its foods to the sink in the table's
// order and returns what the build reports of it: the counts line and the source record. Faults in
// the input are thrown as Fault (tools/formats/inputfile.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fooddb/sourcerecord.h"
#include "tools/sources/foodrow.h"

namespace velmora::mkdb {

class InputFile;

// What a reader read: the counts line, where the data come from, and what the user must be told
// on standard error (a nutrient the download does not hold, say).
struct Built {
    QString counts;
    std::optional<SourceRecord> source;
    QStringList warnings;
};

// --- The builder's own CSV form (sources/csvtable.cpp) ----------------------------------------

// A header row naming columns of the table, in any order (case ignored), Description among them,
// then one row per food with a cell for each. A column not named, and an empty cell, is Null; an
// unknown or repeated name, an empty description, a number beyond kLargestAmount, and a file
// without foods are refused. Returns the number of rows given to `sink`. `line`, when given, holds
// the line of the row the sink is given.
qsizetype readFoodTableCsv(const QString& path, const RowSink& sink, qsizetype* line = nullptr);
qsizetype readFoodTableCsv(InputFile& in, const RowSink& sink, qsizetype* line = nullptr);
// The source record of a table built from the file `path`: named by the file's name.
SourceRecord csvSourceRecord(const QString& path);

// --- A table built before (sources/builttable.cpp) ---------------------------------------------

// Whether `path` is a regular file that starts as every SQLite database does: then it is read as a
// built table, not as CSV.
bool isSqliteFile(const QString& path);
// Gives the foods of the table CSR14 at `path` to `sink`, in the table's order, each cell as it is
// stored; returns its counts line and its source record, if it has one. A database without CSR14
// or one of its 39 columns, a blob, and an amount that is no number within kLargestAmount are
// refused.
Built readBuiltTable(const QString& path, const RowSink& sink);

// --- USDA SR in its ASCII form (sources/sr.cpp) -----------------------------------------------

struct SrFile {
    QString name;  // used in messages
    QByteArray bytes;
};
// One row per food of FOOD_DES, in its order, given to `sink`; returns their number. Every file
// is checked whole: a short row, a value that should be a number and is not, a food in NUT_DATA
// or WEIGHT that FOOD_DES lacks, a food, nutrient or measure given twice, an empty description,
// no foods, or a byte that the file's encoding does not allow is a Fault. A file whose first
// non-ASCII character is valid UTF-8 (or that starts with a UTF-8 byte order mark) is read as
// UTF-8, and `notes` says so; any other as code page 1252.
qsizetype srTableFromFiles(const SrFile& foodDes, const SrFile& nutData, const SrFile& weight,
                           const RowSink& sink, QStringList* notes = nullptr);
// The paths of FOOD_DES.txt, NUT_DATA.txt and WEIGHT.txt in `folder`, their names matched
// ignoring case, as releases differ in the case of ".txt".
QStringList srReleaseFiles(const QString& folder);
// The same as srTableFromFiles, reading the three files srReleaseFiles names.
qsizetype readSrRelease(const QString& folder, const RowSink& sink, QStringList* notes = nullptr);
// The source record of a table built from the release in `folder`: the release as the name of
// its documentation says it (sr28_doc.pdf: "Release 28"), else the folder's name.
SourceRecord srSourceRecord(const QString& folder);

// --- FoodData Central in its CSV form (sources/fdc.cpp) ----------------------------------------

// The food types that are foods, in the order the table takes them, and their places in it.
inline constexpr std::array<std::string_view, 4> kFdcTypes{"sr_legacy_food", "foundation_food",
                                                           "survey_fndds_food", "branded_food"};
enum FdcType : std::uint8_t { kSrLegacyFood, kFoundationFood, kSurveyFood, kBrandedFood };

struct FdcCounts {
    std::array<qsizetype, kFdcTypes.size()> foods{};
    qsizetype otherFoods = 0;       // food.csv rows of other (or unselected) types
    qsizetype orphanAmounts = 0;    // food_nutrient.csv rows of no food that is read
    qsizetype repeatedAmounts = 0;  // a second amount of a food and nutrient: the first is kept
    qsizetype madeUnique = 0;       // descriptions given a suffix to tell them apart
    qsizetype sharedNumbers = 0;    // NDB numbers that more than one food has
    qsizetype total() const;
    QString toString() const;  // the counts line
};

// The files of a download that are read, as paths in `folder`: the three it must have first.
QStringList fdcInputFiles(const QString& folder);
// Reads the download in `folder`, the types whose bits are set in `types` (bit i: kFdcTypes[i]),
// and gives its foods to `sink` in the table's order: by type, then by fdc_id, each description
// unique as the find step compares them (UniqueNames). A file of the download that is there but
// cannot be read (a symbolic link to nothing among them) is refused, optional or not.
FdcCounts readFdcDownload(const QString& folder, unsigned types, const RowSink& sink,
                          QString* version = nullptr);
// The source record of a table built from the download in `folder` with `counts` read: its
// version the latest publication_date of the foods read (`version`), else a date the folder's
// name holds; the notes name the food types taken.
SourceRecord fdcSourceRecord(const QString& folder, const FdcCounts& counts,
                             const QString& version);

// --- The national tables (sources/nationaltable.h and one file each) --------------------------

// Each names its foods in `language` (the --names choice) and gives them in the agency's order.
// The paths of a folder's files that are read, for the check that the output is none of them.
QStringList ciqualInputFiles(const QString& folder);
QStringList cnfInputFiles(const QString& folder);
Built readCiqual(const QString& folder, const QString& language, const RowSink& sink);
Built readCnf(const QString& folder, const QString& language, const RowSink& sink);
Built readNevo(const QString& path, const QString& language, const RowSink& sink);
Built readCofid(const QString& path, const QString& language, const RowSink& sink);
Built readBls(const QString& path, const QString& language, const RowSink& sink);
Built readAfcd(const QString& path, const QString& language, const RowSink& sink);

}  // namespace velmora::mkdb
