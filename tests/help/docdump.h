// Compact views of a QTextDocument for comparisons: its runs with their formatting.
#pragma once

#include <QFont>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

namespace velmora::test {

struct Run {
    QString text, family;  // family: empty when the run names none
    qreal points = 0;      // 0: no size of its own
    bool bold = false, italic = false, underline = false;
};

inline QList<Run> runsOf(const QTextBlock& block) {
    QList<Run> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        runs.append({it.fragment().text(), f.fontFamilies().toStringList().value(0),
                     f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 0,
                     f.fontWeight() >= QFont::Bold, f.fontItalic(), f.fontUnderline()});
    }
    return runs;
}

// Paragraphs joined by "|", each run as "[flags family size]text".
inline QString describe(const QTextDocument& doc) {
    QStringList paragraphs;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString s;
        for (const Run& r : runsOf(b)) {
            QStringList tags;
            if (r.bold) tags << QStringLiteral("b");
            if (r.italic) tags << QStringLiteral("i");
            if (r.underline) tags << QStringLiteral("u");
            if (!r.family.isEmpty()) tags << r.family;
            if (r.points > 0) tags << QString::number(r.points);
            s += u'[' + tags.join(u' ') + u']' + r.text;
        }
        paragraphs << s;
    }
    return paragraphs.join(u'|');
}

}  // namespace velmora::test
