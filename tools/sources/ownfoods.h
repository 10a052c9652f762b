// SPDX-License-Identifier: GPL-3.0-or-later
// The user's own foods, which a build writes after its source's: foods in the builder's CSV form
// (--add), and recipes (--recipes), each made a food of the foods before it exactly as
// velmora-report totals a meal of its lines, scaled to 100 grams.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

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

    // "; 2 added foods, 1 recipe": what the counts line adds; nothing without own foods.
    QString counts() const;

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

    QStringList files_;
    TextPool pool_;   // the added foods' texts and the names below
    TextSet taken_;   // the names taken so far that an added food or a recipe may ask for
    TextSet chosen_;  // the added foods' descriptions and the recipes' names
    std::vector<AddedFood> added_;
    std::vector<Recipe> recipes_;
};

}  // namespace velmora::mkdb
