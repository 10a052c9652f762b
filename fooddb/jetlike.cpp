// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/jetlike.h"

#include <QChar>

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

JetPattern::JetPattern(std::string_view utf8Pattern) {
    const std::u32string p = foldedCodePoints(utf8Pattern, true);
    std::size_t i = 0;
    while (i < p.size()) {
        const char32_t c = p[i];
        if (c == U'*') {
            if (tokens_.empty() || tokens_.back().kind != Kind::Star)
                tokens_.emplace_back(Kind::Star);
            ++i;
        } else if (c == U'?') {
            tokens_.emplace_back(Kind::Any);
            ++i;
        } else if (c == U'#') {
            tokens_.emplace_back(Kind::Digit);
            ++i;
        } else if (c == U'[') {
            const std::size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos) {
                valid_ = false;
                tokens_.clear();
                return;
            }
            std::size_t j = i + 1;
            if (close == j) {  // "[]" stands for the empty text: it consumes nothing
                i = close + 1;
                continue;
            }
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
            tokens_.push_back(std::move(t));
            i = close + 1;
        } else {
            Token t(Kind::Literal);
            t.ch = c;
            tokens_.push_back(std::move(t));
            ++i;
        }
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

bool JetPattern::matches(std::string_view utf8Text) const {
    if (!valid_) return false;
    const std::u32string s = foldedCodePoints(utf8Text);
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
