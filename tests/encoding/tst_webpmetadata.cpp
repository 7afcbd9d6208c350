// Metadata in the WebP files we write: what each "Keep metadata" choice puts into a still and an
// animation, read back with webpmux byte for byte; the orientation reset when the pixels were
// turned; the pictures themselves untouched.

#include "AnimationDecode.h"
#include "MetadataFixtures.h"
#include "encoding/AnimationAssembler.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/WebPHandles.h"
#include "encoding/WebPMetadata.h"
#include "import/Orientation.h"

using namespace quorvanta;
using namespace metadatatest;

Q_DECLARE_METATYPE(quorvanta::KeepMetadata)

class TestWebPMetadata : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    SourceMetadata source; // from a JPEG tagged by exiftool: orientation 6

    Bytes still()
    {
        PictureRecord record = recordOf(markedPicture(40, 30));
        MemoryWriter writer;
        if (!EncodeStillWebP({}, record, EncodeSettings{}, writer.get(), 1))
            return {};
        return Bytes(writer.data(), writer.data() + writer.size());
    }

    Bytes animation()
    {
        AnimationAssembler assembler(40, 30, makeAnimationSettings(EncodeSettings{}, false, 0, 0xFFFFFFFF));
        const PictureRecord first = recordOf(markedPicture(40, 30));
        const PictureRecord second = recordOf(markedPicture(40, 30).mirrored(true, false));
        for (const PictureRecord* frame : {&first, &second})
            if (!assembler.add({frame->pixels.get(), 40, 30, 0, PixelOrder::Argb32}, 100))
                return {};
        return assembler.finish();
    }

    // What `webpmux -get what` takes out of the file; empty when it finds nothing.
    QByteArray webpmuxGet(const QString& path, const QString& what)
    {
        const QString out = dir.path() + "/got." + what;
        QFile::remove(out);
        return testsupport::run(testsupport::tool("webpmux"), {"-get", what, path, "-o", out})
                   ? testsupport::readAll(out)
                   : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("exiftool");
        REQUIRE_TOOL("webpmux");
        QVERIFY(dir.isValid());
        const QString jpeg = writePicture(markedPicture(), dir.path(), "source", "jpeg");
        QVERIFY(exiftool({"-n", "-Orientation=6", "-Make=Quorvanta", "-overwrite_original", jpeg}));
        const QByteArray bytes = testsupport::readAll(jpeg);
        source = ReadSourceMetadata(Bytes(bytes.begin(), bytes.end()));
        QCOMPARE(source.orientation, 6);
        source.icc = toBytes(iccProfile());
        source.xmp = toBytes(kXmp);
    }

    void keepsWhatWasChosen_data()
    {
        QTest::addColumn<bool>("animated");
        QTest::addColumn<KeepMetadata>("keep");
        QTest::addColumn<bool>("turned");
        for (const bool animated : {false, true}) {
            const char* kind = animated ? "animation" : "still";
            QTest::addRow("%s, none", kind) << animated << KeepMetadata::None << true;
            QTest::addRow("%s, colour profile", kind) << animated << KeepMetadata::ColourProfile << true;
            QTest::addRow("%s, all, pixels turned", kind) << animated << KeepMetadata::All << true;
            QTest::addRow("%s, all, pixels as stored", kind) << animated << KeepMetadata::All << false;
        }
    }

    void keepsWhatWasChosen()
    {
        QFETCH(bool, animated);
        QFETCH(KeepMetadata, keep);
        QFETCH(bool, turned);
        const Bytes plain = animated ? animation() : still();
        QVERIFY(!plain.empty());
        const auto written = AddWebPMetadata(plain, source, keep, turned);
        QVERIFY(written);
        const QString path = dir.path() + "/written.webp";
        QVERIFY(testsupport::writeAll(path, toQt(*written)));

        QByteArray info;
        QVERIFY(testsupport::run(testsupport::tool("webpmux"), {"-info", path}, &info));
        const bool all = keep == KeepMetadata::All, profile = keep != KeepMetadata::None;
        QCOMPARE(info.contains("ICC profile"), profile);
        QCOMPARE(info.contains("EXIF metadata"), all);
        QCOMPARE(info.contains("XMP metadata"), all);
        QCOMPARE(info.contains("Number of frames: 2"), animated);

        QCOMPARE(webpmuxGet(path, "icc"), profile ? toQt(source.icc) : QByteArray());
        QCOMPARE(toQt(ReadWebPIccProfile(*written)), profile ? toQt(source.icc) : QByteArray());
        QCOMPARE(webpmuxGet(path, "xmp"), all ? toQt(source.xmp) : QByteArray());
        Bytes exif = source.exif;
        if (turned)
            QVERIFY(ResetExifOrientation(exif));
        QCOMPARE(webpmuxGet(path, "exif"), all ? toQt(exif) : QByteArray());
        if (all) {
            QByteArray orientation;
            QVERIFY(exiftool({"-s3", "-n", "-Orientation", path}, &orientation));
            QCOMPARE(orientation, turned ? QByteArray("1\n") : QByteArray("6\n"));
        }

        const auto before = testsupport::decodeAnimation(plain), after = testsupport::decodeAnimation(*written);
        QCOMPARE(before.frames.size(), animated ? std::size_t(2) : std::size_t(1));
        QCOMPARE(after.ok, before.ok); // ok: flagged as an animation
        QCOMPARE(after.frames, before.frames);
        QCOMPARE(after.durations, before.durations);
    }

    void dropsExifItCannotReset()
    {
        SourceMetadata damaged = source;
        damaged.exif = toBytes(QByteArray("MM\0*\0\0\xFF\xFF", 8));
        QVERIFY(SelectMetadata(damaged, KeepMetadata::All, true).exif.empty());
        QVERIFY(SelectMetadata(damaged, KeepMetadata::All, false).exif == damaged.exif);
    }

    void refusesWhatIsNotWebP()
    {
        const Bytes notWebP = toBytes(QByteArray("RIFF\x10\0\0\0WEBPVP8 \x04\0\0\0abcd", 24));
        QVERIFY(!AddWebPMetadata(notWebP, source, KeepMetadata::All, false));
    }
};

QTEST_GUILESS_MAIN(TestWebPMetadata)
#include "tst_webpmetadata.moc"
