// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/jetlike.h"

#include "common/utf8text.h"

#include <QChar>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace velmora {

namespace {

char32_t fold(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

}  // namespace

std::u32string foldedCodePoints(std::string_view s, bool pattern) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        char32_t cp = pattern ? kNoCharacter : 0xFFFD;
        std::size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else {
            int extra = 0;
            char32_t min = 0;
            if ((b0 & 0xE0) == 0xC0)
                extra = 1, cp = b0 & 0x1F, min = 0x80;
            else if ((b0 & 0xF0) == 0xE0)
                extra = 2, cp = b0 & 0x0F, min = 0x800;
            else if ((b0 & 0xF8) == 0xF0)
                extra = 3, cp = b0 & 0x07, min = 0x10000;
            bool ok = extra > 0;
            for (int k = 1; ok && k <= extra; ++k) {
                if (i + static_cast<std::size_t>(k) >= n) {
                    ok = false;
                    break;
                }
                const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
                if ((b & 0xC0) != 0x80)
                    ok = false;
                else
                    cp = (cp << 6) | (b & 0x3F);
            }
            if (ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                len = static_cast<std::size_t>(extra) + 1;
            } else if (pattern && ok && extra == 1 && cp == 0) {
                len = 2;  // C0 80: the query text's way of writing a NUL the user typed
            } else {
                // In a pattern, a character that is no character matches nothing; its bytes
                // stand for one character so that the rest keeps its meaning.
                cp = pattern ? kNoCharacter : 0xFFFD;
                if (pattern && ok) len = static_cast<std::size_t>(extra) + 1;
            }
        }
        out.push_back(cp == kNoCharacter ? cp : fold(cp));
        i += len;
    }
    return out;
}

namespace {

// Equal without regard to ASCII case; both texts are ASCII.
bool asciiEqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca != cb && ((ca | 0x20) != (cb | 0x20) || !std::isalpha(ca))) return false;
    }
    return true;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, bool aAscii, std::string_view b, bool bAscii) {
    if (aAscii && bAscii) return asciiEqualsIgnoringCase(a, b);
    // A few non-ASCII letters fold to ASCII ones (the Kelvin sign to k), so compare folded.
    return foldedCodePoints(a) == foldedCodePoints(b);
}

std::uint64_t foldedHash(std::string_view utf8, bool ascii) {
    // FNV-1a over the folded code points; an ASCII text's are its bytes with A-Z lowered.
    std::uint64_t h = 0xCBF29CE484222325ull;
    const auto add = [&h](char32_t c) { h = (h ^ c) * 0x100000001B3ull; };
    if (ascii) {
        for (const char c : utf8) add(char32_t(fold(static_cast<unsigned char>(c))));
    } else {
        for (const char32_t c : foldedCodePoints(utf8)) add(c);
    }
    return h;
}

JetPattern::JetPattern(std::string_view utf8Pattern) {
    const std::u32string p = foldedCodePoints(utf8Pattern, true);
    std::size_t i = 0;
    while (i < p.size()) {
        const char32_t c = p[i];
        if (c == U'*') {
            if (tokens_.empty() || tokens_.back().kind != Kind::Star)
                tokens_.emplace_back(Kind::Star);
        } else if (c == U'?') {
            tokens_.emplace_back(Kind::Any);
        } else if (c == U'#') {
            tokens_.emplace_back(Kind::Digit);
        } else if (c == U'[') {
            const std::size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos) {
                valid_ = false;
                tokens_.clear();
                return;
            }
            // "[]" stands for the empty text: it consumes nothing.
            if (close > i + 1) tokens_.push_back(listToken(p, i + 1, close));
            i = close;
        } else {
            Token t(Kind::Literal);
            t.ch = c;
            tokens_.push_back(std::move(t));
        }
        ++i;
    }
    findShortcuts();
}

// The character list of `p` from `j` (after its "[") to its "]" at `close`.
JetPattern::Token JetPattern::listToken(const std::u32string& p, std::size_t j, std::size_t close) {
    Token t(Kind::List);
    if (p[j] == U'!' && j + 1 < close) {
        t.negated = true;
        ++j;
    }
    while (j < close) {
        const char32_t lo = p[j];
        const bool range = j + 2 < close && p[j + 1] == U'-';
        const char32_t hi = range ? p[j + 2] : lo;
        // A range with an end that is no character takes in nothing.
        if (lo != kNoCharacter && hi != kNoCharacter) t.ranges.emplace_back(lo, hi);
        j += range ? 3 : 1;
    }
    return t;
}

