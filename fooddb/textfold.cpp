// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/textfold.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>

namespace velmora {

namespace {

// The code point at `s[i]` and how many bytes it takes (see decodedCodePoints).
char32_t decodeAt(std::string_view s, std::size_t i, bool pattern, std::size_t& len) {
    const std::size_t n = s.size();
    const auto b0 = static_cast<unsigned char>(s[i]);
    len = 1;
    if (b0 < 0x80) return b0;
    int extra = 0;
    char32_t cp = 0, min = 0;
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
        return cp;
    }
    if (pattern && ok && extra == 1 && cp == 0) {
        len = 2;  // C0 80: the query text's way of writing a NUL the user typed
        return 0;
    }
    // In a pattern, a character that is no character matches nothing; its bytes stand for one
    // character so that the rest keeps its meaning.
    if (pattern && ok) len = static_cast<std::size_t>(extra) + 1;
    return pattern ? kNoCharacter : 0xFFFD;
}

template <typename Use>
void forEachCodePoint(std::string_view s, Use use) {
    std::size_t len = 1;
    for (std::size_t i = 0; i < s.size(); i += len) use(decodeAt(s, i, false, len));
}

// Letters that Unicode gives no decomposition, as dictionaries and the common transliterations
// spell them. Decomposition cannot find these: ø, ł, đ are letters of their own, not o, l, d with
// a mark, and œ, æ, ß are ligatures that only collation expands.
std::u32string_view spelledOut(char32_t c) {
    switch (c) {
        case U'ß':
            return U"ss";
        case U'æ':
            return U"ae";
        case U'œ':
            return U"oe";
        case U'ø':
            return U"o";
        case U'đ':
            return U"d";
        case U'ð':
            return U"d";
        case U'ł':
            return U"l";
        case U'ı':
            return U"i";
        case U'ħ':
            return U"h";
        case U'ŧ':
            return U"t";
        case U'þ':
            return U"th";
        default:
            return {};
    }
}

void appendFolding(char32_t c, std::u32string& out) {
    if (c < 0x80) {
        out += (c >= U'A' && c <= U'Z') ? c + 32 : c;
        return;
    }
    if (c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF)) {
        out += c;
        return;
    }
    // Decomposed before and after the case folding: a folded letter may decompose further.
    const QString folded = QString::fromUcs4(&c, 1)
                               .normalized(QString::NormalizationForm_KD)
                               .toCaseFolded()
                               .normalized(QString::NormalizationForm_KD);
    for (const char32_t f : folded.toUcs4()) {
        if (QChar::category(f) == QChar::Mark_NonSpacing) continue;
        const std::u32string_view spelled = spelledOut(f);
        if (spelled.empty())
            out += f;
        else
            out += spelled;
    }
}

// The foldings of 256 code points from a multiple of 256 on, made from Qt's Unicode data the
// first time one of them is asked for.
struct FoldBlock {
    std::array<std::uint16_t, 257> begin{};  // where each one's folding begins in `chars`
    std::u32string chars;
};
constexpr std::size_t kBlockBits = 8;
constexpr std::size_t kBlockCount = (0x10FFFF >> kBlockBits) + 1;
std::atomic<const FoldBlock*> blocks[kBlockCount];

