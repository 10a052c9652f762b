// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/rtfreader.h"

#include "common/utf8text.h"

#include <QColor>
#include <QFontDatabase>
#include <QHash>
#include <QList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>
#include <vector>

namespace velmora {

namespace {

// Groups nested deeper than this still balance their braces but no longer save their state, so
// hostile nesting costs neither stack nor unbounded memory.
constexpr int kMaxSavedDepth = 512;
constexpr int kMaxWordLength = 32;
constexpr int kMaxFontNameLength = 256;
// Control-word parameters are clamped while they are read; the digits beyond still get consumed.
constexpr qint64 kParamLimit = 1'000'000'000;

// A document byte in code page 1252; the five bytes it leaves undefined keep their own value, as
// the system's conversion does.
QChar fromCp1252(int byte) {
    const char16_t c = cp1252Char(static_cast<unsigned char>(byte));
    return QChar(c != 0 || byte == 0 ? c : char16_t(byte));
}

enum class Dest { Text, FontTable, ColorTable, Skip };

struct CharState {
    int font = -1;       // -1: the document's default font
    int halfPoints = 0;  // 0: the target document's default size
    int color = -1;      // -1: automatic
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// Control words that stand for one character.
constexpr std::pair<QStringView, char16_t> kCharacterWords[] = {
    {u"line", QChar::LineSeparator},
    {u"tab", u'\t'},
    {u"cell", u'\t'},
    {u"emdash", 0x2014},
    {u"endash", 0x2013},
    {u"bullet", 0x2022},
    {u"lquote", 0x2018},
    {u"rquote", 0x2019},
    {u"ldblquote", 0x201C},
    {u"rdblquote", 0x201D},
};

// Control words that change how the characters after them look; "\b" and "\b1" switch on,
// "\b0" off.
using FormatStep = void (*)(CharState& ch, bool hasParam, int param);
constexpr bool switchedOn(bool hasParam, int param) {
    return !hasParam || param != 0;
}
constexpr std::pair<QStringView, FormatStep> kFormatWords[] = {
    {u"plain", [](CharState& ch, bool, int) { ch = CharState(); }},
    {u"f", [](CharState& ch, bool h, int p) { ch.font = h ? p : 0; }},
    {u"fs", [](CharState& ch, bool h, int p) { ch.halfPoints = h ? std::clamp(p, 2, 3276) : 24; }},
    {u"b", [](CharState& ch, bool h, int p) { ch.bold = switchedOn(h, p); }},
    {u"i", [](CharState& ch, bool h, int p) { ch.italic = switchedOn(h, p); }},
    {u"ul", [](CharState& ch, bool h, int p) { ch.underline = switchedOn(h, p); }},
    {u"ulw", [](CharState& ch, bool h, int p) { ch.underline = switchedOn(h, p); }},
    {u"uld", [](CharState& ch, bool h, int p) { ch.underline = switchedOn(h, p); }},
    {u"uldb", [](CharState& ch, bool h, int p) { ch.underline = switchedOn(h, p); }},
    {u"ulth", [](CharState& ch, bool h, int p) { ch.underline = switchedOn(h, p); }},
    {u"ulnone", [](CharState& ch, bool, int) { ch.underline = false; }},
    {u"cf", [](CharState& ch, bool h, int p) { ch.color = h ? p : -1; }},
};

struct GroupState {
    CharState ch;
    Dest dest = Dest::Text;
    int ucSkip = 1;  // fallback characters that follow each \u
};

struct FontEntry {
    QString name;
    QString familyClass;  // froman, fswiss, fmodern, ...
};

bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// Destinations whose content is never shown.
constexpr char kSkippedDestinations[] =
    "stylesheet info pict header headerl headerr headerf footer footerl footerr footerf footnote "
    "listtable listoverridetable object fldinst revtbl rsidtbl generator xmlnstbl themedata "
    "colorschememapping latentstyles datastore filetbl annotation author title subject operator "
    "keywords comment doccomm pgdsctbl nonshppict shp userprops docvar private bkmkstart bkmkend "
    "template background";

bool isSkippedDestination(QStringView word) {
    static const QStringList skipped = QString::fromLatin1(kSkippedDestinations).split(u' ');
    return skipped.contains(word);
}

class Reader {
  public:
    Reader(QStringView in, QTextDocument& doc) : in_(in), cursor_(&doc) {}