void JetPattern::findShortcuts() {
    anything_ = tokens_.size() == 1 && tokens_.front().kind == Kind::Star;
    segmentsOnly_ = std::ranges::all_of(tokens_, [](const Token& t) {
        return t.kind == Kind::Star || (t.kind == Kind::Literal && t.ch < 0x80);
    });
    if (!segmentsOnly_) return;
    anchoredStart_ = tokens_.empty() || tokens_.front().kind != Kind::Star;
    anchoredEnd_ = tokens_.empty() || tokens_.back().kind != Kind::Star;
    for (std::size_t k = 0; k < tokens_.size(); ++k) {
        if (tokens_[k].kind == Kind::Star) continue;
        if (k == 0 || tokens_[k - 1].kind == Kind::Star) segments_.emplace_back();
        segments_.back().push_back(static_cast<char>(tokens_[k].ch));
        const char lead = foldingLead(tokens_[k].ch);
        if (lead != 0 && foldingLeads_.find(lead) == std::string::npos) foldingLeads_ += lead;
    }
}

bool JetPattern::tokenMatches(const Token& t, char32_t c) const {
    switch (t.kind) {
        case Kind::Literal:
            return t.ch == c;
        case Kind::Any:
            return true;
        case Kind::Digit:
            return c >= U'0' && c <= U'9';
        case Kind::List: {
            bool in = false;
            for (const auto& [lo, hi] : t.ranges)
                if (c >= lo && c <= hi) {
                    in = true;
                    break;
                }
            return in != t.negated;
        }
        case Kind::Star:
            return false;
    }
    return false;
}

// An ASCII text read as folded code points without decoding it: most descriptions are ASCII, and
// the search runs over every row of the table.
struct AsciiFolded {
    std::string_view text;
    std::size_t size() const { return text.size(); }
    char32_t operator[](std::size_t i) const {
        const auto c = static_cast<unsigned char>(text[i]);
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    }
};

template <typename Folded>
bool JetPattern::matchesFolded(const Folded& s) const {
    // Greedy match with backtracking to the last star only: linear memory, O(n*m) time at worst,
    // so no pattern can make a search hang.
    std::size_t ti = 0, pi = 0;
    std::size_t starPi = std::u32string::npos, starTi = 0;
    const std::size_t np = tokens_.size();
    while (ti < s.size()) {
        if (pi < np && tokens_[pi].kind == Kind::Star) {
            starPi = pi++;
            starTi = ti;
        } else if (pi < np && tokenMatches(tokens_[pi], s[ti])) {
            ++pi;
            ++ti;
        } else if (starPi != std::u32string::npos) {
            pi = starPi + 1;
            ti = ++starTi;
        } else {
            return false;
        }
    }
    while (pi < np && tokens_[pi].kind == Kind::Star) ++pi;
    return pi == np;
}

