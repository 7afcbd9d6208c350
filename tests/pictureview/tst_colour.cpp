// Colour management on display: a picture carrying a wide-gamut profile is drawn as Qt's own conversion
// into the screen's colours (sRGB offscreen) gives, and as stored with colour management off; pictures
// without a profile, or with an sRGB one, are drawn as stored; the pixels kept for encoding never change.

#include "MetadataFixtures.h"
#include "ViewingFixtures.h"
#include "WebPBuilder.h"

#include <QColorSpace>
#include <QtTest>

using namespace quorvanta;
using namespace viewingtest;
using metadatatest::largestDifference;

namespace {

// `stored` as Qt draws it in sRGB when it carries the profile `space`.
QImage convertedByQt(const QImage& stored, const QColorSpace& space)
{
    QImage image = stored.convertToFormat(QImage::Format_ARGB32);
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    return image;
}

QColorSpace spaceNamed(const QString& name)
{
    if (name == "p3")
        return QColorSpace(QColorSpace::DisplayP3);
    if (name == "adobe")
        return QColorSpace(QColorSpace::AdobeRgb);
    if (name == "srgb")
        return QColorSpace(QColorSpace::SRgb);
    return {};
}

// Saturated colours, where wide-gamut and sRGB values differ most, and greys, which stay close; tall
// enough to be converted in several bands of rows, the last a short one.
QImage colourfulPicture()
{
    QImage image = makePicture(24, 150, 5, false, false);
    for (int x = 0; x < 8; ++x) {
        image.setPixel(x, 0, qRgb(255, 0, 0));
        image.setPixel(x, 1, qRgb(0, 255, 0));
        image.setPixel(x, 2, qRgb(0, 0, 255));
        image.setPixel(x, 3, qRgb(128, 128, 128));
    }
    return image;
}

} // namespace

class TestColour : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    // `image` written as `format` with the profile of `space` (none when invalid); WebP gets its ICCP
    // chunk from webpmux.
    QString writeWithProfile(const QImage& image, const QString& format, const QColorSpace& space,
                             const QString& name)
    {
        QImage tagged = image;
        if (format != "webp")
            tagged.setColorSpace(space);
        const QString path = metadatatest::writePicture(tagged, scratch.path(), name, format);
        if (path.isEmpty() || format != "webp" || !space.isValid())
            return path;
        const QString icc = scratch.filePath(name + ".icc");
        return testsupport::writeAll(icc, space.iccProfile()) && metadatatest::webpmuxSet(path, "icc", icc) ? path
                                                                                                            : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("cwebp");
        REQUIRE_TOOL("webpmux");
        QVERIFY(scratch.isValid());
    }

    void stillDrawnInScreenColours_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("profile");
        for (const char* format : {"png", "jpeg", "tiff", "webp"}) {
            QTest::addRow("%s display p3", format) << format << "p3";
            QTest::addRow("%s srgb", format) << format << "srgb";
        }
        QTest::addRow("png adobe rgb") << "png" << "adobe";
        QTest::addRow("webp adobe rgb") << "webp" << "adobe";
        QTest::addRow("png no profile") << "png" << "";
        QTest::addRow("webp no profile") << "webp" << "";
    }
    void stillDrawnInScreenColours()
    {
        QFETCH(QString, format);
        QFETCH(QString, profile);
        const QColorSpace space = spaceNamed(profile);
        const QString file = writeWithProfile(colourfulPicture(), format, space, format + profile);
        QVERIFY(!file.isEmpty());

        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(view.state().mode, format == "webp" ? Mode::Still : Mode::Imported);
        const QImage managed = view.displayImage().copy();
        view.setColourManaged(false);
        const QImage stored = view.displayImage().copy();
        if (format != "jpeg")
            QCOMPARE(largestDifference(stored, colourfulPicture()), 0);

        const bool converts = space.isValid() && space != QColorSpace(QColorSpace::SRgb);
        const QImage expected = converts ? convertedByQt(stored, space) : stored;
        QVERIFY(largestDifference(managed, expected) <= 1);
        if (converts) // the conversion did something: saturated colours move
            QVERIFY(largestDifference(managed, stored) > 8);

        // On again: converted again, at once, from the picture as stored.
        view.setColourManaged(true);
        QCOMPARE(largestDifference(view.displayImage(), managed), 0);
        // What the encoder takes keeps the file's own colours.
        if (format != "webp")
            QCOMPARE(largestDifference(metadatatest::imageOf(view.state().importBuffer), stored), 0);
    }

    void loadedWithManagementOff()
    {
        const QString file = writeWithProfile(colourfulPicture(), "webp", spaceNamed("p3"), "off");
        QVERIFY(!file.isEmpty());
        PictureView view;
        view.setColourManaged(false);
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(largestDifference(view.displayImage(), colourfulPicture()), 0);
        view.setColourManaged(true);
        QVERIFY(largestDifference(view.displayImage(), convertedByQt(colourfulPicture(), spaceNamed("p3"))) <= 1);
    }

    // Frame 2 replaces only the top-left quarter of frame 1: the rest must stay converted once, not be
    // converted again on top of the first conversion.
    void animationFramesConvertedOnce()
    {
        const QRgb first = 0xFF20C040, second = 0xFFE01010;
        const QByteArray animation = webpbuild::muxAnimation(
            {{webpbuild::losslessFile(8, 8, first), 0, 0, 40, false, false},
             {webpbuild::losslessFile(4, 4, second), 0, 0, 40, false, false}},
            8, 8);
        QVERIFY(!animation.isEmpty());
        const QString path = scratch.filePath("anim.webp");
        const QString icc = scratch.filePath("anim.icc");
        const QColorSpace p3(QColorSpace::DisplayP3);
        QVERIFY(testsupport::writeAll(path, animation) && testsupport::writeAll(icc, p3.iccProfile()));
        QVERIFY(metadatatest::webpmuxSet(path, "icc", icc));

        PictureView view;
        useManualClock(view);
        view.send(MethodId::Load, testsupport::bytesOf(path));
        QCOMPARE(view.state().mode, Mode::Animated);
        QImage frame1(8, 8, QImage::Format_ARGB32);
        frame1.fill(first);
        QImage frame2 = frame1;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                frame2.setPixel(x, y, second);

        QVERIFY(largestDifference(view.displayImage(), convertedByQt(frame1, p3)) <= 1);
        view.send(MethodId::GotoFrame, 2);
        QVERIFY(largestDifference(view.displayImage(), convertedByQt(frame2, p3)) <= 1);
        view.setColourManaged(false);
        QCOMPARE(largestDifference(view.displayImage(), frame2), 0);
        view.send(MethodId::GotoFrame, 1);
        QCOMPARE(largestDifference(view.displayImage(), frame1), 0);
        view.setColourManaged(true);
        QVERIFY(largestDifference(view.displayImage(), convertedByQt(frame1, p3)) <= 1);
    }
};

QTEST_MAIN(TestColour)
#include "tst_colour.moc"
