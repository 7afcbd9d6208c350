// Quitting while the program works: SIGTERM, SIGINT or SIGHUP during a load ends the real program
// within a second; a signal during an encoding ends it within a second too, leaving no file; and after
// SIGKILL during an encoding the target folder is as it was. The encoding runs in a child process of
// this suite (run with --encode), built from the program's own shell, quit signals and end of run.

#include "Bombs.h"
#include "PictureFixtures.h"
#include "TestDoubles.h"
#include "TestSupport.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/QuitSignals.h"
#include "app/SettingsWindow.h"
#include "app/Stores.h"
#include "pictureview/PictureView.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>

using namespace quorvanta;

namespace {

// Under the sanitizers everything runs several times slower.
#ifdef __SANITIZE_ADDRESS__
constexpr qint64 kQuitWithinMs = 3000;
#else
constexpr qint64 kQuitWithinMs = 1000;
#endif

// The child: imports `picture` and encodes it losslessly at the slowest setting into `target`,
// saying "encoding" on standard output once the encoding has begun.
int encodeInChild(const QString& picture, const QString& target, int argc, char** argv)
{
    QApplication app(argc, argv);
    QuitSignals quitSignals;
    QTemporaryDir stores;
    std::deque<RequestAnswer> answers{chosen(target)};
    std::vector<RequestOptions> asked;
    Shell shell(nullptr, Stores(stores.filePath("run"), stores.filePath("config")),
                std::make_unique<ScriptedBackend>(answers, asked));
    QObject::connect(&quitSignals, &QuitSignals::received, &app, [] { QCoreApplication::exit(0); },
                     Qt::QueuedConnection);
    shell.start();
    shell.settingsWindow()->losslessCheck->setChecked(true);
    shell.settingsWindow()->qualityField->setText("100");
    shell.settingsWindow()->speedField->setText("6");
    PictureView* view = shell.pictureView();
    QObject::connect(view, &PictureView::progressShown, [](bool shown) {
        if (shown) {
            std::printf("encoding\n");
            std::fflush(stdout);
        }
    });
    QObject::connect(view, &PictureView::modeChanged, view, [view](Mode mode) {
        if (mode == Mode::Imported)
            QMetaObject::invokeMethod(view, [view] { view->send(MethodId::SavePicture); }, Qt::QueuedConnection);
    });
    view->send(MethodId::Load, picture.toStdString());
    QApplication::exec();
    FinishRun(shell);
    return 0;
}

QProcessEnvironment environment(const QTemporaryDir& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", folder.filePath("run"));
    env.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    return env;
}

// Sends `signalNumber` and gives back how long the process took to end.
qint64 endBySignal(QProcess& process, int signalNumber)
{
    QElapsedTimer timer;
    timer.start();
    if (::kill(static_cast<pid_t>(process.processId()), signalNumber) != 0 || !process.waitForFinished(30000))
        return -1;
    return timer.elapsed();
}

} // namespace

class TestQuitUnderWork : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString noise;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        noise = dir.filePath("noise.png");
        QVERIFY(fixtures::savePng(fixtures::makePicture(1600, 1600, false, 7), noise));
    }

    void signalDuringLoad_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalDuringLoad()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir folder;
        // A gigabyte of zeros to inflate: seconds of decoding, within the default budget.
        const QString slow = folder.filePath("slow.png");
        QVERIFY(testsupport::writeAll(slow, bombs::png(16000, 16000, true)));
        QProcess process;
        process.setProcessEnvironment(environment(folder));
        process.start(QUORVANTA_BINARY, {slow});
        QVERIFY(process.waitForStarted(30000));
        // Decoding is under way once the picture's memory fills.
        QTRY_VERIFY_WITH_TIMEOUT(testsupport::statusBytes("VmRSS", process.processId()) > 256 * qint64(kMiB), 60000);
        const qint64 took = endBySignal(process, signalNumber);
        qInfo("ended %lld ms after the signal", took);
        QVERIFY(took >= 0);
        QVERIFY2(took < kQuitWithinMs, qPrintable(QString::number(took)));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    void signalDuringEncoding_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void signalDuringEncoding()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir folder, home;
        QVERIFY(testsupport::writeAll(folder.filePath("kept.webp"), "an older file"));
        const QStringList before = QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QProcess process;
        process.setProcessEnvironment(environment(home));
        process.start(QCoreApplication::applicationFilePath(), {"--encode", noise, folder.filePath("out.webp")});
        QVERIFY(process.waitForStarted(30000));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("encoding"), 60000);
        const qint64 took = endBySignal(process, signalNumber);
        qInfo("ended %lld ms after the signal", took);
        QVERIFY(took >= 0);
        if (signalNumber != SIGKILL) {
            QVERIFY2(took < kQuitWithinMs, qPrintable(QString::number(took)));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        }
        // No file, named or hidden, is left of the encoding.
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--encode") == 0)
        return encodeInChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), argc, argv);
    QCoreApplication app(argc, argv);
    TestQuitUnderWork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quit_under_work.moc"
