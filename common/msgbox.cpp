// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/msgbox.h"

#include <cstdio>

namespace velmora {

namespace {
MessageBoxPresenter& presenter() {
    static MessageBoxPresenter p;
    return p;
}
}  // namespace

MessageBoxPresenter setMessageBoxPresenter(MessageBoxPresenter next) {
    MessageBoxPresenter previous = std::move(presenter());
    presenter() = std::move(next);
    return previous;
}

void MsgBox(const QString& text, const QString& title, MsgIcon icon) {
    if (presenter()) {
        presenter()({text, title, icon});
        return;
    }
    // No window system attached (command-line tools): the message still reaches the user.
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
}

}  // namespace velmora
