// What an encoded picture keeps of its source: nothing, the colour profile, or the profile, EXIF and XMP,
// read back out of the written file with webpmux; the EXIF orientation says 1 once the pixels are upright.

#include "EncodingWindow.h"
#include "MetadataFixtures.h"

#include <QtTest>

using namespace quorvanta;
using namespace metadatatest;

Q_DECLARE_METATYPE(quorvanta::KeepMetadata)

class TestKeepMetadata : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString source;
    QByteArray icc;

    // The block webpmux takes out of `webp` ("icc", "exif", "xmp"); empty when the file has none.
    QByteArray block(const QString& webp, const QString& what)
    {
        const QString out = dir.filePath("got." + what);
        QFile::remove(out);
        if (!testsupport::run(testsupport::tool("webpmux"), {"-get", what, webp, "-o", out}))
            return {};
        return testsupport::readAll(out);
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("exiftool");
        REQUIRE_TOOL("webpmux");
        QVERIFY(dir.isValid());
        icc = iccProfile();
        const QString iccFile = dir.filePath("profile.icc"), xmpFile = dir.filePath("packet.xmp");
        QVERIFY(testsupport::writeAll(iccFile, icc) && testsupport::writeAll(xmpFile, kXmp));
        source = writePicture(markedPicture(), dir.path(), "photo", "jpeg");
        QVERIFY(!source.isEmpty());
        QVERIFY(exiftool({"-n", "-Orientation=6", "-Make=Quorvanta", "-ICC_Profile<=" + iccFile, "-XMP<=" + xmpFile,
                          "-overwrite_original", source}));
    }

    void writtenFileKeeps_data()
    {
        QTest::addColumn<KeepMetadata>("keep");
        QTest::addColumn<bool>("upright");
        QTest::addColumn<bool>("hasIcc");
        QTest::addColumn<bool>("hasExifAndXmp");
        QTest::addColumn<int>("orientation"); // in the written EXIF
        QTest::newRow("none") << KeepMetadata::None << true << false << false << 0;
        QTest::newRow("colour profile") << KeepMetadata::ColourProfile << true << true << false << 0;
        QTest::newRow("all, turned upright") << KeepMetadata::All << true << true << true << 1;
        QTest::newRow("all, as stored") << KeepMetadata::All << false << true << true << 6;
    }
    void writtenFileKeeps()
    {
        QFETCH(KeepMetadata, keep);
        QFETCH(bool, upright);
        QFETCH(bool, hasIcc);
        QFETCH(bool, hasExifAndXmp);
        QFETCH(int, orientation);
        fixtures::Window w;
        w.settings.keep = keep;
        w.settings.orientationValue = upright;
        w.view.send(MethodId::Load, source.toStdString());
        QCOMPARE(w.d().mode, Mode::Imported);
        const QString out = dir.filePath(QStringLiteral("out-%1.webp").arg(QTest::currentDataTag()));
        w.view.send(MethodId::EncodePicture, out.toStdString());
        QVERIFY(QFileInfo::exists(out));

        QByteArray info;
        QVERIFY(testsupport::run(testsupport::tool("webpmux"), {"-info", out}, &info));
        QVERIFY2(info.contains(upright ? "Canvas size: 7 x 13" : "Canvas size: 13 x 7"), info.constData());
        QCOMPARE(block(out, "icc"), hasIcc ? icc : QByteArray());
        QCOMPARE(block(out, "xmp"), hasExifAndXmp ? kXmp : QByteArray());
        const QByteArray exif = block(out, "exif");
        QCOMPARE(!exif.isEmpty(), hasExifAndXmp);
        if (hasExifAndXmp) {
            const QString exifFile = dir.filePath("written.exif");
            QVERIFY(testsupport::writeAll(exifFile, exif));
            QByteArray read;
            QVERIFY(exiftool({"-s3", "-n", "-Orientation", "-Make", exifFile}, &read));
            QCOMPARE(read, QByteArray::number(orientation) + "\nQuorvanta\n");
        }
    }

    // An animation made of a directory carries the first picture's colour profile, nothing else.
    void animationKeepsFirstProfile_data()
    {
        QTest::addColumn<KeepMetadata>("keep");
        QTest::addColumn<bool>("hasIcc");
        QTest::newRow("none") << KeepMetadata::None << false;
        QTest::newRow("colour profile") << KeepMetadata::ColourProfile << true;
        QTest::newRow("all") << KeepMetadata::All << true;
    }
    void animationKeepsFirstProfile()
    {
        QFETCH(KeepMetadata, keep);
        QFETCH(bool, hasIcc);
        QTemporaryDir frames;
        QImage first = markedPicture();
        first.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        QImage second = markedPicture().mirrored(true, false);
        second.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
        QVERIFY(first.save(frames.filePath("a1.png")) && second.save(frames.filePath("a2.png")));
        QVERIFY(exiftool({"-n", "-Orientation=3", "-overwrite_original", frames.filePath("a1.png")}));

        fixtures::Window w;
        w.settings.keep = keep;
        w.view.send(MethodId::LoadDirectory, frames.path().toStdString());
        const QString out = dir.filePath(QStringLiteral("anim-%1.webp").arg(QTest::currentDataTag()));
        w.answers = {chosen(out)};
        w.view.send(MethodId::SaveAnimation);
        QVERIFY(QFileInfo::exists(out));
        QCOMPARE(block(out, "icc"), hasIcc ? QColorSpace(QColorSpace::DisplayP3).iccProfile() : QByteArray());
        QCOMPARE(block(out, "exif"), QByteArray());
        QVERIFY(testsupport::run(testsupport::tool("webpmux"), {"-info", out})); // still a sound animation
    }
};

QTEST_MAIN(TestKeepMetadata)
#include "tst_keepmetadata.moc"
