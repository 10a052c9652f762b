// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/foodtable.h"

#include <QFile>
#include <charconv>

#include "tools/csvreader.h"

namespace velmora::mkdb {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Skips a run of digits from i; returns how many there were.
qsizetype skipDigits(QStringView text, qsizetype& i) {
    const qsizetype start = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    return i - start;
}

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

}  // namespace

std::optional<double> parseNumber(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && text[i] == u'-') ++i;
    qsizetype digits = skipDigits(text, i);
    if (i < text.size() && text[i] == u'.') {
        ++i;
        digits += skipDigits(text, i);
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
        if (skipDigits(text, i) == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    // Only ASCII is left, so the Latin-1 form is the same characters.
    const QByteArray latin1 = text.toLatin1();
    double value = 0;
    const auto [end, error] =
        std::from_chars(latin1.constData(), latin1.constData() + latin1.size(), value);
    if (error != std::errc() || end != latin1.constData() + latin1.size()) return std::nullopt;
    return value;
}

std::optional<Diagnostic> foodTableFromCsv(QByteArrayView bytes, const QString& fileName,
                                           FoodTable& table) {
    table.clear();
    CsvData doc = readCsv(bytes, fileName);
    if (doc.error) return doc.error;
    if (doc.records.empty())
        return Diagnostic{fileName, 1, 1, QStringLiteral("empty file: no header row")};

    // Both the header and every row must have exactly the table's columns.
    const auto cellCount = [&](const CsvRecord& record, const QString& what) {
        const auto count = static_cast<qsizetype>(record.fields.size());
        std::optional<Diagnostic> error;
        if (count < kColumnCount) {
            error = Diagnostic{fileName, record.endLine, record.endColumn,
                               QStringLiteral("%1 has too few cells (%2, expected %3)")
                                   .arg(what)
                                   .arg(count)
                                   .arg(kColumnCount)};
        } else if (count > kColumnCount) {
            const CsvField& extra = record.fields[kColumnCount];
            error = Diagnostic{
                fileName, extra.line, extra.column,
                QStringLiteral("%1 has too many cells (more than %2)").arg(what).arg(kColumnCount)};
        }
        return error;
    };

    const CsvRecord& header = doc.records.front();
    if (auto error = cellCount(header, QStringLiteral("header"))) return error;
    for (int c = 0; c < kColumnCount; ++c) {
        const CsvField& field = header.fields[c];
        const auto expected = QString::fromLatin1(kColumns[c].name);
        if (field.text != expected)
            return Diagnostic{fileName, field.line, field.column,
                              QStringLiteral("header cell %1 is %2, expected %3")
                                  .arg(c + 1)
                                  .arg(quoted(field.text), quoted(expected))};
    }

    table.reserve(doc.records.size() - 1);
    for (std::size_t r = 1; r < doc.records.size(); ++r) {
        const CsvRecord& record = doc.records[r];
        if (auto error = cellCount(record, QStringLiteral("row"))) return error;
        FoodRow row;
        for (int c = 0; c < kColumnCount; ++c) {
            const CsvField& field = record.fields[c];
            if (field.text.isEmpty()) continue;  // Null: not measured, which is not 0
            if (kColumns[c].type == ColumnType::Text) {
                row[c] = field.text;
            } else if (const auto value = parseNumber(field.text)) {
                row[c] = *value;
            } else {
                return Diagnostic{
                    fileName, field.line, field.column,
                    QStringLiteral("%1: %2 is not a number")
                        .arg(QString::fromLatin1(kColumns[c].name), quoted(field.text))};
            }
        }
        table.push_back(std::move(row));
    }
    return std::nullopt;
}

std::optional<Diagnostic> readFoodTableCsv(const QString& path, FoodTable& table) {
    table.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Diagnostic{path, 1, 1, QStringLiteral("cannot read: %1").arg(file.errorString())};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Diagnostic{path, 1, 1, QStringLiteral("cannot read: %1").arg(file.errorString())};
    return foodTableFromCsv(bytes, path, table);
}

}  // namespace velmora::mkdb
