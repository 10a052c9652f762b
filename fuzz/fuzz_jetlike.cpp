// SPDX-License-Identifier: GPL-3.0-or-later
// The LIKE matcher on any pattern (its length is the first byte) and any text: the answer of a
// plain dynamic-programming matcher over the same rules, through SQLite's LIKE too.
#include "fooddb/jetlike.h"
#include "fooddb/sqlite.h"
#include "fuzzcheck.h"

// One element on one character; a range with no character (invalid pattern bytes) takes none.
static bool takes(std::u32string_view e, char32_t c) {
    if (e[0] != U'[') return e[0] == U'?' || (e[0] == U'#' ? c >= U'0' && c <= U'9' : e[0] == c);
    const bool negated = e.size() > 3 && e[1] == U'!';
    for (std::size_t k = 1 + negated, hi; k + 1 < e.size(); k = hi + 1) {
        hi = k + 3 < e.size() && e[k + 1] == U'-' ? k + 2 : k;
        if (e[k] <= c && c <= e[hi] && e[hi] != kNoCharacter) return !negated;
    }
    return negated;
}

// A well-formed pattern p ("*", "?", "#", "[list]" or one character each; "[]" matches the empty
// text) on the text t. m[i][j]: the pattern from i on matches the text from j on.
static bool referenceMatches(std::u32string_view p, std::u32string_view t) {
    QList<QByteArray> m(p.size() + 1, QByteArray(t.size() + 2, 0));
    m[p.size()][t.size()] = 1;
    for (std::size_t i = p.size(); i-- > 0;) {
        const std::size_t next = p[i] == U'[' ? p.find(U']', i) + 1 : i + 1;
        const bool star = p[i] == U'*', skip = star || (p[i] == U'[' && next == i + 2);  // "[]"
        for (std::size_t j = t.size() + 1; j-- > 0;)
            m[i][j] =
                (skip && m[next][j]) || (star && m[i][j + 1]) ||
                (!skip && j < t.size() && takes(p.substr(i, next - i), t[j]) && m[next][j + 1]);
    }
    return m[0][0];
}

void fuzzOne(QByteArrayView input) {
    if (input.isEmpty()) return;
    const std::string_view all(input.data(), std::size_t(input.size()));
    const std::string_view pattern = all.substr(1, std::uint8_t(all[0]));
    const std::string_view text = all.substr(1 + pattern.size());
    const JetPattern compiled(pattern);
    const bool matched = compiled.matches(text);
    const std::u32string p = foldedCodePoints(pattern, true), t = foldedCodePoints(text);
    // A list is open when no "]" follows the last "["; long texts only slow the reference down.
    const bool valid = p.rfind(U'[') == p.npos || p.find(U']', p.rfind(U'[')) != p.npos;
    FUZZ_REQUIRE(compiled.valid() == valid &&
                 (valid ? t.size() > 256 || matched == referenceMatches(p, t) : !matched));
    static sqlite::Database db(":memory:", SQLITE_OPEN_READWRITE);
    static sqlite::Statement like = (registerJetLike(db.get()), db.prepare(u"SELECT ?2 LIKE ?1"_s));
    like.bind(1, pattern), like.bind(2, text);
    try {
        FUZZ_REQUIRE(like.step() && valid && like.columnInt64(0) == matched);
    } catch (const sqlite::Error& e) {
        FUZZ_REQUIRE(!valid && e.primary() == SQLITE_ERROR &&
                     e.message() == QLatin1StringView(kInvalidPatternText));
    }
    sqlite3_reset(like.get());
}
