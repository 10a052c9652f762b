// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/jetlike.h"

#include "common/utf8text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace velmora {

JetPattern::JetPattern(std::string_view utf8Pattern) {
    // Read as written: a character that folds into "*" or "?" (a full-width one) is no wildcard.
    const std::u32string p = decodedCodePoints(utf8Pattern, true);
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
        } else if (c == kNoCharacter) {
            Token t(Kind::Literal);
            t.ch = c;
            tokens_.push_back(std::move(t));
        } else {
            // A ligature is as many letters as it folds to; a mark is none.
            for (const char32_t f : foldedCharacter(c)) {
                Token t(Kind::Literal);
                t.ch = f;
                tokens_.push_back(std::move(t));
            }
        }
        ++i;
    }
    findShortcuts();
}

namespace {

// A range's end: its folding where that is one character, else the character itself.
char32_t rangeEnd(char32_t c) {
    const std::u32string_view f = foldedCharacter(c);
    return f.size() == 1 ? f.front() : c;
}

}  // namespace

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
        j += range ? 3 : 1;
        // A range with an end that is no character takes in nothing.
        if (lo == kNoCharacter || hi == kNoCharacter) continue;
        if (range) {
            t.ranges.emplace_back(rangeEnd(lo), rangeEnd(hi));
            continue;
        }
        const std::u32string_view f = foldedCharacter(lo);
        if (f.size() == 1)
            t.ranges.emplace_back(f.front(), f.front());
        else if (f.size() > 1)
            t.foldings.emplace_back(f);
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
    }
}

namespace {

// An ASCII text read as folded code points without decoding it: most descriptions are ASCII, and
// the search runs over every row of the table. Each byte is a character.
struct AsciiFolded {
    std::string_view text;
    std::size_t size() const { return text.size(); }
    char32_t operator[](std::size_t i) const {
        const auto c = static_cast<unsigned char>(text[i]);
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    }
    bool startsAt(std::size_t) const { return true; }
    std::size_t endOf(std::size_t i) const { return i + 1; }
};

// Any other text, folded.
struct UnitFolded {
    const FoldedText& text;
    std::size_t size() const { return text.chars.size(); }
    char32_t operator[](std::size_t i) const { return text.chars[i]; }
    bool startsAt(std::size_t i) const { return text.starts[i] != 0; }
    std::size_t endOf(std::size_t i) const {
        while (!text.starts[++i]) {
        }
        return i;
    }
};

}  // namespace

template <typename Folded>
std::size_t JetPattern::take(const Token& t, const Folded& s, std::size_t i) const {
    constexpr std::size_t no = std::u32string::npos;
    if (t.kind == Kind::Literal) return t.ch == s[i] ? i + 1 : no;
    // The others take one character as written, whatever it folds to.
    if (!s.startsAt(i)) return no;
    const std::size_t end = s.endOf(i);
    switch (t.kind) {
        case Kind::Any:
            return end;
        case Kind::Digit:
            return end == i + 1 && s[i] >= U'0' && s[i] <= U'9' ? end : no;
        case Kind::List: {
            bool in = false;
            if (end == i + 1) {
                for (const auto& [lo, hi] : t.ranges)
                    if (s[i] >= lo && s[i] <= hi) {
                        in = true;
                        break;
                    }
            } else {
                for (const std::u32string& f : t.foldings) {
                    bool same = f.size() == end - i;
                    for (std::size_t k = 0; same && k < f.size(); ++k) same = f[k] == s[i + k];
                    if (same) {
                        in = true;
                        break;
                    }
                }
            }
            return in != t.negated ? end : no;
        }
        default:
            return no;
    }
}

