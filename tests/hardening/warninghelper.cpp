// A test program that prints Qt messages on purpose, run by test_qtwarnings to show which of
// them fail a test run. Not a test itself.
#include <QtTest>

class WarningHelper : public QObject {
    Q_OBJECT
  private slots:
    void expectedWarning() {
        QTest::ignoreMessage(QtWarningMsg, "expected slip");
        qWarning("expected slip");
    }
    void unexpectedWarning() { qWarning("layout slip"); }
    void critical() { qCritical("broken state"); }
    void platformNoise() { qWarning("This plugin does not support propagateSizeHints()"); }
    void debugOnly() { qDebug("chatter"); }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("VELMORA_WARN_BEFORE_TESTS")) qWarning("before the tests");
    WarningHelper helper;
    return QTest::qExec(&helper, argc, argv);
}

#include "warninghelper.moc"