    void run() {
        while (pos_ < in_.size()) {
            const QChar c = in_[pos_++];
            switch (c.unicode()) {
                case '{':
                    openGroup();
                    break;
                case '}':
                    if (!closeGroup()) {
                        finish();
                        return;
                    }
                    break;
                case '\\':
                    controlSequence();
                    break;
                default:
                    rawChar(c);
                    break;
            }
        }
        finish();  // input ended inside open groups: show what was read
    }

  private:
    // ---- groups

    void openGroup() {
        flush();
        fallbackToSkip_ = 0;
        if (saved_.size() < kMaxSavedDepth) {
            saved_.push_back(st_);
        } else {
            ++unsavedDepth_;
        }
    }

    // False when the brace closes the outermost group: the document ends there.
    bool closeGroup() {
        flush();
        fallbackToSkip_ = 0;
        if (unsavedDepth_ > 0) {
            --unsavedDepth_;
            return true;
        }
        if (saved_.empty()) return false;
        if (st_.dest == Dest::FontTable) commitFont();
        st_ = saved_.back();
        saved_.pop_back();
        return !saved_.empty();
    }

    // ---- input

    void controlSequence() {
        if (pos_ >= in_.size()) return;  // a lone backslash at the very end
        const QChar c = in_[pos_];
        if (!isAsciiLetter(c)) {
            ++pos_;
            controlSymbol(c);
            return;
        }
        const qsizetype start = pos_;
        while (pos_ < in_.size() && isAsciiLetter(in_[pos_])) ++pos_;
        const QStringView word = in_.mid(start, std::min<qsizetype>(pos_ - start, kMaxWordLength));

        bool hasParam = false;
        qint64 param = 0;
        bool negative = false;
        if (pos_ + 1 < in_.size() && in_[pos_] == u'-' && isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            hasParam = true;
            param = std::min(param * 10 + (in_[pos_].unicode() - '0'), kParamLimit);
            ++pos_;
        }
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == u' ') ++pos_;  // the delimiter belongs to the word

        controlWord(word, hasParam, int(param));
    }

    void controlSymbol(QChar c) {
        switch (c.unicode()) {
            case '\\':
            case '{':
            case '}':
                textChar(c);
                return;
            case '\'': {
                const int hi = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
                const int lo = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0) return;  // not an escape after all: the rest reads as text
                pos_ += 2;
                textChar(fromCp1252(hi * 16 + lo));
                return;
            }
            case '*':
                st_.dest = Dest::Skip;  // an ignorable destination: none is shown here
                return;
            case '~':
                textChar(QChar(0x00A0));
                return;
            case '_':
                textChar(QChar(0x2011));
                return;
            case '-':
                textChar(QChar(0x00AD));
                return;
            case '\n':
            case '\r':
                if (consumeFallback()) return;
                if (st_.dest == Dest::Text) paragraph();
                return;
            default:
                consumeFallback();
                return;
        }
    }

    // A character that was not escaped.
    void rawChar(QChar c) {
        const char16_t u = c.unicode();
        if (u == '\t') {
            textChar(c);
            return;
        }
        if (u < 0x20 || u == 0x7F) return;  // line ends are layout of the file, not text
        textChar(u < 0x100 ? fromCp1252(u) : c);
    }

    // Fallback text after \uN stands in for the Unicode character already taken.
    bool consumeFallback() {
        if (fallbackToSkip_ <= 0) return false;
        --fallbackToSkip_;
        return true;
    }

