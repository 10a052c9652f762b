// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern matching with the Jet engine's LIKE rules: "*" any run, "?" one character, "#" one digit,
// "[abc]", "[a-z]", "[!abc]" character lists; letters compare without regard to case.
#pragma once

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
        char32_t ch = 0;                                    // Literal: case-folded character
        bool negated = false;                               // List
        std::vector<std::pair<char32_t, char32_t>> ranges;  // List: folded inclusive ranges
    };
    static Token listToken(const std::u32string& p, std::size_t j, std::size_t close);
    // Sets what lets a match skip the general matcher: the pattern "*", or its segments.
    void findShortcuts();
    bool tokenMatches(const Token& t, char32_t folded) const;
    template <typename Folded>
    bool matchesFolded(const Folded& text) const;
    bool matchesSegments(std::string_view text) const;
    std::vector<Token> tokens_;
    bool valid_ = true;
    bool anything_ = false;  // the pattern is "*": every text matches
    // A pattern of ASCII letters and stars only, as most searches are: its runs of letters between
    // the stars (folded), and whether it is anchored at the start and the end.
    bool segmentsOnly_ = false;
    std::vector<std::string> segments_;
    bool anchoredStart_ = true, anchoredEnd_ = true;
    // The first UTF-8 bytes of the characters beyond ASCII that fold into a letter of the runs: a
    // text without any of them matches on its bytes or not at all.
    std::string foldingLeads_;
};

// Beyond ASCII only LONG S (U+017F) and KELVIN SIGN (U+212A) fold to ASCII letters, s and k: a
// text holding one of them matches a pattern holding the letter. The first byte of the UTF-8 of the
// one that folds into `c`, or 0.
inline char foldingLead(char32_t c) {
    return c == U's' ? '\xC5' : c == U'k' ? '\xE2' : '\0';
}
inline bool foldsFromBeyondAscii(char32_t c) {
    return foldingLead(c) != 0;
}

// Error text of a malformed pattern, as the LIKE function reports it.
inline constexpr const char* kInvalidPatternText = "Invalid pattern string";

// Registers like(pattern, text) with the rules above on a connection (replacing SQLite's own).
// A Null operand gives Null, so a Null description matches no pattern.
int registerJetLike(sqlite3* db);

// Stands in a decoded pattern for bytes that are no character: it equals no character of a text.
inline constexpr char32_t kNoCharacter = 0x110000;

// Decodes UTF-8 and folds case, one code point per element. Invalid bytes become U+FFFD in a
// text; in a pattern they become kNoCharacter, except C0 80, which is a NUL.
std::u32string foldedCodePoints(std::string_view utf8, bool pattern = false);

// Whether two descriptions are the same to the find step: equal once their case is folded.
// `aAscii` and `bAscii` say whether each is plain ASCII (isAscii), which is quickly compared.
bool equalsIgnoringCase(std::string_view a, bool aAscii, std::string_view b, bool bAscii);

// A hash of a text on which any two texts equalsIgnoringCase finds equal agree.
std::uint64_t foldedHash(std::string_view utf8, bool ascii);

}  // namespace velmora
