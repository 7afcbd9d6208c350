// The program as a user starts it: help and version, no display, a command line it does not
// understand, and quitting by SIGINT and SIGTERM.

#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QProcessEnvironment environment(const QTemporaryDir& folder, const QString& platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    if (!platform.isEmpty())
        env.insert("QT_QPA_PLATFORM", platform);
    env.insert("XDG_RUNTIME_DIR", folder.filePath("run"));
    env.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    return env;
}

// True once the process has its own SIGINT and SIGTERM handlers in place.
bool catchesQuitSignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            const quint64 wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
            return (mask & wanted) == wanted;
        }
    }
    return false;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void help_data();
    void help();
    void version();
    void noDisplay_data();
    void noDisplay();
    void quitBySignal_data();
    void quitBySignal();
};

void TestEndToEnd::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-h") << QStringList{"-h"};
    QTest::newRow("?") << QStringList{"?"};
}

void TestEndToEnd::help()
{
    // Help needs no display.
    QFETCH(QStringList, arguments);
    QTemporaryDir folder;
    QProcess process;
    process.setProcessEnvironment(environment(folder, {}));
    process.start(QUORVANTA_BINARY, arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(out.startsWith("WEBPPATH/A,WIDTH/N,HEIGTH/N,DIR/S\n"), out.constData());
    QVERIFY(out.contains("Usage:"));
}

void TestEndToEnd::version()
{
    QTemporaryDir folder;
    QProcess process;
    process.setProcessEnvironment(environment(folder, {}));
    process.start(QUORVANTA_BINARY, {"--version"});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("Quorvanta " QUORVANTA_VERSION "\n"));
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

void TestEndToEnd::noDisplay_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::newRow("nothing set") << QString() << QString();
    // A socket file of the test's own that nothing listens on: no X server can be there, whatever
    // display numbers the machine has in use.
    QTest::newRow("X server that is not there") << "xcb" << "SOCKET";
}

void TestEndToEnd::noDisplay()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QTemporaryDir folder;
    QProcessEnvironment env = environment(folder, platform);
    if (display == "SOCKET") {
        display = folder.filePath("X0");
        QVERIFY(testsupport::makeSocket(display.toStdString()));
    }
    if (!display.isEmpty())
        env.insert("DISPLAY", display);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QUORVANTA_BINARY, {"pic.webp"});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("I can't create the app!\n"));
}

void TestEndToEnd::quitBySignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QStringList>("arguments");
    // The one line on standard error that says what was not understood; none when all was.
    QTest::addColumn<QByteArray>("diagnostic");
    QTest::newRow("SIGTERM, no arguments") << int(SIGTERM) << QStringList{} << QByteArray();
    QTest::newRow("SIGINT, no arguments") << int(SIGINT) << QStringList{} << QByteArray();
    QTest::newRow("SIGINT after a failed parse")
        << int(SIGINT) << QStringList{"a.webp", "WIDTH", "abc"}
        << QByteArray("quorvanta: \"abc\" is not a number for WIDTH (see --help)");
    QTest::newRow("SIGTERM after an unknown option")
        << int(SIGTERM) << QStringList{"--frobnicate", "a.webp"}
        << QByteArray("quorvanta: unknown option \"--frobnicate\" (see --help)");
    QTest::newRow("SIGTERM after an extra word") << int(SIGTERM) << QStringList{"a.webp", "1", "2", "extra"}
                                                 << QByteArray("quorvanta: \"extra\" is one word too many (see --help)");
}

void TestEndToEnd::quitBySignal()
{
    QFETCH(int, signalNumber);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, diagnostic);
    QTemporaryDir folder;
    QProcess process;
    process.setProcessEnvironment(environment(folder, "offscreen"));
    process.start(QUORVANTA_BINARY, arguments);
    QVERIFY(process.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(catchesQuitSignals(process.processId()), 30000);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    // Our own diagnostics start with the program's name; the platform may add lines of its own.
    QByteArrayList ours;
    for (const QByteArray& line : process.readAllStandardError().split('\n'))
        if (line.startsWith("quorvanta: "))
            ours << line;
    QCOMPARE(ours, diagnostic.isEmpty() ? QByteArrayList{} : QByteArrayList{diagnostic});
    // The teardown ran: the main window's place was remembered.
    QVERIFY(QFile::exists(folder.filePath("run/quorvanta/quorvanta.ini")));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