    void textChar(QChar c) {
        if (!consumeFallback()) putChar(c);
    }

    void putChar(QChar c) {
        switch (st_.dest) {
            case Dest::Text:
                pending_.append(c);
                break;
            case Dest::FontTable:
                if (c == u';') {
                    commitFont();
                } else if (fontName_.size() < kMaxFontNameLength) {
                    fontName_.append(c);
                }
                break;
            case Dest::ColorTable:
                if (c == u';') {
                    colors_.append(colorSet_ ? QColor(red_, green_, blue_) : QColor());
                    red_ = green_ = blue_ = 0;
                    colorSet_ = false;
                }
                break;
            case Dest::Skip:
                break;
        }
    }

    // ---- control words

    void controlWord(QStringView w, bool hasParam, int param) {
        if (w == u"bin") {
            // Raw binary data: skipped whatever the destination, and never read as RTF.
            if (hasParam && param > 0) pos_ += std::min<qsizetype>(param, in_.size() - pos_);
            return;
        }
        if (consumeFallback()) return;
        if (st_.dest == Dest::Skip) return;

        if (w == u"fonttbl") {
            st_.dest = Dest::FontTable;
            return;
        }
        if (w == u"colortbl") {
            st_.dest = Dest::ColorTable;
            colors_.clear();
            return;
        }
        if (isSkippedDestination(w)) {
            st_.dest = Dest::Skip;
            return;
        }
        if (w == u"deff") {
            if (hasParam) defaultFont_ = param;
            return;
        }

        if (st_.dest == Dest::FontTable) {
            fontTableWord(w, hasParam, param);
            return;
        }
        if (st_.dest == Dest::ColorTable) {
            const int v = std::clamp(param, 0, 255);
            if (w == u"red") red_ = v;
            if (w == u"green") green_ = v;
            if (w == u"blue") blue_ = v;
            if (w == u"red" || w == u"green" || w == u"blue") colorSet_ = true;
            return;
        }
        textWord(w, hasParam, param);
    }

    void fontTableWord(QStringView w, bool hasParam, int param) {
        if (w == u"f") {
            commitFont();
            fontNumber_ = hasParam ? param : 0;
            fontOpen_ = true;
        } else if (w == u"fnil" || w == u"froman" || w == u"fswiss" || w == u"fmodern" ||
                   w == u"fscript" || w == u"fdecor" || w == u"ftech" || w == u"fbidi") {
            fontClass_ = w.toString();
        }
    }

    void textWord(QStringView w, bool hasParam, int param) {
        for (const auto& [word, c] : kCharacterWords)
            if (w == word) return textChar(QChar(c));
        for (const auto& [word, step] : kFormatWords) {
            if (w == word) {
                flush();  // the text so far keeps the look it had
                return step(st_.ch, hasParam, param);
            }
        }
        if (w == u"par" || w == u"page" || w == u"row") {
            paragraph();
        } else if (w == u"u") {
            unicodeChar(hasParam, param);
        } else if (w == u"uc") {
            st_.ucSkip = hasParam ? std::clamp(param, 0, 16) : 1;
        } else if (w == u"pard") {
            paragraphFormat_ = QTextBlockFormat();
        } else if (w == u"ql" || w == u"qc" || w == u"qr" || w == u"qj") {
            paragraphFormat_.setAlignment(w == u"qc"   ? Qt::AlignHCenter
                                          : w == u"qr" ? Qt::AlignRight
                                          : w == u"qj" ? Qt::AlignJustify
                                                       : Qt::AlignLeft);
        }
        // Every other word changes nothing that this reader shows.
    }

    // "\uN": the character N (negative for those above 32767), then the fallback characters that
    // follow it for readers without Unicode are skipped.
    void unicodeChar(bool hasParam, int param) {
        if (!hasParam) return;
        int code = param < 0 ? param + 65536 : param;
        if (code <= 0 || code > 0xFFFF) code = 0xFFFD;
        putChar(QChar(char16_t(code)));
        fallbackToSkip_ = st_.ucSkip;
    }

