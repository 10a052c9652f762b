// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/databaseinformation.h"

#include "common/numbertext.h"
#include "common/outsidetext.h"

namespace velmora {

namespace {

// A sentence that ends as one, whatever the text it quotes ends with.
QString sentence(const QString& text) {
    return text.endsWith(u'.') ? text : text + u'.';
}

// Plain text as RTF: the document stays 7-bit ASCII, every other character a \u escape (a
// signed 16-bit number, a character beyond them as its two surrogates) with "?" for readers that
// know none.
QByteArray rtfText(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else {
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
    return out;
}

QString zeros(const SourceRecord& s) {
    const QString source = sourceShortName(s);
    if (s.traces > 0 || s.belowLimit > 0)
        return QStringLiteral(
                   "A nutrient shown as zero was not always tested and not found: %1 gives some "
                   "amounts only as traces or as below a limit of detection, and this table "
                   "stores them as 0 (%2 given as traces, %3 below a limit). A nutrient left "
                   "blank was not measured.")
            .arg(source, counted(s.traces, u"amount"), counted(s.belowLimit, u"amount"));
    if (s.zerosTested)
        return QStringLiteral(
            "A nutrient shown as zero was tested and not found in a significant amount in 100 "
            "grams of the food; a nutrient left blank was not tested.");
    return QStringLiteral(
               "A nutrient shown as zero is given as 0 by %1, which does not say "
               "whether it was tested and not found. A nutrient left blank was not "
               "measured.")
        .arg(source);
}

}  // namespace

QStringList databaseInformation(const OpenTable& table) {
    if (!table.source)
        return {QStringLiteral("This table, %1, does not say where its values come from: it has "
                               "no source record, which velmora-mkdb writes into every table it "
                               "builds. A nutrient left blank was not measured; what a zero "
                               "means depends on where the values come from.")
                    .arg(printable(table.path.section(u'/', -1)))};
    const SourceRecord& s = *table.source;
    QString from = QStringLiteral("The nutrient values of this table come from ") + s.name;
    if (!s.version.isEmpty()) from += QStringLiteral(", version ") + s.version;
    from += u'.';
    if (!s.citation.isEmpty()) from += QStringLiteral(" Cite them as: ") + sentence(s.citation);
    if (!s.energy.isEmpty() && !s.carbohydrate.isEmpty())
        from += QStringLiteral(" Energy is %1; carbohydrate is %2.").arg(s.energy, s.carbohydrate);
    QStringList paragraphs{from, zeros(s)};
    if (!s.notes.isEmpty()) paragraphs << sentence(s.notes);
    if (s.noticeRequired)
        paragraphs << QStringLiteral(
                          "The terms of %1 require this notice on everything made "
                          "from its data, and every report in the item view ends "
                          "with it: %2")
                          .arg(sourceShortName(s), s.citation);
    return paragraphs;
}

QByteArray instructionsFor(const QByteArray& stored, const OpenTable& table) {
    if (table.shipped) return stored;
    const QByteArray heading = "\\b Database Information\\b0\\par\n";
    const qsizetype start = stored.indexOf(heading);
    const qsizetype end = stored.indexOf("\\par\n\\b Legal Note");
    if (start < 0 || end < start) return stored;
    QByteArray section;
    for (const QString& paragraph : databaseInformation(table))
        section += (section.isEmpty() ? "" : "\\par\n") + rtfText(paragraph) + "\\par\n";
    return stored.left(start + heading.size()) + section + stored.sliced(end);
}

}  // namespace velmora
