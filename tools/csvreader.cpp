// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/csvreader.h"

#include "common/utf8text.h"

namespace velmora::mkdb {

namespace {

// Length of the well-formed UTF-8 sequence at bytes[i], or 0 if it is not one (overlong forms,
// surrogates and code points above U+10FFFF included).
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype i) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    qsizetype length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (qsizetype k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

class CsvParser {
  public:
    CsvParser(QByteArrayView bytes, const QString& fileName) : bytes_(bytes), file_(fileName) {}

    CsvData run() {
        if (bytes_.startsWith("\xEF\xBB\xBF")) pos_ = 3;
        while (pos_ < bytes_.size() && !doc_.error) readRecord();
        return std::move(doc_);
    }

  private:
    bool atEnd() const { return pos_ >= bytes_.size(); }
    char peek(qsizetype ahead = 0) const {
        return pos_ + ahead < bytes_.size() ? bytes_[pos_ + ahead] : '\0';
    }
    bool atLineEnd() const { return peek() == '\n' || (peek() == '\r' && peek(1) == '\n'); }

    void fail(qsizetype line, qsizetype column, const QString& what) {
        if (!doc_.error) doc_.error = Diagnostic{file_, line, column, what};
    }

    void skipLineEnd() {
        pos_ += peek() == '\r' ? 2 : 1;
        ++line_;
        column_ = 1;
    }

    // Copies one character (a whole UTF-8 sequence) into the field; false after an error.
    bool take(QByteArray& field) {
        const char c = peek();
        if (c == '\0') {
            fail(line_, column_, QStringLiteral("NUL character"));
            return false;
        }
        const qsizetype length = utf8SequenceLength(bytes_, pos_);
        if (length == 0) {
            const auto value = static_cast<unsigned char>(c);
            fail(line_, column_,
                 QStringLiteral("invalid UTF-8 (byte 0x%1)")
                     .arg(QString::number(value, 16).toUpper().rightJustified(2, u'0')));
            return false;
        }
        field.append(bytes_.sliced(pos_, length));
        pos_ += length;
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        return true;
    }

    void readRecord() {
        CsvRecord record;
        for (;;) {
            CsvField field;
            field.line = line_;
            field.column = column_;
            QByteArray text;
            if (peek() == '"' ? !readQuoted(text) : !readUnquoted(text)) return;
            field.text = textFromUtf8(text);
            record.fields.push_back(std::move(field));

            if (peek() == ',') {
                ++pos_;
                ++column_;
                continue;
            }
            record.endLine = line_;
            record.endColumn = column_;
            if (!atEnd()) skipLineEnd();
            doc_.records.push_back(std::move(record));
            return;
        }
    }

    bool readUnquoted(QByteArray& text) {
        while (!atEnd() && peek() != ',' && !atLineEnd()) {
            if (peek() == '"') {
                fail(line_, column_, QStringLiteral("quote inside an unquoted field"));
                return false;
            }
            if (peek() == '\r') {
                fail(line_, column_, QStringLiteral("carriage return without line feed"));
                return false;
            }
            if (!take(text)) return false;
        }
        return true;
    }

    bool readQuoted(QByteArray& text) {
        const qsizetype openLine = line_, openColumn = column_;
        ++pos_;
        ++column_;
        for (;;) {
            if (atEnd()) {
                fail(openLine, openColumn, QStringLiteral("unterminated quoted field"));
                return false;
            }
            if (peek() == '"') {
                if (peek(1) != '"') break;
                text.append('"');
                pos_ += 2;
                column_ += 2;
                continue;
            }
            if (!take(text)) return false;
        }
        ++pos_;  // the closing quote
        ++column_;
        if (!atEnd() && peek() != ',' && !atLineEnd()) {
            fail(line_, column_,
                 peek() == '\r' ? QStringLiteral("carriage return without line feed")
                                : QStringLiteral("unexpected character after closing quote"));
            return false;
        }
        return true;
    }

    QByteArrayView bytes_;
    QString file_;
    qsizetype pos_ = 0;
    qsizetype line_ = 1;
    qsizetype column_ = 1;
    CsvData doc_;
};

}  // namespace

CsvData readCsv(QByteArrayView bytes, const QString& fileName) {
    return CsvParser(bytes, fileName).run();
}

}  // namespace velmora::mkdb
