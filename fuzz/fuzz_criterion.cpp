// SPDX-License-Identifier: GPL-3.0-or-later
// The find criterion reader on any text: a column and a value that write back to the same, or
// error 3077; and any description, quoted as the find step quotes it, comes back unchanged.
#include "common/runtimeerror.h"
#include "fooddb/criterion.h"
#include "fooddb/findfood.h"
#include "fuzzcheck.h"

// The criterion `text` reads as; none when it is refused, which it must be with error 3077.
static std::optional<Criterion> parsed(const QString& text) try {
    return parseCriterion(text);
} catch (const RunTimeError& e) {
    FUZZ_REQUIRE(e.number() == 3077);
    return std::nullopt;
}

void fuzzOne(QByteArrayView input) {
    const QString text = QString::fromUtf8(input);
    if (const std::optional<Criterion> c = parsed(text)) {
        const bool plain = std::all_of(c->column.begin(), c->column.end(),
                                       [](QChar q) { return q.isLetterOrNumber() || q == u'_'; });
        const auto back = parsed((plain ? c->column : u'[' + c->column + u']') + u" = '"_s +
                                 SrchReplace(c->value) + u'\'');
        FUZZ_REQUIRE(!c->column.isEmpty() && back && back->column == c->column &&
                     back->value == c->value);
    }
    const auto find =
        parsed(u"description = '"_s + (text.contains(u'\'') ? SrchReplace(text) : text) + u"' "_s);
    FUZZ_REQUIRE(find && find->column == "description"_L1 && find->value == text);
}
