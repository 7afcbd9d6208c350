#include "AnimationDecode.h"
#include "TestSupport.h"
#include "encoding/AnimationAssembler.h"
#include "import/AnimationReaders.h"

#include <QImageReader>
#include <QProcess>
#include <QtTest>

using namespace quorvanta;
using namespace testsupport;

namespace {

bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A GIF of five frames: an opaque first frame, then frames with transparent pixels and every disposal
// (none, previous, background), at offsets, each with its own delay, looping three times.
bool makeDisposalGif(const QString& path)
{
    auto frame = [](const char* dispose, int delay, const char* page, QStringList image) {
        // -repage after the image: a -page setting inside the parentheses would reach every frame.
        QStringList args{"(", "-dispose", dispose, "-delay", QString::number(delay)};
        args += image;
        args << "-repage" << page << ")";
        return args;
    };
    QStringList args{"-loop", "3"};
    args += frame("none", 10, "64x48+0+0", {"-size", "64x48", "xc:skyblue", "-fill", "white", "-draw", "rectangle 5,5 20,20"});
    args += frame("previous", 20, "64x48+10+6", {"-size", "20x16", "xc:none", "-fill", "red", "-draw", "circle 10,8 10,2"});
    args += frame("background", 30, "64x48+30+20", {"-size", "24x20", "xc:green"});
    args += frame("none", 40, "64x48+4+24", {"-size", "16x16", "xc:none", "-fill", "yellow", "-draw", "rectangle 2,2 12,12"});
    args += frame("none", 50, "64x48+40+2", {"-size", "12x12", "xc:purple"});
    args << path;
    return runTool(QStringLiteral("/usr/bin/convert"), args);
}

} // namespace

class TestAnimationReaders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Qt's composition of the GIF against gif2webp's, decoded by libwebp: the same canvases, delays
    // and loop count.
    void gifFramesAsGif2webpShowsThem()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/convert")) || QStandardPaths::findExecutable("gif2webp").isEmpty())
            QSKIP("ImageMagick's convert and gif2webp are needed to make and check the GIF");
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("disposal.gif"));
        const QString webp = dir.filePath(QStringLiteral("reference.webp"));
        QVERIFY(makeDisposalGif(gif));
        QVERIFY(runTool(QStringLiteral("gif2webp"), QStringList{"-quiet", gif, "-o", webp}));
        const QByteArray referenceBytes = readAll(webp);
        const DecodedAnimation reference =
            decodeAnimation({referenceBytes.begin(), referenceBytes.end()});
        QVERIFY(reference.ok);

        QtAnimationReader reader(gif.toStdString());
        QVERIFY(reader.ok());
        QCOMPARE(int(reader.canvasWidth()), reference.width);
        QCOMPARE(int(reader.canvasHeight()), reference.height);
        QCOMPARE(reader.loopCount(), reference.loopCount);
        const std::vector<AnimationFrame> frames = ReadAllFrames(reader);
        QCOMPARE(frames.size(), reference.frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].durationMs, reference.durations[i]);
            const std::vector<std::uint32_t> ours(frames[i].pixels.get(),
                                                  frames[i].pixels.get() + std::size_t(frames[i].width) * frames[i].height);
            // Qt's GIF reader disposes a frame to the GIF's background colour where gif2webp and
            // browsers leave the area transparent; the frames after it keep the difference.
            if (i >= 3)
                QEXPECT_FAIL("", "disposal to background: Qt fills with the background colour", Continue);
            QVERIFY2(clearTransparent(ours) == clearTransparent(reference.frames[i]), qPrintable(QString::number(i)));
        }
    }

    // The GIF encoded by us decodes to the frames the reader gave; an animated WebP read back gives
    // the same frames and can be encoded again with other settings.
    void gifToWebPAndBack()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/convert")))
            QSKIP("ImageMagick's convert is needed to make the GIF");
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("disposal.gif"));
        QVERIFY(makeDisposalGif(gif));
        QtAnimationReader frames(gif.toStdString());
        QtAnimationReader again(gif.toStdString());
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

    void notAnimations()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("still.png"));
        QImage(8, 8, QImage::Format_ARGB32).save(png);
        QVERIFY(!IsQtAnimation(png.toStdString()));
        QVERIFY(!IsQtAnimation(dir.filePath(QStringLiteral("missing.gif")).toStdString()));
        const std::uint8_t junk[16] = {'R', 'I', 'F', 'F'};
        QVERIFY(!WebPAnimationReader(junk).ok());
    }
};

QTEST_GUILESS_MAIN(TestAnimationReaders)
#include "tst_animationreaders.moc"
