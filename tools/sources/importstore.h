// SPDX-License-Identifier: GPL-3.0-or-later
// What a reader keeps while it reads a download of up to millions of foods and amounts: ids mapped
// to indexes, texts in one block, and sets of texts, each without a node or a string per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QtGlobal>

namespace velmora::mkdb {

// Open addressing with linear probing under the containers below, at most half full. A `Slot` is
// default-constructed empty, says so by empty(), and gives its hash back by hash().
template <class Slot>
class SlotTable {
  public:
    explicit SlotTable(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.resize(capacity);
    }

    // The slot that holds what `matches`, or else the empty slot where it belongs.
    template <class Matches>
    Slot& find(std::uint64_t hash, Matches matches) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = std::size_t(hash) & mask;
        while (!slots_[i].empty() && !matches(slots_[i])) i = (i + 1) & mask;
        return slots_[i];
    }
    template <class Matches>
    const Slot& find(std::uint64_t hash, Matches matches) const {
        return const_cast<SlotTable*>(this)->find(hash, matches);
    }

    // Fills the empty slot find() gave (it is stale afterwards).
    void fill(Slot& empty, const Slot& slot) {
        empty = slot;
        if (++count_ * 2 > slots_.size()) grow();
    }
    std::size_t size() const { return count_; }

  private:
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (!slot.empty()) find(slot.hash(), [](const Slot&) { return false; }) = slot;
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// A 32-bit id (fdc_id, a nutrient's id) -> a 32-bit index.
class IdMap {
  public:
    static constexpr std::uint32_t kMissing = 0xFFFFFFFF;  // value() of an id not in the map

    explicit IdMap(std::size_t expected = 16) : table_(expected) {}

    // False when `id` is in already. `id` is below 0xFFFFFFFF, as RecordScanner::id reads them.
    bool insert(std::uint32_t id, std::uint32_t value) {
        Slot& slot = table_.find(hashOf(id), [id](const Slot& s) { return s.key == id + 1; });
        if (!slot.empty()) return false;
        table_.fill(slot, Slot{id + 1, value});
        return true;
    }
    std::uint32_t value(std::uint32_t id) const {
        const Slot& slot = table_.find(hashOf(id), [id](const Slot& s) { return s.key == id + 1; });
        return slot.empty() ? kMissing : slot.value;
    }

  private:
    static std::uint64_t hashOf(std::uint32_t id) {
        return (std::uint64_t(id) * 0x9E3779B97F4A7C15ull) >> 20;
    }
    struct Slot {
        std::uint32_t key = 0;  // id + 1; 0 when empty
        std::uint32_t value = 0;
        bool empty() const { return key == 0; }
        std::uint64_t hash() const { return hashOf(key - 1); }
    };
    SlotTable<Slot> table_;
};

// A text kept in a TextPool.
struct Text {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The texts kept per food, in one block instead of a string each.
class TextPool {
  public:
    // Throws std::bad_alloc past 4 GB of text in all.
    Text add(std::string_view text);
    std::string_view view(Text text) const { return {data_.data() + text.offset, text.size}; }

  private:
    std::string data_;
};

// Texts of a pool, each once.
class TextSet {
  public:
    enum class Comparison {
        Exact,         // byte for byte
        IgnoringCase,  // as the find step compares descriptions (equalsIgnoringCase)
    };

    TextSet(const TextPool& pool, Comparison comparison, std::size_t expected = 16);

    bool contains(std::string_view text) const;
    // Adds `text`, one of the pool's; false when an equal one is in already.
    bool insert(Text text);
    std::size_t size() const { return table_.size(); }

  private:
    struct Slot {
        static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;  // as a size: no text is that long
        Text text{0, kEmpty};
        std::uint32_t hashed = 0;
        bool empty() const { return text.size == kEmpty; }
        std::uint64_t hash() const { return hashed; }
    };
    std::uint32_t hashOf(std::string_view text) const;
    const Slot& slotOf(std::string_view text, std::uint32_t hash) const;

    const TextPool& pool_;
    Comparison comparison_;
    SlotTable<Slot> table_;
};

// What tells a description apart from an equal one: `before` + `text` + `after`, such as
// " [FDC 123]". Nothing when `text` is empty.
struct NameSuffix {
    std::string_view before, text, after;
};

// The descriptions of a table, each reachable from the list: the find step goes to the first food
// whose description equals the one clicked, ignoring case, so a description equal to one taken
// before gets a suffix.
class UniqueNames {
  public:
    explicit UniqueNames(TextPool& pool, std::size_t expected = 16)
        : pool_(pool), taken_(pool, TextSet::Comparison::IgnoringCase, expected) {}

    // `name` itself when no description taken so far equals it; else `name` + `first`, then
    // + `numbered` (whose text is not empty; it may be `first`), then + `numbered` with a number
    // after its text (" [C1 2]", " [C1 3]", ...), the first of them not taken. Takes that and
    // returns it. Twins cost a look-up each, however many there are.
    Text take(Text name, const NameSuffix& first, const NameSuffix& numbered);
    Text take(std::string_view name, const NameSuffix& first, const NameSuffix& numbered) {
        return take(pool_.add(name), first, numbered);
    }
    // How many descriptions had to be changed.
    qsizetype madeUnique() const { return madeUnique_; }

  private:
    TextPool& pool_;
    TextSet taken_;
    std::string changed_;
    // The number the next twin of a name with its suffix tries first.
    std::unordered_map<std::string, int> nextNumber_;
    qsizetype madeUnique_ = 0;
};

}  // namespace velmora::mkdb
