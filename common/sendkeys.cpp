// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/sendkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace velmora {

namespace {

struct Stroke {
    int key;
    QString text;
};

Stroke strokeFor(const QString& name) {
    static const struct {
        const char* name;
        int key;
    } named[] = {{"PGUP", Qt::Key_PageUp},  {"PGDN", Qt::Key_PageDown}, {"UP", Qt::Key_Up},
                 {"DOWN", Qt::Key_Down},    {"HOME", Qt::Key_Home},     {"END", Qt::Key_End},
                 {"ENTER", Qt::Key_Return}, {"TAB", Qt::Key_Tab},       {"LEFT", Qt::Key_Left},
                 {"RIGHT", Qt::Key_Right},  {"ESC", Qt::Key_Escape}};
    for (const auto& n : named)
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) return {n.key, {}};
    if (name.size() == 1) {
        const QChar c = name.at(0);
        const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - u'A') : c.unicode();
        return {key, name};
    }
    return {Qt::Key_unknown, {}};
}

}  // namespace

void SendKeys(const QString& keys, QWidget* target) {
    QList<Stroke> strokes;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i] == u'{') {
            const qsizetype close = keys.indexOf(u'}', i + 2);
            if (close < 0) break;
            strokes.append(strokeFor(keys.mid(i + 1, close - i - 1)));
            i = close;
        } else {
            strokes.append(strokeFor(QString(keys[i])));
        }
    }
    for (const Stroke& s : strokes) {
        QPointer<QWidget> w = target ? target : QApplication::focusWidget();
        if (!w || s.key == Qt::Key_unknown) continue;
        QKeyEvent press(QEvent::KeyPress, s.key, Qt::NoModifier, s.text);
        QApplication::sendEvent(w, &press);
        if (!w) continue;
        QKeyEvent release(QEvent::KeyRelease, s.key, Qt::NoModifier, s.text);
        QApplication::sendEvent(w, &release);
    }
}

}  // namespace velmora
