// SPDX-License-Identifier: GPL-3.0-or-later
// How descriptions compare in search, in the find step, in the list's order and in its
// type-ahead: folded, so that case and accents make no difference and ligatures read as their
// letters. French, German and Dutch users type "creme", "kase" and "oeuf" for "Crème", "Käse" and
// "Œuf". An ASCII text folds to itself with its letters in lower case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Stands in a decoded pattern for bytes that are no character: it equals no character of a text.
inline constexpr char32_t kNoCharacter = 0x110000;

// Decodes UTF-8, one code point per element. Invalid bytes become U+FFFD in a text; in a pattern
// they become kNoCharacter, except C0 80, which is a NUL.
std::u32string decodedCodePoints(std::string_view utf8, bool pattern = false);

// One character folded: case folded, its compatibility decomposition without its nonspacing marks
// (é → e, Ä → a, ç → c, ﬁ → fi), and the letters that Unicode does not decompose written as
// dictionaries file them (œ → oe, æ → ae, ß → ss, ø → o). Empty for a nonspacing mark.
std::u32string_view foldedCharacter(char32_t c);

// A text folded character by character (invalid bytes as U+FFFD).
std::u32string foldedCodePoints(std::string_view utf8);
// The same as UTF-8, appended to `out`: its bytes compare as its code points do.
void appendFoldedUtf8(std::string_view utf8, std::string& out);

// A text folded, with where each of its characters as written begins: a pattern's "?" takes one
// character as written, however many letters it folds to ("Œ" is one). A nonspacing mark belongs
// to the character before it.
struct FoldedText {
    std::u32string chars;
    std::vector<std::uint8_t> starts;  // starts[i]: a character begins at chars[i]; and at the end
    void assign(std::string_view utf8);
};

// Whether the text, folded, begins with `foldedPrefix` (folded UTF-8).
bool foldedStartsWith(std::string_view utf8, std::string_view foldedPrefix);

// Whether two descriptions are the same to the find step: equal once their case is folded, as
// the table's comparison has always been. `aAscii` and `bAscii` say whether each is plain ASCII
// (isAscii), which is quickly compared. The builder makes descriptions unique by it.
bool equalsIgnoringCase(std::string_view a, bool aAscii, std::string_view b, bool bAscii);
// A hash of a text on which any two texts equalsIgnoringCase finds equal agree.
std::uint64_t caseFoldedHash(std::string_view utf8, bool ascii);

// Whether two descriptions are the same once folded (accents too). The find step falls back on it
// where no description equals the text ignoring case: "creme fraiche" finds "Crème fraîche",
// while a click on "Pâté" in the list finds "Pâté", not an earlier "Pate".
bool equalsFolded(std::string_view a, bool aAscii, std::string_view b, bool bAscii);

// SQLite's NOCASE comparison, the order the table's index keeps: bytes with ASCII letters in
// lower case, a text before every longer one that begins with it. Negative, 0 or positive.
int compareNoCase(std::string_view a, std::string_view b);

}  // namespace velmora
