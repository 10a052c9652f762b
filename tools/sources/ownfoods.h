// SPDX-License-Identifier: GPL-3.0-or-later
// The user's own foods, which a build writes after its source's: foods in the builder's CSV form
// (--add), numbered U1, U2, ... where the file gives them no NDB number, and recipes (--recipes),
// numbered R1, R2, ..., each made a food of the foods before it exactly as velmora-report totals
// a meal of its lines, scaled to 100 grams. A source that holds such numbers already (a table
// built before) has the new ones follow its own.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "fooddb/sourcerecord.h"
#include "tools/sources/foodrow.h"
#include "tools/sources/importstore.h"
#include "tools/sources/recipes.h"

namespace velmora::mkdb {

class OwnFoods {
  public:
    OwnFoods();
    ~OwnFoods();
    OwnFoods(const OwnFoods&) = delete;
    OwnFoods& operator=(const OwnFoods&) = delete;

    // Reads the files of added foods and of recipes whole, before the source: a fault in them
    // costs no reading of it. Throws Fault.
    void read(const QStringList& added, const QStringList& recipes);
    bool empty() const { return added_.empty() && recipes_.empty(); }
    bool hasRecipes() const { return !recipes_.empty(); }

    // `sink`, noting the descriptions of the rows it takes, which no added food or recipe may
    // take again.
    RowSink noting(const RowSink& sink);
    // Writes the added foods. Throws Fault for a description taken.
    void writeAdded(const RowSink& sink);
    // Writes the recipes, each made from the table at `table` as it stands with the recipes
    // before it, and adds a note for each recipe in which a nutrient became not measured. Throws
    // Fault.
    void writeRecipes(const QString& table, const RowSink& sink, QStringList& notes);

    // The counts line: `sourceCounts` (the source's own) without own foods; with them "7,910
    // foods (7,907 from Velmora.mdb, 2 added, 1 recipe)", the total first, followed by
    // "; SOURCE: " and the source's own counts where they say more than the number of its foods.
    // After the source was written.
    QString countsLine(const QString& source, const QString& sourceCounts) const;
    // Adds to the notes of the table's source record what the user's files added.
    void noteIn(SourceRecord& record) const;

  private:
    struct StoredCell {
        Cell::Kind kind;
        double number;
        Text text;
    };
    struct AddedFood {
        std::array<StoredCell, kColumnCount> cells;
        qsizetype file;  // in files_
        qsizetype line;
    };

    // Notes the recipe or own food number a source's food holds.
    void note(std::string_view ndbNumber);

    QStringList files_;
    TextPool pool_;   // the added foods' texts and the names below
    TextSet taken_;   // the names taken so far that an added food or a recipe may ask for
    TextSet chosen_;  // the added foods' descriptions and the recipes' names
    std::vector<AddedFood> added_;
    std::vector<Recipe> recipes_;
    qsizetype sourceFoods_ = 0;
    // The largest numbers R<n> (of the source) and U<n> (of the source or an added food) taken.
    std::size_t lastRecipe_ = 0, lastOwn_ = 0;
};

}  // namespace velmora::mkdb