namespace {

// ASCII letters folded to lower case; every other byte as it is.
struct FoldTable {
    unsigned char to[256];
    constexpr FoldTable() : to() {
        for (int c = 0; c < 256; ++c)
            to[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
};
constexpr FoldTable kFold;

bool equalFolded(const char* text, std::string_view folded) {
    for (std::size_t i = 0; i < folded.size(); ++i)
        if (kFold.to[static_cast<unsigned char>(text[i])] != static_cast<unsigned char>(folded[i]))
            return false;
    return true;
}

// A byte of the text as the folded byte `f` compares it: a letter in either case, any other byte
// as it is. OR-ing 0x20 turns an upper-case letter into its lower case and leaves it alone.
unsigned char caseBit(unsigned char f) {
    return f >= 'a' && f <= 'z' ? 0x20 : 0;
}

// Where `folded` first occurs in `text` from `from` on, ignoring ASCII case; npos when nowhere.
// Sixteen places at a time: only where both its first and its last byte match is it compared in
// full, so a common first letter costs little (the search runs on every description).
std::size_t findFolded(std::string_view text, std::string_view folded, std::size_t from) {
    const std::size_t m = folded.size();
    if (m > text.size() || from > text.size() - m) return std::string_view::npos;
    if (m == 0) return from;
    const std::size_t places = text.size() - m + 1;  // the places it may start at
    const auto first = static_cast<unsigned char>(folded.front());
    const auto last = static_cast<unsigned char>(folded.back());
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const Bytes firstBit = Bytes{} + caseBit(first), lastBit = Bytes{} + caseBit(last);
    std::size_t i = from;
    for (; i + 16 <= places; i += 16) {
        Bytes a, b;
        std::memcpy(&a, text.data() + i, 16);
        std::memcpy(&b, text.data() + i + m - 1, 16);
        const auto both = ((a | firstBit) == first) & ((b | lastBit) == last);
        std::uint64_t half[2];
        std::memcpy(half, &both, 16);
        if ((half[0] | half[1]) == 0) continue;
        for (std::size_t k = 0; k < 16; ++k)
            if (both[k] && equalFolded(text.data() + i + k, folded)) return i + k;
    }
    for (; i < places; ++i)
        if (kFold.to[static_cast<unsigned char>(text[i])] == first &&
            equalFolded(text.data() + i, folded))
            return i;
    return std::string_view::npos;
}

}  // namespace

// ASCII bytes stand only for themselves in UTF-8, so a match found on the bytes is a match of the
// characters. Leftmost runs are enough: with no "?", "#" or lists, nothing after a star needs a
// later place.
bool JetPattern::matchesSegments(std::string_view text) const {
    const std::size_t n = segments_.size();
    if (n == 0) return !anchoredStart_ || text.empty();
    std::size_t pos = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::string_view segment = segments_[k];
        if (k == n - 1 && anchoredEnd_) {
            if (text.size() < pos + segment.size()) return false;
            const std::size_t at = text.size() - segment.size();
            return (k > 0 || !anchoredStart_ || at == 0) && equalFolded(text.data() + at, segment);
        }
        if (k == 0 && anchoredStart_) {
            if (text.size() < segment.size() || !equalFolded(text.data(), segment)) return false;
            pos = segment.size();
            continue;
        }
        const std::size_t at = findFolded(text, segment, pos);
        if (at == std::string_view::npos) return false;
        pos = at + segment.size();
    }
    return true;
}

bool JetPattern::matches(std::string_view utf8Text) const {
    if (!valid_) return false;
    if (anything_) return true;
    // A few letters beyond ASCII fold into it (the Kelvin sign into k): only an ASCII text that
    // does not match is surely no match.
    if (segmentsOnly_) {
        if (matchesSegments(utf8Text)) return true;
        const bool folds = std::ranges::any_of(foldingLeads_, [&](char lead) {
            return utf8Text.find(lead) != std::string_view::npos;
        });
        if (!folds) return false;
    }
    const bool ascii = isAscii(utf8Text);
    if (segmentsOnly_ && ascii) return false;
    if (ascii) return matchesFolded(AsciiFolded{utf8Text});
    thread_local std::u32string folded;
    folded = foldedCodePoints(utf8Text);
    return matchesFolded(folded);
}

namespace {

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc < 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL ||
        sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The pattern is the same for every row of a query: compile it once.
    auto* pattern = static_cast<JetPattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        const int plen = sqlite3_value_bytes(argv[0]);
        pattern = new JetPattern(std::string_view(p ? p : "", static_cast<std::size_t>(plen)));
        if (!pattern->valid()) {
            delete pattern;
            sqlite3_result_error(ctx, kInvalidPatternText, -1);
            return;
        }
        sqlite3_set_auxdata(ctx, 0, pattern, [](void* v) { delete static_cast<JetPattern*>(v); });
        pattern = static_cast<JetPattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
    }
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int tlen = sqlite3_value_bytes(argv[1]);
    sqlite3_result_int(
        ctx, pattern->matches(std::string_view(t ? t : "", static_cast<std::size_t>(tlen))));
}

}  // namespace

int registerJetLike(sqlite3* db) {
    return sqlite3_create_function_v2(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      likeFunction, nullptr, nullptr, nullptr);
}

}  // namespace velmora
