// The LIKE matcher on any pattern and any text: it answers (or calls the pattern malformed) in
// bounded time, agrees with a plain dynamic-programming matcher over the same rules, and gives the
// same answer through SQLite as the operator the queries use.
#include "fooddb/jetlike.h"
#include "fuzzcheck.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using velmora::foldedCodePoints;

constexpr std::size_t kReferenceTextLimit = 256;

// One element of a pattern: a single character class, or a star.
struct Element {
    bool star = false;
    bool any = false;
    bool digit = false;
    bool list = false;
    bool negated = false;
    std::u32string members;  // list: pairs lo, hi; literal: the one character
};

// Reads the pattern the way the engine documents it; nullopt for a "[" without "]".
std::optional<std::vector<Element>> parse(const std::u32string& p) {
    std::vector<Element> out;
    for (std::size_t i = 0; i < p.size();) {
        Element e;
        if (p[i] == U'*') {
            e.star = true;
            ++i;
        } else if (p[i] == U'?') {
            e.any = true;
            ++i;
        } else if (p[i] == U'#') {
            e.digit = true;
            ++i;
        } else if (p[i] == U'[') {
            std::size_t close = i + 1;
            while (close < p.size() && p[close] != U']') ++close;
            if (close == p.size()) return std::nullopt;
            std::u32string inside = p.substr(i + 1, close - i - 1);
            i = close + 1;
            if (inside.empty()) continue;  // "[]" matches the empty text
            e.list = true;
            if (inside.size() > 1 && inside[0] == U'!') {
                e.negated = true;
                inside.erase(0, 1);
            }
            for (std::size_t k = 0; k < inside.size();) {
                const bool range = k + 2 < inside.size() && inside[k + 1] == U'-';
                const char32_t lo = inside[k], hi = range ? inside[k + 2] : lo;
                // What is no character (invalid bytes of a pattern) takes in nothing.
                if (lo != velmora::kNoCharacter && hi != velmora::kNoCharacter) {
                    e.members += lo;
                    e.members += hi;
                }
                k += range ? 3 : 1;
            }
        } else {
            e.members = p.substr(i, 1);
            ++i;
        }
        out.push_back(std::move(e));
    }
    return out;
}

bool elementMatches(const Element& e, char32_t c) {
    if (e.any) return true;
    if (e.digit) return c >= U'0' && c <= U'9';
    if (!e.list) return e.members[0] == c;
    bool in = false;
    for (std::size_t k = 0; k < e.members.size(); k += 2)
        if (c >= e.members[k] && c <= e.members[k + 1]) in = true;
    return in != e.negated;
}

// match[i][j]: elements from i on match text from j on.
bool referenceMatches(const std::vector<Element>& pattern, const std::u32string& text) {
    const std::size_t np = pattern.size(), nt = text.size();
    std::vector<char> next(nt + 1, 0), cur(nt + 1, 0);
    next[nt] = 1;  // the empty pattern matches only the empty rest
    for (std::size_t i = np; i-- > 0;) {
        const Element& e = pattern[i];
        cur[nt] = e.star ? next[nt] : 0;
        for (std::size_t j = nt; j-- > 0;) {
            if (e.star)
                cur[j] = next[j] || cur[j + 1];
            else
                cur[j] = elementMatches(e, text[j]) && next[j + 1];
        }
        std::swap(cur, next);
    }
    return next[0];
}

sqlite3_stmt* likeStatement() {
    static sqlite3_stmt* stmt = [] {
        sqlite3* db = nullptr;
        sqlite3_open(":memory:", &db);
        velmora::registerJetLike(db);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT ?2 LIKE ?1", -1, &s, nullptr);
        return s;
    }();
    return stmt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t patternLength = std::min<std::size_t>(data[0], size - 1);
    const std::string_view pattern(reinterpret_cast<const char*>(data) + 1, patternLength);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1 + patternLength,
                                size - 1 - patternLength);

    const velmora::JetPattern compiled(pattern);
    const bool matched = compiled.matches(text);
    const auto reference = parse(foldedCodePoints(pattern, true));
    FUZZ_REQUIRE(compiled.valid() == reference.has_value(), "validity differs for pattern \"%.*s\"",
                 int(pattern.size()), pattern.data());
    // The reference costs pattern length times text length; long texts add nothing it checks.
    const std::u32string folded = foldedCodePoints(text);
    if (reference && folded.size() <= kReferenceTextLimit) {
        const bool expected = referenceMatches(*reference, folded);
        FUZZ_REQUIRE(matched == expected, "\"%.*s\" LIKE \"%.*s\": %d, expected %d",
                     int(text.size()), text.data(), int(pattern.size()), pattern.data(), matched,
                     expected);
    } else if (!reference) {
        FUZZ_REQUIRE(!matched, "a malformed pattern matched");
    }

    sqlite3_stmt* stmt = likeStatement();
    sqlite3_bind_text(stmt, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, text.data(), int(text.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(stmt);
    if (compiled.valid()) {
        FUZZ_REQUIRE(rc == SQLITE_ROW && sqlite3_column_int(stmt, 0) == int(matched),
                     "SQLite LIKE differs (rc %d)", rc);
    } else {
        FUZZ_REQUIRE(
            rc == SQLITE_ERROR && std::string_view(sqlite3_errmsg(sqlite3_db_handle(stmt))) ==
                                      velmora::kInvalidPatternText,
            "SQLite LIKE on a malformed pattern gave rc %d", rc);
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return 0;
}
