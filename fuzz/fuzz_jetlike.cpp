// SPDX-License-Identifier: GPL-3.0-or-later
// The LIKE matcher on any pattern (its length is the first byte) and any text: the answer of a
// plain dynamic-programming matcher over the same rules on the folded texts, through SQLite's LIKE
// too.
#include "fooddb/jetlike.h"
#include "fooddb/sqlite.h"
#include "fuzzcheck.h"

// A text as its characters fold: the folded code points and where each character begins (a
// mark's folding is empty, so it begins none).
struct Folded {
    std::u32string chars;
    std::vector<bool> starts;
};

static Folded folded(std::string_view text) {
    Folded f;
    for (const char32_t c : decodedCodePoints(text)) {
        const std::u32string_view part = foldedCharacter(c);
        for (std::size_t k = 0; k < part.size(); ++k) f.starts.push_back(k == 0);
        f.chars += part;
    }
    f.starts.push_back(true);
    return f;
}

static char32_t rangeEnd(char32_t c) {
    const std::u32string_view f = foldedCharacter(c);
    return f.size() == 1 ? f[0] : c;
}

// The list "[...]" `e` on one character that folds to `u`; a range with no character (invalid
// pattern bytes) takes none.
static bool listTakes(std::u32string_view e, std::u32string_view u) {
    const bool negated = e.size() > 3 && e[1] == U'!';
    for (std::size_t k = 1 + negated, hi; k + 1 < e.size(); k = hi + 1) {
        const bool range = k + 3 < e.size() && e[k + 1] == U'-';
        hi = range ? k + 2 : k;
        if (e[k] == kNoCharacter || e[hi] == kNoCharacter) continue;
        const bool in = range ? u.size() == 1 && rangeEnd(e[k]) <= u[0] && u[0] <= rangeEnd(e[hi])
                              : !foldedCharacter(e[k]).empty() && u == foldedCharacter(e[k]);
        if (in) return !negated;
    }
    return negated;
}

// A well-formed pattern p on the text t: "*" any run of folded code points, "?", "#" and "[list]"
// one character as written, "[]" the empty text, any other character its folding. m[i][j]: the
// pattern from i on matches the text from j on.
static bool referenceMatches(std::u32string_view p, const Folded& t) {
    const std::size_t n = t.chars.size();
    QList<QByteArray> m(p.size() + 1, QByteArray(n + 2, 0));
    m[p.size()][n] = 1;
    for (std::size_t i = p.size(); i-- > 0;) {
        const std::size_t next = p[i] == U'[' ? p.find(U']', i) + 1 : i + 1;
        const std::u32string_view literal =
            p[i] == kNoCharacter ? std::u32string_view(&kNoCharacter, 1) : foldedCharacter(p[i]);
        for (std::size_t j = n + 1; j-- > 0;) {
            bool to = false;
            if (p[i] == U'*') {
                to = m[next][j] || (j < n && m[i][j + 1]);
            } else if (p[i] == U'[' && next == i + 2) {
                to = m[next][j];
            } else if (p[i] == U'?' || p[i] == U'#' || p[i] == U'[') {
                std::size_t end = j + 1;
                while (end < n && !t.starts[end]) ++end;
                const std::u32string_view u = std::u32string_view(t.chars).substr(j, end - j);
                const bool takes = p[i] == U'?'   ? true
                                   : p[i] == U'#' ? u.size() == 1 && u[0] >= U'0' && u[0] <= U'9'
                                                  : listTakes(p.substr(i, next - i), u);
                to = j < n && t.starts[j] && takes && m[next][end];
            } else {
                to = std::u32string_view(t.chars).substr(j, literal.size()) == literal &&
                     m[next][j + literal.size()];
            }
            m[i][j] = to;
        }
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
    const std::u32string p = decodedCodePoints(pattern, true);
    const Folded t = folded(text);
    // A list is open when no "]" follows the last "["; long texts only slow the reference down.
    const bool valid = p.rfind(U'[') == p.npos || p.find(U']', p.rfind(U'[')) != p.npos;
    FUZZ_REQUIRE(compiled.valid() == valid &&
                 (valid ? t.chars.size() > 256 || matched == referenceMatches(p, t) : !matched));
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