const FoldBlock& blockOf(char32_t c) {
    std::atomic<const FoldBlock*>& slot = blocks[c >> kBlockBits];
    if (const FoldBlock* block = slot.load(std::memory_order_acquire)) return *block;
    auto* made = new FoldBlock;
    const char32_t first = c & ~char32_t{(1u << kBlockBits) - 1};
    for (std::size_t k = 0; k < 256; ++k) {
        made->begin[k] = static_cast<std::uint16_t>(made->chars.size());
        appendFolding(first + char32_t(k), made->chars);
    }
    made->begin[256] = static_cast<std::uint16_t>(made->chars.size());
    // Another thread may have made it meanwhile: the first one made stays, for good.
    const FoldBlock* expected = nullptr;
    if (slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return *made;
    delete made;
    return *expected;
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

unsigned char lowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Equal without regard to ASCII case; both texts are ASCII.
bool asciiEqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(static_cast<unsigned char>(a[i])) !=
            lowerAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::u32string decodedCodePoints(std::string_view s, bool pattern) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t len = 1;
    for (std::size_t i = 0; i < s.size(); i += len) out += decodeAt(s, i, pattern, len);
    return out;
}

std::u32string_view foldedCharacter(char32_t c) {
    if (c > 0x10FFFF) return {};
    const FoldBlock& block = blockOf(c);
    const std::size_t k = c & ((1u << kBlockBits) - 1);
    return std::u32string_view(block.chars)
        .substr(block.begin[k], block.begin[k + 1] - block.begin[k]);
}

std::u32string foldedCodePoints(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t c) {
        if (c < 0x80)
            out += lowerAscii(static_cast<unsigned char>(c));
        else
            out += foldedCharacter(c);
    });
    return out;
}

void appendFoldedUtf8(std::string_view utf8, std::string& out) {
    forEachCodePoint(utf8, [&](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
            return;
        }
        for (const char32_t f : foldedCharacter(c)) appendUtf8(f, out);
    });
}

void FoldedText::assign(std::string_view utf8) {
    chars.clear();
    starts.clear();
    forEachCodePoint(utf8, [&](char32_t c) {
        if (c < 0x80) {
            chars += lowerAscii(static_cast<unsigned char>(c));
            starts.push_back(1);
            return;
        }
        // A mark folds to nothing: it stays with the character before it (at the start, with the
        // one after it).
        const std::u32string_view f = foldedCharacter(c);
        for (std::size_t k = 0; k < f.size(); ++k) starts.push_back(k == 0);
        chars += f;
    });
    starts.push_back(1);
}

bool foldedStartsWith(std::string_view utf8, std::string_view prefix) {
    std::size_t at = 0;  // how much of the prefix is met
    std::size_t len = 1;
    std::string folded;
    for (std::size_t i = 0; i < utf8.size() && at < prefix.size(); i += len) {
        const char32_t c = decodeAt(utf8, i, false, len);
        folded.clear();
        if (c < 0x80)
            folded += static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
        else
            for (const char32_t f : foldedCharacter(c)) appendUtf8(f, folded);
        const std::size_t n = std::min(folded.size(), prefix.size() - at);
        if (folded.compare(0, n, prefix, at, n) != 0) return false;
        at += n;
    }
    return at == prefix.size();
}

namespace {

// Case folding alone, a code point at a time (as the table's comparison has always read text).
std::u32string caseFoldedCodePoints(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t c) {
        if (c < 0x80)
            out += (c >= U'A' && c <= U'Z') ? c + 32 : c;
        else
            out += c == 0xFFFD ? c : char32_t(QChar::toCaseFolded(c));
    });
    return out;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, bool aAscii, std::string_view b, bool bAscii) {
    if (aAscii && bAscii) return asciiEqualsIgnoringCase(a, b);
    // A few non-ASCII letters fold to ASCII ones (the Kelvin sign to k), so compare folded.
    return caseFoldedCodePoints(a) == caseFoldedCodePoints(b);
}

std::uint64_t caseFoldedHash(std::string_view utf8, bool ascii) {
    // FNV-1a over the folded code points; an ASCII text's are its bytes with A-Z lowered.
    std::uint64_t h = 0xCBF29CE484222325ull;
    const auto add = [&h](char32_t c) { h = (h ^ c) * 0x100000001B3ull; };
    if (ascii) {
        for (const char c : utf8) add(lowerAscii(static_cast<unsigned char>(c)));
    } else {
        for (const char32_t c : caseFoldedCodePoints(utf8)) add(c);
    }
    return h;
}

bool equalsFolded(std::string_view a, bool aAscii, std::string_view b, bool bAscii) {
    if (aAscii && bAscii) return asciiEqualsIgnoringCase(a, b);
    return foldedCodePoints(a) == foldedCodePoints(b);
}

int compareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = lowerAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = lowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace velmora
