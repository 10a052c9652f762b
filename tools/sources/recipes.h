// SPDX-License-Identifier: GPL-3.0-or-later
// The recipe file the builder makes foods of: recipes, each a name, optionally its servings and
// its weight after cooking, and its ingredients as the lines of velmora-report's meal file.
#pragma once

#include "portion/foodportion.h"

#include <QString>

#include <vector>

namespace velmora::mkdb {

class InputFile;

struct Ingredient {
    qsizetype line = 0;
    qsizetype column = 1;
    PortionedFood food;
};

struct Recipe {
    QString name;
    QString file;  // as given, for messages
    qsizetype line = 0;
    qsizetype column = 1;  // of its "["
    double servings = 0;   // 0 when not given
    double weight = 0;     // in grams, after cooking; 0 when not given
    std::vector<Ingredient> ingredients;
};

// Reads a recipe file, UTF-8, line by line:
//   [NAME]           starts a recipe (a comment may follow the "]")
//   servings N       optional, before the ingredients: N a positive number
//   weight W g       optional, before the ingredients: W a positive number
//   FOOD[@PORTION]   an ingredient, as a line of a meal (a line with an "@" always is one)
// Blank lines and lines that start with "#" are skipped. Appends the file's recipes to `out`;
// throws Fault for anything else, and for a file without recipes.
void readRecipeFile(const QString& path, std::vector<Recipe>& out);
void readRecipeFile(InputFile& in, std::vector<Recipe>& out);

}  // namespace velmora::mkdb
