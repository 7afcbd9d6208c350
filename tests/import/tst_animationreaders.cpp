#include "GifFixtures.h"

#include "encoding/AnimationAssembler.h"
#include "import/AnimationReaders.h"

#include <QtTest>

using namespace quorvanta;
using namespace testsupport;

namespace {

// A GIF of five frames: an opaque first frame, then frames with transparent pixels and every disposal
// (none, previous, background), at offsets, each with its own delay, looping three times.
bool makeDisposalGif(const QString& path)
{
    using giftest::frame;
    QStringList args{"-loop", "3"};
    args += frame("none", 10, "64x48+0+0", {"-size", "64x48", "xc:skyblue", "-fill", "white", "-draw", "rectangle 5,5 20,20"});
    args += frame("previous", 20, "64x48+10+6", {"-size", "20x16", "xc:none", "-fill", "red", "-draw", "circle 10,8 10,2"});
    args += frame("background", 30, "64x48+30+20", {"-size", "24x20", "xc:green"});
    args += frame("none", 40, "64x48+4+24", {"-size", "16x16", "xc:none", "-fill", "yellow", "-draw", "rectangle 2,2 12,12"});
    args += frame("none", 50, "64x48+40+2", {"-size", "12x12", "xc:purple"});
    return giftest::convertGif(args, path);
}

} // namespace

class TestAnimationReaders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A GIF file goes to our own reader: the same canvases, delays and loop count as gif2webp's,
    // decoded by libwebp, with the area of a frame disposed to the background left transparent.
    void gifFramesAsGif2webpShowsThem()
    {
        if (!giftest::haveTools())
            QSKIP("ImageMagick's convert and gif2webp are needed to make and check the GIF");
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("disposal.gif"));
        QVERIFY(makeDisposalGif(gif));
        const DecodedAnimation reference = giftest::gif2webpFrames(gif);
        QVERIFY(reference.ok);

        AnimationFileReader reader(gif.toStdString());
        QVERIFY(reader.ok());
        QCOMPARE(int(reader.canvasWidth()), reference.width);
        QCOMPARE(int(reader.canvasHeight()), reference.height);
        QCOMPARE(reader.loopCount(), reference.loopCount);
        const QString different = giftest::difference(ReadAllFrames(reader), reference);
        QVERIFY2(different.isEmpty(), qPrintable(different));
    }

    // The GIF encoded by us decodes to the frames the reader gave; an animated WebP read back gives
    // the same frames and can be encoded again with other settings.
    void gifToWebPAndBack()
    {
        if (!haveTool(QStringLiteral("convert")))
            QSKIP("ImageMagick's convert is needed to make the GIF");
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("disposal.gif"));
        QVERIFY(makeDisposalGif(gif));
        AnimationFileReader frames(gif.toStdString());
        AnimationFileReader again(gif.toStdString());
        const std::vector<AnimationFrame> expected = ReadAllFrames(again);
        AnimationSettings lossless;
        lossless.lossless = 1;
        lossless.loopCount = frames.loopCount();
        const AnimationResult written = EncodeAnimation(frames, lossless);
        QCOMPARE(written.framesEncoded, int(expected.size()));

        WebPAnimationReader webp(written.bytes);
        QVERIFY(webp.ok());
        QCOMPARE(webp.loopCount(), 3);
        const std::vector<AnimationFrame> back = ReadAllFrames(webp);
        QCOMPARE(back.size(), expected.size());
        for (std::size_t i = 0; i < back.size(); ++i) {
            const std::size_t count = std::size_t(back[i].width) * back[i].height;
            QCOMPARE(back[i].durationMs, expected[i].durationMs);
            QVERIFY(clearTransparent({back[i].pixels.get(), back[i].pixels.get() + count}) ==
                    clearTransparent({expected[i].pixels.get(), expected[i].pixels.get() + count}));
        }

        WebPAnimationReader source(written.bytes);
        AnimationSettings lossy;
        lossy.quality = 60;
        lossy.mixed = true;
        const AnimationResult reencoded = EncodeAnimation(source, lossy);
        const DecodedAnimation decoded = decodeAnimation(reencoded.bytes);
        QCOMPARE(decoded.frames.size(), expected.size());
        for (std::size_t i = 0; i < decoded.frames.size(); ++i)
            QVERIFY(psnr4(clearTransparent(decoded.frames[i]),
                          clearTransparent({expected[i].pixels.get(),
                                            expected[i].pixels.get() + decoded.frames[i].size()})) > 30);
    }

    void whichFilesAreAnimations()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("still.png"));
        QImage(8, 8, QImage::Format_ARGB32).save(png);
        QVERIFY(!IsAnimationFile(png.toStdString()));
        QVERIFY(!IsAnimationFile(dir.filePath(QStringLiteral("missing.gif")).toStdString()));
        giftest::GifWriter gif(2, 2, 2);
        gif.image(0, 0, 2, 2, QByteArray(4, '\1'));
        const QString still = dir.filePath(QStringLiteral("still.gif"));
        const QString animated = dir.filePath(QStringLiteral("animated.gif"));
        QVERIFY(writeAll(still, gif.finish()));
        QVERIFY(!IsAnimationFile(still.toStdString()));
        gif.control(5, 2).image(1, 1, 1, 1, QByteArray(1, '\0'));
        QVERIFY(writeAll(animated, gif.finish()));
        QVERIFY(IsAnimationFile(animated.toStdString()));
        const std::uint8_t junk[16] = {'R', 'I', 'F', 'F'};
        QVERIFY(!WebPAnimationReader(junk).ok());
    }
};

QTEST_GUILESS_MAIN(TestAnimationReaders)
#include "tst_animationreaders.moc"
