// Files that are not pictures, are damaged or lie about their size, and paths that are not files:
// each is a clean -1 with the record left as the failure rules say.

#include "ImportFixtures.h"

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using importtest::shell;
using importtest::sourcePicture;

namespace {

// A record that already holds a small picture of its own.
PictureRecord heldRecord()
{
    PictureRecord record;
    record.pixels = allocZeroed<std::uint32_t>(4);
    record.size = 16;
    record.width = 2;
    record.height = 2;
    return record;
}

// -1 for an unreadable or unrecognised file: size 0, the other fields untouched.
void verifyRefused(const std::string& path)
{
    PictureRecord record = heldRecord();
    const std::uint32_t* before = record.pixels.get();
    QCOMPARE(ImportPictureFile(path, record), -1);
    QCOMPARE(record.size, std::uint64_t(0));
    QCOMPARE(record.pixels.get(), before);
    QCOMPARE(record.width, 2u);
    QCOMPARE(record.height, 2u);
}

} // namespace

class TestImportRefusals : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL(QStringLiteral("convert"));
        QVERIFY(m_dir.isValid());
        QVERIFY(sourcePicture(QStringLiteral("colors16")).save(m_dir.filePath(QStringLiteral("source.png"))));
        QVERIFY(shell(QStringLiteral("cd '%1' && /usr/bin/convert source.png PPM:source.ppm").arg(m_dir.path())));
    }

    // Every format cut short: the header is sound, the data ends early.
    void truncated_data()
    {
        QTest::addColumn<QString>("command");
        const auto row = [](const char* name, const char* command) { QTest::newRow(name) << QString::fromLatin1(command); };
        row("png", "/usr/bin/convert source.png PNG24:out");
        row("gif", "/usr/bin/convert source.png GIF:out");
        row("bmp", "/usr/bin/convert source.png BMP3:out");
        row("tiff", "/usr/bin/convert source.png -compress None TIFF:out");
        row("ppm", "/usr/bin/convert source.png PPM:out");
        row("pcx 24-bit", "/usr/bin/convert source.png PCX:out");
        row("pcx 8-bit, palette lost", "/usr/bin/convert source.png -type Palette PCX:out");
        row("pcx 4 planes", "ppmtopcx -planes 4 < source.ppm > out");
        row("tga raw", "/usr/bin/convert source.png -compress None TGA:out");
        row("tga rle", "/usr/bin/convert source.png -compress RLE TGA:out");
        row("jpeg", "/usr/bin/convert source.png JPEG:out");
        row("ilbm", "ppmtoilbm < source.ppm > out");
        row("ilbm uncompressed", "ppmtoilbm -nocompress < source.ppm > out");
        row("ilbm 24-bit", "ppmtoilbm -24force < source.ppm > out");
    }
    void truncated()
    {
        QFETCH(QString, command);
        QVERIFY(shell(QStringLiteral("cd '%1' && rm -f out && %2").arg(m_dir.path(), command)));
        const QString path = m_dir.filePath(QStringLiteral("out"));
        QByteArray bytes = testsupport::readAll(path);
        QVERIFY(bytes.size() > 40);
        {
            PictureRecord whole;
            QCOMPARE(ImportPictureFile(testsupport::bytesOf(path), whole), 1);
        }
        bytes.truncate(bytes.size() * 2 / 3);
        QVERIFY(testsupport::writeAll(path, bytes));
        verifyRefused(testsupport::bytesOf(path));
    }

    // Content no reader claims, and headers whose data cannot possibly hold the pixels they claim.
    void notPictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray ilbmHeader = QByteArray("FORM\0\0\0\x30ILBMBMHD\0\0\0\x14\xff\xff\xff\xff", 24) +
                                      QByteArray("\0\0\0\0\x04\0\x01\0\0\0\x0a\x0b\0\0\0\0", 16);
        QByteArray pcxHeader(128, '\0');
        pcxHeader[0] = 0x0A, pcxHeader[1] = 5, pcxHeader[2] = 1, pcxHeader[3] = 8;
        pcxHeader[8] = pcxHeader[9] = pcxHeader[10] = pcxHeader[11] = char(0xff);
        pcxHeader[65] = 3, pcxHeader[66] = pcxHeader[67] = char(0xff);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("Dear reader,\nthis is not a picture at all.\n");
        QTest::newRow("one byte") << QByteArray("\x0a", 1);
        QTest::newRow("png signature only") << QByteArray("\x89PNG\r\n\x1a\n", 8);
        QTest::newRow("iff form of another type") << QByteArray("FORM\0\0\0\x04" "8SVX", 12);
        QTest::newRow("huge tga") << QByteArray("\0\0\x02\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x20\x20" "abcd", 22);
        QTest::newRow("huge rle tga") << QByteArray("\0\0\x0a\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x18\x20" "\xff\1\2\3", 22);
        QTest::newRow("tga colour map cut") << QByteArray("\0\1\1\0\0\0\1\x18\0\0\0\0\2\0\2\0\x08\x20" "abcdef", 24);
        QTest::newRow("huge pcx") << pcxHeader + QByteArray(64, '\xc1');
        QTest::newRow("huge ilbm") << ilbmHeader + QByteArray("BODY\0\0\0\x04\x81\0\x81\0", 12);
        QTest::newRow("ilbm without body") << ilbmHeader;
        QTest::newRow("ilbm chunk past the end") << ilbmHeader + QByteArray("BODY\x7f\0\0\0\0\0", 10);
    }
    void notPictures()
    {
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("not-a-picture.png"));
        QVERIFY(testsupport::writeAll(path, bytes));
        verifyRefused(testsupport::bytesOf(path));
    }

    // A header whose size is sound but too large to hold: no buffer, and the size it would have had.
    void tooLargeToHold()
    {
        const QString path = m_dir.filePath(QStringLiteral("huge.gif"));
        const QByteArray gif = QByteArray("GIF89a\xff\xff\xff\xff\0\0\0", 13) +
                               QByteArray(",\0\0\0\0\xff\xff\xff\xff\0\x02\x02\x4c\x01\0;", 17);
        QVERIFY(testsupport::writeAll(path, gif));
        PictureRecord record = heldRecord();
        QCOMPARE(ImportPictureFile(testsupport::bytesOf(path), record), -1);
        QVERIFY(!record.pixels);
        QCOMPARE(record.size, std::uint64_t(65535) * 65535 * 4);
        QCOMPARE(record.width, 2u);
        QCOMPARE(record.height, 2u);
    }

    // Larger than Qt lets a picture be by default (16000 x 16000, 1 GB of pixels, which with Qt's own
    // 1-bit image fits the default budget of 1 GiB).
    void largePictureThroughQt()
    {
        if (DecodeBudgetBytes() < kGiB)
            QSKIP("the default decode budget is below 1 GiB on this machine");
        const QString path = m_dir.filePath(QStringLiteral("large.pbm"));
        QVERIFY(testsupport::writeAll(path, QByteArray("P4\n16000 16000\n") + QByteArray(16000 / 8 * 16000, '\0')));
        PictureRecord record;
        QCOMPARE(ImportPictureFile(testsupport::bytesOf(path), record), 1);
        QCOMPARE(record.size, std::uint64_t(16000) * 16000 * 4);
        QCOMPARE(record.pixels[0], 0xFFFFFFFFu);
        QCOMPARE(record.pixels[std::size_t(16000) * 16000 - 1], 0xFFFFFFFFu);
    }

    void notRegularFiles()
    {
        verifyRefused(testsupport::bytesOf(m_dir.path()));
        verifyRefused(testsupport::bytesOf(m_dir.filePath(QStringLiteral("missing.png"))));
        verifyRefused("/dev/zero");
        verifyRefused("");
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        verifyRefused(testsupport::bytesOf(fifo)); // must not block waiting for a writer
    }

    // A file name that is not UTF-8 is taken byte for byte.
    void nonUtf8Name()
    {
        const std::string path = QFile::encodeName(m_dir.path()).toStdString() + "/pi\xe7ture\xff.png";
        const QByteArray png = testsupport::readAll(m_dir.filePath(QStringLiteral("source.png")));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, png.constData(), std::size_t(png.size())), ssize_t(png.size()));
        ::close(fd);
        PictureRecord record;
        const int result = ImportPictureFile(path, record);
        ::unlink(path.c_str());
        QCOMPARE(result, 1);
        QCOMPARE(record.width, 37u);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestImportRefusals)
#include "tst_import_refusals.moc"
