// SPDX-License-Identifier: GPL-3.0-or-later
#include "msgrecorder.h"

namespace velmora::test {

MessageRecorder::MessageRecorder() {
    previous_ = setMessageBoxPresenter([this](const MessageBoxRequest& r) { messages_.append(r); });
}

MessageRecorder::~MessageRecorder() {
    setMessageBoxPresenter(std::move(previous_));
}

QStringList MessageRecorder::texts() const {
    QStringList out;
    for (const auto& m : messages_) out.append(m.text);
    return out;
}

}  // namespace velmora::test
