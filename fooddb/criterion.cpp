// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/criterion.h"

#include "common/runtimeerror.h"
#include "fooddb/dataerrors.h"

namespace velmora {

namespace {

[[noreturn]] void syntaxError(const QString& text) {
    throw RunTimeError(
        dataerr::kSyntaxError,
        QStringLiteral("Syntax error (missing operator) in expression '%1'.").arg(text));
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

}  // namespace

Criterion parseCriterion(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i])) ++i;
    };
    Criterion c;
    skipBlanks();
    if (i < n && text[i] == u'[') {
        const qsizetype close = text.indexOf(u']', i + 1);
        if (close < 0) syntaxError(text);
        c.column = text.mid(i + 1, close - i - 1);
        i = close + 1;
    } else {
        const qsizetype start = i;
        while (i < n && (text[i].isLetterOrNumber() || text[i] == u'_')) ++i;
        c.column = text.mid(start, i - start);
    }
    if (c.column.isEmpty()) syntaxError(text);
    skipBlanks();
    if (i >= n || text[i] != u'=') syntaxError(text);
    ++i;
    skipBlanks();
    if (i >= n || text[i] != u'\'') syntaxError(text);
    ++i;
    bool closed = false;
    while (i < n) {
        if (text[i] == u'\'') {
            if (i + 1 < n && text[i + 1] == u'\'') {
                c.value += u'\'';
                i += 2;
                continue;
            }
            closed = true;
            ++i;
            break;
        }
        c.value += text[i++];
    }
    if (!closed) syntaxError(text);
    skipBlanks();
    if (i != n) syntaxError(text);
    return c;
}

}  // namespace velmora
