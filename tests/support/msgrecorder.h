// SPDX-License-Identifier: GPL-3.0-or-later
// Records message boxes instead of showing them, for the lifetime of the recorder.
#pragma once

#include "common/msgbox.h"

#include <QList>

namespace velmora::test {

class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const QList<MessageBoxRequest>& messages() const { return messages_; }
    void clear() { messages_.clear(); }
    // The texts only, for compact comparisons.
    QStringList texts() const;

  private:
    QList<MessageBoxRequest> messages_;
    MessageBoxPresenter previous_;
};

}  // namespace velmora::test
