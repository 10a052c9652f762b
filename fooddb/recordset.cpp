// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/recordset.h"

#include "common/runtimeerror.h"
#include "common/utf8text.h"

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

}  // namespace velmora
