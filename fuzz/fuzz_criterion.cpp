// The find criterion reader on any text: a column and a value, or run-time error 3077, nothing
// else. What it reads writes back to a criterion that reads the same; and any description, quoted
// as the find step quotes it, comes back unchanged.
#include "common/vberror.h"
#include "fooddb/criterion.h"
#include "fooddb/findfood.h"
#include "fuzzcheck.h"

#include <QString>

#include <cstdint>

namespace {

bool isPlainName(const QString& column) {
    for (QChar c : column)
        if (!c.isLetterOrNumber() && c != u'_') return false;
    return true;
}

velmora::Criterion mustParse(const QString& text) {
    try {
        return velmora::parseCriterion(text);
    } catch (const velmora::VbError& e) {
        FUZZ_REQUIRE(false, "criterion \"%s\" was refused with %d", qUtf8Printable(text),
                     e.number());
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    try {
        const velmora::Criterion c = velmora::parseCriterion(text);
        FUZZ_REQUIRE(!c.column.isEmpty(), "empty column from \"%s\"", qUtf8Printable(text));
        const QString column = isPlainName(c.column) ? c.column : u'[' + c.column + u']';
        const QString again =
            column + QStringLiteral(" = '") + velmora::SrchReplace(c.value) + u'\'';
        const velmora::Criterion back = mustParse(again);
        FUZZ_REQUIRE(back.column == c.column && back.value == c.value,
                     "\"%s\" and its rewrite \"%s\" differ", qUtf8Printable(text),
                     qUtf8Printable(again));
    } catch (const velmora::VbError& e) {
        FUZZ_REQUIRE(e.number() == 3077, "criterion error %d", e.number());
    }

    const QString findName = text.contains(u'\'') ? velmora::SrchReplace(text) : text;
    const velmora::Criterion find =
        mustParse(QStringLiteral("description = '") + findName + QStringLiteral("' "));
    FUZZ_REQUIRE(find.column == QLatin1String("description") && find.value == text,
                 "description \"%s\" came back as \"%s\"", qUtf8Printable(text),
                 qUtf8Printable(find.value));
    return 0;
}
