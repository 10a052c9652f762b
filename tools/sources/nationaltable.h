// SPDX-License-Identifier: GPL-3.0-or-later
// The national food tables (Ciqual, the Canadian Nutrient File, NEVO, CoFID, BLS, AFCD), all
// built the same way. A table's reader knows its files only: it finds them, checks them, and hands
// over each food as a NationalFood, its amounts keyed by the agency's own nutrient identifiers in
// the agency's units, each with the marker the agency wrote. A NationalTable does the rest the
// same way for every source: it maps the identifiers to the columns of CSR14 through the source's
// NutrientMapping, converts units, applies the markers, chooses the description and makes it
// unique, fills NDB_NO and CODE, counts, and makes the source record that velmora-mkdb writes.
//
// Adding a table takes three things:
//  1. a NutrientMapping list (tools/sources/foodrow.h): the agency's identifiers (INFOODS
//     tagnames where the agency has them, with the agency's own spelling beside them; SR numbers,
//     srNutrientMappings, where it numbers them so) and the column each goes to, in order of
//     preference where several feed one column;
//  2. a reader (tools/sources/NAME.cpp, its entry point in readers.h) that fills a
//     NationalSource, checks the files (refusals name file and line, as Fault), reads amounts
//     with readMarkedAmount, checks them with conversionProblem and units with unitNamed, and
//     gives every food to the table in the agency's order: add() for a food that comes whole,
//     keep() and amount() for one whose amounts come in a file of their own;
//  3. an entry in kSources (tools/program/mkdb_main.cpp), which gives velmora-mkdb its option.
//
// The rules, the same for every source:
//  - Units: g, mg and µg are converted to the column's unit; an amount beyond ±10^15 once
//    converted is refused. An amount in a unit its column cannot take (vitamin A in µg RAE for
//    the IU column, a unit not given) is not measured, and its identifier is counted once.
//    Nothing is converted between different definitions: a mapping lists only identifiers of the
//    column's own definition.
//  - Energy: kcal as published. A food without kcal but with kJ gets kJ / 4.184, rounded to a
//    whole kcal (list the kJ identifier after the kcal one); the source record counts those.
//  - Carbohydrate: whatever the agency publishes as its total, as published; the source names
//    its definition in NationalSource::carbohydrate.
//  - Markers (readMarkedAmount): empty, "-" and "N" are not measured (Null); traces ("traces",
//    "Tr", "TR") and values below a limit ("< 0,5", "<LOD", "<LOQ", "<LOD or <LOQ") are 0 and
//    counted, those of the cells the columns take, each once; an estimate "(1.2)" is 1.2. A
//    reader that learns of a trace otherwise (a list of the nutrients a food holds traces of)
//    hands over a MarkedAmount of Marker::Trace itself.
//  - Descriptions: the name in the language asked for (--names), else the food's other name; a
//    description already taken, ignoring case as the window's find step does (UniqueNames),
//    gets " [CODE]" with the agency's food code, a twin of that " [CODE 2]", " [CODE 3]", ...
//  - NDB_NO is the agency's food code as text, CODE its food group code.
//  - An identifier the mapping does not know is skipped and counted once. A food without any
//    amount is kept, every nutrient not measured.
//  - Memory grows with the foods (each kept with a chosen amount a column), not with the amounts.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "fooddb/sourcerecord.h"
#include "tools/sources/foodrow.h"
#include "tools/sources/importstore.h"
#include "tools/sources/readers.h"

namespace velmora::mkdb {

enum class Unit : unsigned char {
    Unknown,
    Gram,
    Milligram,
    Microgram,
    Kilocalorie,
    Kilojoule,
    InternationalUnit,
};

// The unit an agency writes as `text`: "g", "mg", "µg" (also "μg", "ug", "mcg"), "kcal", "kJ",
// "IU" and their spelled-out names ("Milligram", "kilojoule", "International Unit"), without
// regard to case; Unknown for anything else.
Unit unitNamed(QStringView text);

// `value` times 10^`exponent`, to 15 significant digits: 0.40152 x 100 is 40.152, not
// 40.152000000000001.
double timesPowerOfTen(double value, int exponent);

// How the agency marked an amount.
enum class Marker : unsigned char { Value, NotMeasured, Trace, BelowLimit, Estimate };

struct MarkedAmount {
    Marker marker = Marker::NotMeasured;
    double value = 0;  // the amount; 0 for a trace or a value below a limit
};

// An amount cell as agencies write it (UTF-8), blanks around it ignored: see the markers above.
// The number is read by readAmount with the source's `decimalPoint`, so it is refused as every
// builder refuses it. Nothing when the text is no amount; `problem` then says why ("\"12,5x\" is
// not a number").
std::optional<MarkedAmount> readMarkedAmount(std::string_view text, char decimalPoint,
                                             QString& problem);
// A flag where the decimal point belongs would read as the character 0: refused when compiled.
std::optional<MarkedAmount> readMarkedAmount(std::string_view, bool, QString&) = delete;

// What is wrong with `value` in `unit` once converted to the unit of the column that `mapping`
// takes `nutrient` to: "is out of range once in mg (beyond ±10^15)"; empty when nothing is. The
// readers check each amount so, where they can name its place.
QString conversionProblem(std::span<const NutrientMapping> mapping, QStringView nutrient, Unit unit,
                          double value);

// A cell of a delimited download as a name or code: blanks and line breaks (a quoted name may
// span lines) as one blank, none around it.
inline QString cellText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).simplified();
}

