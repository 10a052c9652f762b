// The RTF reader on any bytes: it never fails, never hangs, never makes Qt complain, and shows no
// more characters than the input has (every shown character is read from at least one byte).
// The corpus holds a paragraph of 20,000 formatting runs: it times out if reading turns quadratic,
// and it raises libFuzzer's input length limit to its own size.
#include "fuzzcheck.h"
#include "help/rtfreader.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdint>

namespace {

// Formats the reader writes that Qt cannot use show up as warnings when the text is laid out.
void failOnQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    // The installed fonts lack shaping tables for some scripts: a fact of the machine, not of
    // what the reader made.
    if (message.startsWith(QLatin1String("OpenType support missing for"))) return;
    FUZZ_REQUIRE(false, "Qt message: %s", qUtf8Printable(message));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Fonts need a GUI application; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    // The font database fills on first use; do that before the inputs are measured.
    QTextDocument warmUp(QStringLiteral("x"));
    warmUp.setTextWidth(400);
    warmUp.documentLayout()->documentSize();
    qInstallMessageHandler(failOnQtWarnings);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView rtf(data, qsizetype(size));
    QTextDocument doc;
    velmora::readRtf(rtf, doc);
    const QString shown = doc.toPlainText();
    FUZZ_REQUIRE(shown.size() <= qsizetype(size), "%lld characters shown from %zu bytes",
                 static_cast<long long>(shown.size()), size);
    // Formats Qt would refuse when it shows the text (laying every input out would cost more
    // than the reading itself).
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            FUZZ_REQUIRE(!f.hasProperty(QTextFormat::FontPointSize) || f.fontPointSize() >= 1,
                         "font size %g", f.fontPointSize());
            FUZZ_REQUIRE(
                !f.hasProperty(QTextFormat::ForegroundBrush) || f.foreground().color().isValid(),
                "invalid colour");
        }
    }
    return 0;
}