    // ---- tables

    void commitFont() {
        if (fontOpen_) {
            fonts_.insert(fontNumber_, {fontName_.trimmed(), fontClass_});
        }
        fontOpen_ = false;
        fontName_.clear();
        fontClass_.clear();
    }

    // ---- output

    QTextCharFormat charFormat() const {
        QTextCharFormat f;
        const int number = st_.ch.font >= 0 ? st_.ch.font : defaultFont_;
        const auto font = fonts_.constFind(number);
        if (font != fonts_.constEnd()) {
            QString family = resolveFontFamily(font->name);
            if (family.isEmpty()) {
                // A table entry without a name: its class still says what it should look like.
                if (font->familyClass == u"fmodern") {
                    family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
                } else if (font->familyClass == u"froman") {
                    family = QStringLiteral("serif");
                } else if (font->familyClass == u"fswiss") {
                    family = QStringLiteral("sans-serif");
                }
            }
            if (!family.isEmpty()) f.setFontFamilies(QStringList{family});
        }
        // A font missing from the table leaves the family to the target's default font.
        if (st_.ch.halfPoints > 0) f.setFontPointSize(st_.ch.halfPoints / 2.0);
        f.setFontWeight(st_.ch.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(st_.ch.italic);
        f.setFontUnderline(st_.ch.underline);
        if (st_.ch.color >= 0 && st_.ch.color < colors_.size() && colors_[st_.ch.color].isValid()) {
            f.setForeground(colors_[st_.ch.color]);
        }
        return f;
    }

    void flush() {
        if (pending_.isEmpty()) return;
        cursor_.insertText(pending_, charFormat());
        pending_.clear();
    }

    void paragraph() {
        flush();
        // The paragraph mark carries the formatting in force, which sets an empty line's height.
        const QTextCharFormat mark = charFormat();
        cursor_.setBlockFormat(paragraphFormat_);
        cursor_.setBlockCharFormat(mark);
        cursor_.insertBlock(paragraphFormat_, mark);
    }

    void finish() {
        flush();
        cursor_.setBlockFormat(paragraphFormat_);
        cursor_.setBlockCharFormat(charFormat());
    }

    QStringView in_;
    qsizetype pos_ = 0;
    QTextCursor cursor_;

    GroupState st_;
    std::vector<GroupState> saved_;
    int unsavedDepth_ = 0;
    int fallbackToSkip_ = 0;

    QString pending_;
    QTextBlockFormat paragraphFormat_;

    int defaultFont_ = -1;
    QHash<int, FontEntry> fonts_;
    bool fontOpen_ = false;
    int fontNumber_ = 0;
    QString fontName_;
    QString fontClass_;

    QList<QColor> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;
};

}  // namespace

QString resolveFontFamily(const QString& rtfName) {
    if (rtfName.compare(u"Fixedsys", Qt::CaseInsensitive) == 0) {
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }
    return rtfName;
}

void readRtf(QStringView rtf, QTextDocument& doc) {
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    doc.clear();
    // One edit for the whole text: outside an edit block every insertion lays its paragraph out
    // again to place the cursor, which makes a paragraph of many runs cost quadratic time.
    QTextCursor edit(&doc);
    edit.beginEditBlock();
    Reader(rtf, doc).run();
    edit.endEditBlock();
    doc.setUndoRedoEnabled(undo);
}

void readRtf(QByteArrayView rtf, QTextDocument& doc) {
    readRtf(QString::fromLatin1(rtf), doc);
}

std::unique_ptr<QTextDocument> rtfToDocument(QByteArrayView rtf) {
    auto doc = std::make_unique<QTextDocument>();
    readRtf(rtf, *doc);
    return doc;
}

}  // namespace velmora