// One amount of a food, as the agency gives it.
struct SourceAmount {
    QString nutrient;  // the agency's identifier (shared, not copied, by readers)
    Unit unit = Unit::Unknown;
    MarkedAmount amount;
};

struct FoodName {
    QLatin1StringView language;  // "en", "fr", "nl", "de"
    QString text;
};

struct HouseholdMeasure {
    QString text;  // "1 cup"
    double grams = 0;
};

// One food as a reader hands it over.
struct NationalFood {
    QString code;                            // the agency's food code: NDB_NO
    QString group;                           // its food group code: CODE
    std::vector<FoodName> names;             // at least one not empty, in the agency's order
    std::vector<HouseholdMeasure> measures;  // the first two become GMWT_1 and GMWT_2
    std::vector<SourceAmount> amounts;
};

// What a reader tells about its table before the first food.
struct NationalSource {
    QString name;                 // for the source record
    QString shortName;            // as a caption names the table: "Ciqual"
    QString version;              // the release
    QString citation;             // as the agency asks to be cited
    QString carbohydrate;         // the definition of the agency's total carbohydrate
    QString notes;                // anything else for the source record; may be empty
    bool noticeRequired = false;  // the citation must end every output
    std::span<const NutrientMapping> nutrients;
};

// The conversion of a national table's foods into rows of CSR14, in the order they come. A food
// that comes whole (a row of a sheet) is written at once; one whose amounts come apart from it (a
// file of amounts) is kept with the amount chosen so far for each column, not with its amounts,
// so memory grows with the foods, not with the amounts.
class NationalTable {
  public:
    // `language` is the --names choice.
    NationalTable(NationalSource source, QString language, RowSink sink);

    // Converts `food` and gives its row to the sink.
    void add(const NationalFood& food);

    // Keeps `food` (its amounts chosen now) to be written by addKept(); returns its number.
    std::size_t keep(NationalFood food);
    // The rank of a nutrient identifier in the source's mapping; -1 for one without a column.
    int rankOf(const QString& nutrient) const { return rankOf_.value(nutrient, -1); }
    // Adds an amount of kept food `kept`, its identifier's rank looked up once by the caller.
    void amount(std::size_t kept, int rank, const SourceAmount& amount) {
        choose(rank, amount, kept_[kept].chosen);
    }
    std::size_t keptCount() const { return kept_.size(); }
    // A kept food, to add what its source gives apart from it (its measures).
    NationalFood& kept(std::size_t kept) { return kept_[kept].food; }
    // Writes the kept foods in the order they were kept, and forgets them.
    void addKept();

    // The counts line ("N foods; ..."), `readerNotes` (what the reader itself counted) after the
    // table's own, and the source record.
    Built result(const QStringList& readerNotes = {}) const;

    // A warning for each column of the table that none of the source's identifiers for it is
    // among `held` (what `file` holds, as the reader found it): "FILE: no column for Riboflavin
    // (RIBO or RIBF): not measured". A renamed column must not lose a nutrient unsaid.
    QStringList unheld(const QStringList& held, const QString& file) const;

  private:
    struct Chosen {
        double value = 0;
        std::int16_t rank = -1;  // index of the mapping entry that gave it; -1: none yet
        Marker marker = Marker::NotMeasured;
        bool fromKilojoules = false;
    };
    using ChosenColumns = std::array<Chosen, kNutrientColumns>;
    struct Kept {
        NationalFood food;  // without its amounts
        ChosenColumns chosen;
    };
    void choose(const SourceAmount& amount, ChosenColumns& chosen) {
        choose(rankOf(amount.nutrient), amount, chosen);
    }
    void choose(int rank, const SourceAmount& amount, ChosenColumns& chosen);
    void write(const NationalFood& food, const ChosenColumns& chosen);
    std::string_view description(const NationalFood& food);
    void setNutrients(const ChosenColumns& chosen);

    NationalSource source_;
    QString language_;
    RowSink sink_;
    QHash<QString, int> rankOf_;  // identifier -> its index in source_.nutrients
    QSet<QString> unknown_, unusableUnit_;
    TextPool pool_;
    UniqueNames names_{pool_};
    FoodRow row_;
    QByteArray texts_[5];  // the UTF-8 the row's text cells point into
    std::deque<Kept> kept_;  // not moved as it grows: a food is most of a kilobyte
    qsizetype foods_ = 0, traces_ = 0, belowLimit_ = 0, fromKilojoules_ = 0, otherLanguage_ = 0;
};

}  // namespace velmora::mkdb
