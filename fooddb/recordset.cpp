// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/recordset.h"

#include "common/runtimeerror.h"
#include "common/utf8text.h"
#include "fooddb/textfold.h"

#include <algorithm>

namespace velmora {

QString Recordset::description(int row) const {
    const std::string_view d = descriptionUtf8(row);
    return textFromUtf8(QByteArrayView(d.data(), static_cast<qsizetype>(d.size())));
}

std::string_view Recordset::descriptionUtf8(int row) const {
    const auto r = static_cast<std::size_t>(row);
    const std::uint32_t begin = r == 0 ? 0 : ends_[r - 1];
    return std::string_view(text_).substr(begin, ends_[r] - begin);
}

void Recordset::append(std::string_view description, std::int64_t key, const Fields* fields) {
    text_.append(description);
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    ascii_.push_back(isAscii(description) ? 1 : 0);
    bytes_ += description.size() + sizeof(std::uint32_t) + 1;
    if (fields) {
        for (const std::string& f : *fields) bytes_ += sizeof f + f.size();
        fields_.insert(fields_.end(), fields->begin(), fields->end());
    } else {
        keys_.push_back(key);
        bytes_ += sizeof key;
    }
    // Every per-row structure counts, so no table can make the record set outgrow memory.
    if (bytes_ > limit_) throw RunTimeError(err::OutOfMemory, standardErrorText(err::OutOfMemory));
}

void Recordset::putInListOrder() {
    struct Beyond {
        int row;
        std::string folded;
    };
    std::vector<Beyond> beyond;
    for (int row = 0; row < RecordCount(); ++row)
        if (!descriptionIsAscii(row)) beyond.push_back({row, {}});
    if (beyond.empty()) return;
    for (Beyond& b : beyond) appendFoldedUtf8(descriptionUtf8(b.row), b.folded);
    // An ASCII description is its own folding but for case, which compareNoCase ignores.
    const auto before = [this](std::string_view aFolded, int a, std::string_view bFolded, int b) {
        const int c = compareNoCase(aFolded, bFolded);
        return c < 0 || (c == 0 && compareNoCase(descriptionUtf8(a), descriptionUtf8(b)) < 0);
    };
    std::ranges::stable_sort(beyond, [&](const Beyond& a, const Beyond& b) {
        return before(a.folded, a.row, b.folded, b.row);
    });
    std::vector<int> order;
    order.reserve(ends_.size());
    auto next = beyond.begin();
    for (int row = 0; row < RecordCount(); ++row) {
        if (!descriptionIsAscii(row)) continue;
        const std::string_view d = descriptionUtf8(row);
        for (; next != beyond.end() && before(next->folded, next->row, d, row); ++next)
            order.push_back(next->row);
        order.push_back(row);
    }
    for (; next != beyond.end(); ++next) order.push_back(next->row);

    Recordset sorted;
    sorted.text_.reserve(text_.size());
    sorted.ends_.reserve(ends_.size());
    sorted.ascii_.reserve(ascii_.size());
    sorted.keys_.reserve(keys_.size());
    sorted.fields_.reserve(fields_.size());
    for (const int row : order) {
        const auto r = static_cast<std::size_t>(row);
        sorted.text_.append(descriptionUtf8(row));
        sorted.ends_.push_back(static_cast<std::uint32_t>(sorted.text_.size()));
        sorted.ascii_.push_back(ascii_[r]);
        if (!keys_.empty()) sorted.keys_.push_back(keys_[r]);
        if (!fields_.empty())
            for (std::size_t f = 0; f < std::size_t{kBoundFieldCount}; ++f)
                sorted.fields_.push_back(std::move(fields_[r * kBoundFieldCount + f]));
    }
    text_ = std::move(sorted.text_);
    ends_ = std::move(sorted.ends_);
    ascii_ = std::move(sorted.ascii_);
    keys_ = std::move(sorted.keys_);
    fields_ = std::move(sorted.fields_);
}

}  // namespace velmora
