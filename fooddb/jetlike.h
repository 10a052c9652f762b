// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern matching with the Jet engine's LIKE rules: "*" any run, "?" one character, "#" one digit,
// "[abc]", "[a-z]", "[!abc]" character lists; pattern and text compare folded (fooddb/textfold.h),
// so that neither case nor accents make a difference and "oe" meets "œ".
#pragma once

#include "fooddb/textfold.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class JetPattern {
  public:
    // Compiles a UTF-8 pattern; a "[" without its "]" makes it malformed.
    explicit JetPattern(std::string_view utf8Pattern);
    bool valid() const { return valid_; }
    bool matches(std::string_view utf8Text) const;

  private:
    enum class Kind { Literal, Any, Digit, Star, List };
    struct Token {
        explicit Token(Kind k) : kind(k) {}
        Kind kind;
        char32_t ch = 0;                                    // Literal: one folded code point
        bool negated = false;                               // List
        std::vector<std::pair<char32_t, char32_t>> ranges;  // List: folded inclusive ranges
        std::vector<std::u32string> foldings;  // List: its characters that fold to more than one
    };
    static Token listToken(const std::u32string& p, std::size_t j, std::size_t close);
    // Sets what lets a match skip the general matcher: the pattern "*", or its segments.
    void findShortcuts();
    // Where the text goes on after `t` took what it takes at `i`; npos when it does not match.
    template <typename Folded>
    std::size_t take(const Token& t, const Folded& s, std::size_t i) const;
    template <typename Folded>
    bool matchesFolded(const Folded& text) const;
    bool matchesSegments(std::string_view text, bool* beyondAscii = nullptr) const;
    std::vector<Token> tokens_;
    bool valid_ = true;
    bool anything_ = false;  // the pattern is "*": every text matches
    // A pattern of ASCII literals and stars only, as most searches are (accents folded away): its
    // runs of letters between the stars (folded), and whether it is anchored at the start and the
    // end.
    bool segmentsOnly_ = false;
    std::vector<std::string> segments_;
    bool anchoredStart_ = true, anchoredEnd_ = true;
};

// Error text of a malformed pattern, as the LIKE function reports it.
inline constexpr const char* kInvalidPatternText = "Invalid pattern string";

// Registers like(pattern, text) with the rules above on a connection (replacing SQLite's own).
// A Null operand gives Null, so a Null description matches no pattern.
int registerJetLike(sqlite3* db);

}  // namespace velmora
