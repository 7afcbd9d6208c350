// Settings stores that cannot be read at all: a folder, a FIFO or a file without read permission
// where the store's file should be. The program starts with its defaults, never waits on the FIFO, and
// leaves what it found in place. (Stores holding values of the wrong kind are tested with the
// settings window.)

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "app/Stores.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;

class TestUnreadableSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unreadableStore_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"folder", "fifo", "no permission"})
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
        } else {
            QFile ini(file);
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("2=77\n");
            ini.close();
            QCOMPARE(::chmod(name.constData(), 0), 0);
        }
        struct stat before {};
        QCOMPARE(::stat(name.constData(), &before), 0);

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
        shell.reset();
        if (root)
            ::setfsuid(0);

        QCOMPARE(quality, QStringLiteral("50"));
        QVERIFY(shown);
        struct stat after {};
        QCOMPARE(::stat(name.constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    }
};

QTEST_MAIN(TestUnreadableSettings)
#include "tst_unreadable_settings.moc"