template <typename Folded>
bool JetPattern::matchesFolded(const Folded& s) const {
    // Greedy match with backtracking to the last star only: linear memory, O(n*m) time at worst,
    // so no pattern can make a search hang. Each token takes what it takes at a place in one way
    // only, and a later start never ends earlier, so the leftmost run after a star is the one to
    // keep.
    constexpr std::size_t no = std::u32string::npos;
    std::size_t ti = 0, pi = 0;
    std::size_t starPi = no, starTi = 0;
    const std::size_t np = tokens_.size();
    while (ti < s.size()) {
        std::size_t next = no;
        if (pi < np && tokens_[pi].kind == Kind::Star) {
            starPi = pi++;
            starTi = ti;
        } else if (pi < np && (next = take(tokens_[pi], s, ti)) != no) {
            ++pi;
            ti = next;
        } else if (starPi != no) {
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
// full, so a common first letter costs little (the search runs on every description). When it is
// nowhere and `beyondAscii` is given, that tells whether the text from `from` on holds a byte
// beyond ASCII, seen on the way: an ASCII text pays nothing more to be told from one that may
// match once folded.
std::size_t findFolded(std::string_view text, std::string_view folded, std::size_t from,
                       bool* beyondAscii = nullptr) {
    const std::size_t m = folded.size();
    constexpr std::size_t npos = std::string_view::npos;
    if (m > text.size() || from > text.size() - m) {
        if (beyondAscii) *beyondAscii = from < text.size() && !isAscii(text.substr(from));
        return npos;
    }
    if (m == 0) return from;
    const std::size_t places = text.size() - m + 1;  // the places it may start at
    const auto first = static_cast<unsigned char>(folded.front());
    const auto last = static_cast<unsigned char>(folded.back());
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const Bytes firstBit = Bytes{} + caseBit(first), lastBit = Bytes{} + caseBit(last);
    Bytes seen{};  // every byte read into `a`, OR-ed
    std::size_t i = from;
    for (; i + 16 <= places; i += 16) {
        Bytes a, b;
        std::memcpy(&a, text.data() + i, 16);
        std::memcpy(&b, text.data() + i + m - 1, 16);
        seen |= a;
        const auto both = ((a | firstBit) == first) & ((b | lastBit) == last);
        std::uint64_t half[2];
        std::memcpy(half, &both, 16);
        if ((half[0] | half[1]) == 0) continue;
        for (std::size_t k = 0; k < 16; ++k)
            if (both[k] && equalFolded(text.data() + i + k, folded)) return i + k;
    }
    unsigned char seenHere = 0;  // every byte read below, OR-ed
    for (; i < places; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        seenHere |= c;
        if (kFold.to[c] == first && equalFolded(text.data() + i, folded)) return i;
    }
    if (beyondAscii) {
        for (; i < text.size(); ++i) seenHere |= static_cast<unsigned char>(text[i]);
        std::uint64_t half[2];
        std::memcpy(half, &seen, 16);
        *beyondAscii = ((half[0] | half[1]) & 0x8080808080808080u) != 0 || (seenHere & 0x80);
    }
    return npos;
}

}  // namespace

// ASCII bytes stand only for themselves in UTF-8, so a match found on the bytes is a match of the
// characters. Leftmost runs are enough: with no "?", "#" or lists, nothing after a star needs a
// later place. When it does not match, `beyondAscii` (if given) tells whether the text holds a
// byte beyond ASCII.
bool JetPattern::matchesSegments(std::string_view text, bool* beyondAscii) const {
    const std::size_t n = segments_.size();
    // A search's "*term*" is read once: its scan sees every byte.
    if (n == 1 && !anchoredStart_ && !anchoredEnd_)
        return findFolded(text, segments_.front(), 0, beyondAscii) != std::string_view::npos;
    const auto no = [&] {
        if (beyondAscii) *beyondAscii = !isAscii(text);
        return false;
    };
    if (n == 0) return !anchoredStart_ || text.empty() || no();
    std::size_t pos = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::string_view segment = segments_[k];
        if (k == n - 1 && anchoredEnd_) {
            if (text.size() < pos + segment.size()) return no();
            const std::size_t at = text.size() - segment.size();
            return ((k > 0 || !anchoredStart_ || at == 0) &&
                    equalFolded(text.data() + at, segment)) ||
                   no();
        }
        if (k == 0 && anchoredStart_) {
            if (text.size() < segment.size() || !equalFolded(text.data(), segment)) return no();
            pos = segment.size();
            continue;
        }
        const std::size_t at = findFolded(text, segment, pos);
        if (at == std::string_view::npos) return no();
        pos = at + segment.size();
    }
    return true;
}

bool JetPattern::matches(std::string_view utf8Text) const {
    if (!valid_) return false;
    if (anything_) return true;
    // Folding changes no ASCII character but its case, and the segments are ASCII: a match on the
    // bytes is a match; only a text beyond ASCII may still match once folded.
    if (segmentsOnly_) {
        bool beyondAscii = false;
        if (matchesSegments(utf8Text, &beyondAscii)) return true;
        if (!beyondAscii) return false;
        thread_local std::string folded;
        folded.clear();
        appendFoldedUtf8(utf8Text, folded);
        return matchesSegments(folded);
    }
    if (isAscii(utf8Text)) return matchesFolded(AsciiFolded{utf8Text});
    thread_local FoldedText folded;
    folded.assign(utf8Text);
    return matchesFolded(UnitFolded{folded});
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
