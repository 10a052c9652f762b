// The SR release import on any bytes, split into FOOD_DES, NUT_DATA and WEIGHT at the byte 0x1E:
// a table with one row per FOOD_DES line, or a fault placed inside one of the three files.
#include "fuzzcheck.h"
#include "tools/srimport.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace {

using namespace velmora::mkdb;

// Lines the reader sees: a DOS end-of-file mark dropped, the last line end optional.
qsizetype lineCount(QByteArray bytes) {
    if (bytes.endsWith('\x1A')) bytes.chop(1);
    if (bytes.isEmpty()) return 0;
    return bytes.count('\n') + (bytes.endsWith('\n') ? 0 : 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\x1E');
    const SrFile foodDes{QStringLiteral("FOOD_DES.txt"), parts.value(0)};
    const SrFile nutData{QStringLiteral("NUT_DATA.txt"), parts.value(1)};
    const SrFile weight{QStringLiteral("WEIGHT.txt"), parts.value(2)};

    FoodTable table;
    if (const auto fault = srTableFromFiles(foodDes, nutData, weight, table)) {
        const SrFile* file = fault->file == foodDes.name   ? &foodDes
                             : fault->file == nutData.name ? &nutData
                             : fault->file == weight.name  ? &weight
                                                           : nullptr;
        FUZZ_REQUIRE(file, "fault in an unknown file \"%s\"", qUtf8Printable(fault->file));
        FUZZ_REQUIRE(fault->line >= 1 && fault->line <= lineCount(file->bytes) + 1 &&
                         fault->column >= 1 && fault->column <= file->bytes.size() + 1,
                     "fault at %lld:%lld in %lld bytes", static_cast<long long>(fault->line),
                     static_cast<long long>(fault->column),
                     static_cast<long long>(file->bytes.size()));
    } else {
        FUZZ_REQUIRE(qsizetype(table.size()) == lineCount(foodDes.bytes),
                     "%zu rows from %lld lines", table.size(),
                     static_cast<long long>(lineCount(foodDes.bytes)));
    }
    return 0;
}
