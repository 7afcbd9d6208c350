// Settings stores that cannot be read at all: a folder, a FIFO, a socket, a link to a file elsewhere
// or a file without read permission where the store's file should be. The program starts with its
// defaults, never waits on the FIFO, never follows the link, and leaves what it found in place, also
// when the settings and the window places are written. (Stores holding values of the wrong kind are
// tested with the settings window.)

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "app/Stores.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;

using testsupport::makeSocket;
using testsupport::readAll;
using testsupport::writeAll;

class TestUnreadableSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unreadableStore_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"folder", "fifo", "socket", "link", "no permission"})
            for (const char* store : {"running", "permanent"})
                QTest::newRow(qPrintable(QStringLiteral("%1 as %2 store").arg(kind, store)))
                    << QString::fromLatin1(kind) + '/' + QString::fromLatin1(store);
    }
    void unreadableStore()
    {
        QFETCH(QString, kind);
        QTemporaryDir folder;
        const Stores stores(folder.filePath("run"), folder.filePath("config"));
        const QString file = kind.endsWith("running") ? stores.runningFile() : stores.permanentFile();
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        const QByteArray name = QFile::encodeName(file);
        if (kind.startsWith("folder")) {
            QVERIFY(QDir().mkdir(file));
        } else if (kind.startsWith("fifo")) {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else if (kind.startsWith("socket")) {
            QVERIFY(makeSocket(name.toStdString()));
        } else if (kind.startsWith("link")) {
            QVERIFY(writeAll(folder.filePath("elsewhere.ini"), "2=77\n"));
            QCOMPARE(::chmod(QFile::encodeName(folder.filePath("elsewhere.ini")).constData(), 0666), 0);
            QVERIFY(QFile::link(folder.filePath("elsewhere.ini"), file));
        } else {
            QVERIFY(writeAll(file, "2=77\n"));
            QCOMPARE(::chmod(name.constData(), 0), 0);
        }
        struct stat before {};
        QCOMPARE(::lstat(name.constData(), &before), 0);

        // The super-user reads any file: the stores are read as an ordinary user would.
        const bool root = ::geteuid() == 0;
        if (root) {
            QCOMPARE(::chmod(folder.path().toLocal8Bit().constData(), 0777), 0);
            ::setfsuid(65534);
        }
        auto shell = std::make_unique<Shell>(nullptr, stores);
        shell->start();
        const SettingsWindow& s = *shell->settingsWindow();
        const QString quality = s.qualityField->text();
        const bool shown = shell->mainWindow()->isVisible();
        stores.write({{QStringLiteral("2"), 60}}, Stores::Both); // as "Save" does
        shell.reset();                                             // hiding the windows writes their places
        if (root)
            ::setfsuid(0);

        QCOMPARE(quality, QStringLiteral("50"));
        QVERIFY(shown);
        struct stat after {};
        QCOMPARE(::lstat(name.constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        if (kind.startsWith("link"))
            QCOMPARE(readAll(folder.filePath("elsewhere.ini")), QByteArray("2=77\n"));
    }
};

QTEST_MAIN(TestUnreadableSettings)
#include "tst_unreadable_settings.moc"
