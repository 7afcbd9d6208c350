// The atomic write's temporary file has no name: while a file is written nothing new shows in its
// folder (so nothing is left if the program is killed), and the target appears, or is replaced, whole
// at commit.

#include "TestSupport.h"

#include "encoding/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace quorvanta;

namespace {

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nothingNamedWhileWriting_data()
    {
        QTest::addColumn<bool>("replacing");
        QTest::newRow("new file") << false;
        QTest::newRow("replacing a file") << true;
    }
    void nothingNamedWhileWriting()
    {
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        const QString target = dir.filePath("out.webp");
        if (replacing) {
            QVERIFY(testsupport::writeAll(target, "old bytes"));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        }
        const QStringList before = entries(dir);
        {
            AtomicFile file(target.toStdString());
            QVERIFY(file.open());
            QVERIFY(file.write("new bytes", 9));
            QCOMPARE(entries(dir), before);
            if (replacing)
                QCOMPARE(testsupport::readAll(target), QByteArray("old bytes"));
            QVERIFY(file.commit());
        }
        QCOMPARE(entries(dir), QStringList{"out.webp"});
        QCOMPARE(testsupport::readAll(target), QByteArray("new bytes"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
        if (replacing)
            QCOMPARE(info.st_mode & 0777, 0600u);
    }

    // A writer dropped before commit leaves the folder as it was.
    void droppedWriterLeavesNothing()
    {
        QTemporaryDir dir;
        {
            AtomicFile file(dir.filePath("out.webp").toStdString());
            QVERIFY(file.open());
            QVERIFY(file.write("partial", 7));
        }
        QCOMPARE(entries(dir), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
