// EXIF orientation: read from files that exiftool (or webpmux) tagged, applied to the imported
// pixels, and compared with Qt's own auto-transformed reading; the tag reset to 1 in both byte orders.

#include "MetadataFixtures.h"
#include "import/ImportPictureFile.h"
#include "import/Orientation.h"
#include "import/SourceMetadata.h"

#include <QImageReader>

using namespace quorvanta;
using namespace metadatatest;

class TestOrientation : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    // A file of `format` holding markedPicture() and tagged with `orientation`.
    QString tagged(const QString& format, int orientation)
    {
        const QString name = QString("o%1").arg(orientation);
        const QString path = writePicture(markedPicture(), dir.path(), name, format);
        if (path.isEmpty())
            return {};
        if (format != "webp")
            return exiftool({"-n", QString("-Orientation=%1").arg(orientation), "-overwrite_original", path}) ? path
                                                                                                           : QString();
        // webpmux carries the EXIF block of a tagged JPEG over.
        const QString jpeg = tagged("jpeg", orientation);
        const QString exif = dir.path() + "/" + name + ".exif";
        return !jpeg.isEmpty() && testsupport::writeAll(exif, exiftoolBlock(jpeg, "EXIF")) &&
                       webpmuxSet(path, "exif", exif)
                   ? path
                   : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("exiftool");
        REQUIRE_TOOL("webpmux");
        REQUIRE_TOOL("cwebp");
        QVERIFY(dir.isValid());
    }

    void matchesQtAutoTransform_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("orientation");
        for (const char* format : {"jpeg", "tiff", "png", "webp"})
            for (int o = 1; o <= 8; ++o)
                QTest::addRow("%s %d", format, o) << QString(format) << o;
    }

    // Qt turns JPEG and TIFF upright by their tag but leaves PNG and WebP as stored: for those, the
    // reference is Qt's reading of a TIFF with the same pixels and tag.
    void matchesQtAutoTransform()
    {
        QFETCH(QString, format);
        QFETCH(int, orientation);
        const QString path = tagged(format, orientation);
        QVERIFY(!path.isEmpty());
        const QString reference = format == "png" || format == "webp" ? tagged("tiff", orientation) : path;

        const QByteArray bytes = testsupport::readAll(path);
        const SourceMetadata meta = ReadSourceMetadata(Bytes(bytes.begin(), bytes.end()));
        QCOMPARE(meta.orientation, orientation);
        QCOMPARE(meta.problem, std::string());

        PictureRecord record;
        if (format == "webp") {
            QImageReader stored(path);
            stored.setAutoTransform(false);
            record = recordOf(stored.read());
        } else {
            QCOMPARE(ImportPictureFile(testsupport::bytesOf(path), record), 1);
        }
        QVERIFY(ApplyOrientation(record, meta.orientation));
        QCOMPARE(record.size, std::uint64_t(record.width) * record.height * 4);

        QImageReader upright(reference);
        upright.setAutoTransform(true);
        const QImage expected = upright.read().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(imageOf(record).size(), expected.size());
        QCOMPARE(imageOf(record), expected);
    }

    void refusesWhatHoldsNoPicture()
    {
        PictureRecord empty;
        QVERIFY(!ApplyOrientation(empty, 6));
        PictureRecord shortBuffer = recordOf(markedPicture(4, 3));
        shortBuffer.size = 4 * 3 * 4 - 4; // claims fewer bytes than its sides need
        QVERIFY(!ApplyOrientation(shortBuffer, 6));
        QCOMPARE(shortBuffer.width, 4u);
    }

    void resetsTheTag_data()
    {
        QTest::addColumn<QString>("byteOrder");
        QTest::addColumn<bool>("jpegPrefix");
        QTest::newRow("little-endian") << "II" << false;
        QTest::newRow("big-endian") << "MM" << false;
        QTest::newRow("big-endian behind Exif\\0\\0") << "MM" << true;
    }

    // Only the orientation value changes, and exiftool reads 1 where 8 was, the rest as it was.
    void resetsTheTag()
    {
        QFETCH(QString, byteOrder);
        QFETCH(bool, jpegPrefix);
        const QString jpeg = writePicture(markedPicture(), dir.path(), "reset" + byteOrder, "jpeg");
        QVERIFY(exiftool({"-n", "-Orientation=8", "-Make=Quorvanta", "-ExifByteOrder=" + byteOrder,
                          "-overwrite_original", jpeg}));
        const QByteArray file = testsupport::readAll(jpeg);
        Bytes exif = ReadSourceMetadata(Bytes(file.begin(), file.end())).exif;
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(exif.data()), 2), byteOrder.toLatin1());
        if (jpegPrefix)
            exif.insert(exif.begin(), {'E', 'x', 'i', 'f', 0, 0});
        const Bytes before = exif;

        QVERIFY(ResetExifOrientation(exif));
        int changed = 0;
        for (std::size_t i = 0; i < exif.size(); ++i)
            changed += exif[i] != before[i];
        QCOMPARE(changed, 1);
        const QString block = dir.path() + "/reset.exif";
        QVERIFY(testsupport::writeAll(block, toQt(exif).mid(jpegPrefix ? 6 : 0)));
        QByteArray tags;
        QVERIFY(exiftool({"-s3", "-n", "-Orientation", "-Make", block}, &tags));
        QCOMPARE(tags, QByteArray("1\nQuorvanta\n"));
    }

    void resetLeavesABlockWithoutTheTagAlone()
    {
        Bytes noTag = toBytes(QByteArray("II*\0\x08\0\0\0\0\0\0\0\0\0", 14)); // one directory, no entries
        const Bytes before = noTag;
        QVERIFY(ResetExifOrientation(noTag));
        QVERIFY(noTag == before);
    }
};

QTEST_GUILESS_MAIN(TestOrientation)
#include "tst_orientation.moc"
