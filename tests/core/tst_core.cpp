// The shared ground: reading a file whole and safely, sizes that overflow, a record shown in a display
// buffer, and failures in words.

#include "TestSupport.h"
#include "core/DisplayBuffer.h"
#include "core/Failure.h"
#include "core/FileBytes.h"

#include <QtTest>

#include <sys/stat.h>

using namespace quorvanta;

class TestCore : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

private Q_SLOTS:
    void initTestCase() { QVERIFY(scratch.isValid()); }

    // Only regular files are read, never past their size and never blocking on a special file.
    void readWholeFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("failure"); // -1: read
        QTest::addColumn<qint64>("size");
        QVERIFY(testsupport::writeAll(scratch.filePath("ten"), "0123456789"));
        QVERIFY(testsupport::writeAll(scratch.filePath("empty"), {}));
        QCOMPARE(::mkfifo(scratch.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
        QTest::newRow("regular") << scratch.filePath("ten") << -1 << qint64(10);
        QTest::newRow("empty") << scratch.filePath("empty") << -1 << qint64(0);
        QTest::newRow("missing") << scratch.filePath("none") << int(Failure::CantOpen) << qint64(0);
        QTest::newRow("directory") << scratch.path() << int(Failure::NotRegular) << qint64(0);
        QTest::newRow("device") << QStringLiteral("/dev/zero") << int(Failure::NotRegular) << qint64(0);
        QTest::newRow("fifo without a writer") << scratch.filePath("fifo") << int(Failure::NotRegular) << qint64(0);
        QTest::newRow("pseudo file") << QStringLiteral("/proc/self/status") << int(Failure::ReadFailed) << qint64(0);
    }
    void readWholeFile()
    {
        QFETCH(QString, path);
        QFETCH(int, failure);
        QFETCH(qint64, size);
        const FileBytes file = ReadWholeFile(path.toStdString());
        QCOMPARE(file.failure ? int(*file.failure) : -1, failure);
        QCOMPARE(qint64(file.bytes().size()), size);
        QCOMPARE(file.ok(), failure == -1);
    }

    void limitRefusesLargerFiles()
    {
        QVERIFY(testsupport::writeAll(scratch.filePath("eleven"), "0123456789A"));
        QCOMPARE(ReadWholeFile(scratch.filePath("eleven").toStdString(), 10).failure, Failure::TooLarge);
        QVERIFY(ReadWholeFile(scratch.filePath("eleven").toStdString(), 11).ok());
    }

    void sizesThatOverflow()
    {
        QVERIFY(!checkedMul(std::uint64_t(1) << 32, std::uint64_t(1) << 32));
        QVERIFY(!checkedMul(0xFFFFFFFFu, 0xFFFFFFFFu, 4));
        QCOMPARE(*checkedMul(16383, 16383, 4), std::uint64_t(16383) * 16383 * 4);
        QVERIFY(!allocZeroed<std::uint32_t>(std::uint64_t(1) << 62));
        DisplayBuffer buffer;
        ensureDisplayBuffer(buffer, 0xFFFFFFFFu, 0xFFFFFFFFu);
        QVERIFY(!buffer);
        QCOMPARE(buffer.size, std::uint64_t(0));
    }

    // 0xAARRGGBB values become A, R, G, B bytes; a buffer of the same size is used again, and pixels
    // the record lacks are left zero.
    void recordToDisplay()
    {
        PictureRecord record;
        record.width = 2;
        record.height = 2;
        record.pixels = allocZeroed<std::uint32_t>(4);
        record.size = 12; // one pixel short
        record.pixels[0] = 0x80112233;
        record.pixels[1] = 0xFF445566;
        record.pixels[2] = 0x00778899;
        DisplayBuffer buffer;
        copyRecordToDisplay(record, buffer);
        QCOMPARE(buffer.size, std::uint64_t(16));
        const QByteArray bytes(reinterpret_cast<const char*>(buffer.data.get()), 16);
        QCOMPARE(bytes, QByteArray::fromHex("80112233" "ff445566" "00778899" "00000000"));
        const std::uint8_t* kept = buffer.data.get();
        copyRecordToDisplay(record, buffer);
        QCOMPARE(buffer.data.get(), kept);
    }

    void failureInWords()
    {
        QCOMPARE(problem(Failure::NotAPicture, "/tmp/notes.txt").text(), std::string("is not a picture: /tmp/notes.txt"));
        QCOMPARE(problem(Failure::DiskFull).text(), std::string("the disk is full"));
        // With the file it concerns in front: a sentence for the kinds that read after a name.
        QCOMPARE(problemWith("notes.txt", Failure::NotAPicture).text(), std::string("notes.txt is not a picture"));
        QCOMPARE(problemWith("out.webp", Failure::CantWrite, "Permission denied").text(),
                 std::string("out.webp can't be written: Permission denied"));
        QCOMPARE(problemWith("out.webp", Failure::DiskFull).text(), std::string("out.webp: the disk is full"));
        // A file that changed while it was read has no system error to give; the reason says so.
        QCOMPARE(readProblem(ReadWholeFile("/proc/self/status"), "/proc/self/status").text(),
                 std::string("status could not be read: it changed while it was read"));
        QCOMPARE(displayName("/a/b/photo.webp"), std::string("photo.webp"));
        QCOMPARE(displayName("/a/frames/"), std::string("frames"));
        QCOMPARE(displayName("photo.webp"), std::string("photo.webp"));
        QCOMPARE(displayName("/"), std::string("/"));
        const Result<int> failed = problem(Failure::Corrupt);
        QVERIFY(!failed);
        QCOMPARE(failed.problem().failure, Failure::Corrupt);
        const Result<int> fine = 7;
        QVERIFY(fine);
        QCOMPARE(fine.value(), 7);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
