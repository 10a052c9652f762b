// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sources/importstore.h"

#include "common/utf8text.h"
#include "fooddb/textfold.h"

#include <algorithm>
#include <new>
#include <string>

namespace velmora::mkdb {

Text TextPool::add(std::string_view text) {
    if (data_.size() + text.size() >= 0xFFFFFFFF) throw std::bad_alloc();
    const Text added{std::uint32_t(data_.size()), std::uint32_t(text.size())};
    data_.append(text);
    return added;
}

TextSet::TextSet(const TextPool& pool, Comparison comparison, std::size_t expected)
    : pool_(pool), comparison_(comparison), table_(expected) {}

std::uint32_t TextSet::hashOf(std::string_view text) const {
    if (comparison_ == Comparison::IgnoringCase)
        return std::uint32_t(caseFoldedHash(text, isAscii(text)));
    std::uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    return std::uint32_t(h);
}

const TextSet::Slot& TextSet::slotOf(std::string_view text, std::uint32_t hash) const {
    const bool ascii = comparison_ == Comparison::IgnoringCase && isAscii(text);
    return table_.find(hash, [&](const Slot& slot) {
        if (slot.hashed != hash) return false;
        const std::string_view other = pool_.view(slot.text);
        return comparison_ == Comparison::Exact
                   ? other == text
                   : equalsIgnoringCase(other, isAscii(other), text, ascii);
    });
}

bool TextSet::contains(std::string_view text) const {
    return !slotOf(text, hashOf(text)).empty();
}

bool TextSet::insert(Text text) {
    const std::string_view view = pool_.view(text);
    const std::uint32_t hash = hashOf(view);
    const Slot& slot = slotOf(view, hash);
    if (!slot.empty()) return false;
    table_.fill(const_cast<Slot&>(slot), Slot{text, hash});
    return true;
}

Text UniqueNames::take(Text name, const NameSuffix& first, const NameSuffix& numbered) {
    if (taken_.insert(name)) return name;
    ++madeUnique_;
    changed_ = pool_.view(name);  // a copy: adding to the pool may move it
    const auto append = [this](const NameSuffix& suffix) {
        changed_.append(suffix.before).append(suffix.text).append(suffix.after);
    };
    const std::size_t bare = changed_.size();
    if (!first.text.empty()) append(first);
    const auto takeChanged = [this] {
        const Text text = pool_.add(changed_);
        taken_.insert(text);
        return text;
    };
    if (!taken_.contains(changed_)) return takeChanged();
    const bool same = first.before == numbered.before && first.text == numbered.text &&
                      first.after == numbered.after;
    // The number goes into the suffix that tells the twins apart: " [C1 2]", not " [C1] [C1 2]".
    const std::size_t base = same ? bare : changed_.size();
    if (!same) {
        append(numbered);
        if (!taken_.contains(changed_)) return takeChanged();
        changed_.resize(base);
    }
    int& number = nextNumber_[changed_];
    number = std::max(number, 2);
    for (;; ++number) {
        changed_.resize(base);
        changed_.append(numbered.before).append(numbered.text);
        changed_.append(" ").append(std::to_string(number)).append(numbered.after);
        if (!taken_.contains(changed_)) break;
    }
    ++number;
    return takeChanged();
}

}  // namespace velmora::mkdb
