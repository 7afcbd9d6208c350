#include "AnimationDecode.h"
#include "core/AnimationFrames.h"
#include "encoding/AnimationAssembler.h"

#include <QtTest>

#include <webp/decode.h>

#include <atomic>
#include <random>

using namespace quorvanta;
using namespace testsupport;

namespace {

// A frame with a gradient, some noise, a square that moves with `seed`, and with `alpha` a ramp
// from fully transparent to opaque.
AnimationFrame makeFrame(std::uint32_t width, std::uint32_t height, int seed, bool alpha, int durationMs)
{
    AnimationFrame frame;
    frame.pixels = allocZeroed<std::uint32_t>(std::uint64_t(width) * height);
    frame.width = width;
    frame.height = height;
    frame.durationMs = durationMs;
    std::mt19937 random{std::uint32_t(seed)};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool square = x >= std::uint32_t(seed * 6) % width && x < std::uint32_t(seed * 6) % width + 12 &&
                                y >= 8 && y < 20;
            const std::uint32_t noise = random() % 8;
            const std::uint32_t r = square ? 250 : (x * 200 / width + noise);
            const std::uint32_t g = square ? 20 : (y * 180 / height + noise);
            const std::uint32_t b = square ? 30 : 90 + noise;
            const std::uint32_t a = alpha && !square ? std::min<std::uint32_t>(255, x * 300 / width) : 255;
            frame.pixels[std::size_t(y) * width + x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    return frame;
}

std::vector<std::uint32_t> composed(const FramePixels& frame, std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint32_t> canvas(std::size_t(width) * height, 0xDEADBEEF);
    ComposeOntoCanvas(frame, canvas.data(), width, height);
    return canvas;
}

std::vector<std::uint8_t> toRgba(const AnimationFrame& frame)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < std::size_t(frame.width) * frame.height; ++i) {
        const std::uint32_t p = frame.pixels[i];
        bytes.insert(bytes.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), std::uint8_t(p >> 24)});
    }
    return bytes;
}

} // namespace

class TestAnimationAssembler : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void composeRule()
    {
        // 3 x 2 picture on a 4 x 3 canvas: top-left, the rest transparent; a larger one is clipped.
        const std::uint32_t small[6] = {1, 2, 3, 4, 5, 6};
        QCOMPARE(composed({small, 3, 2, 0, PixelOrder::Argb32}, 4, 3),
                 (std::vector<std::uint32_t>{1, 2, 3, 0, 4, 5, 6, 0, 0, 0, 0, 0}));
        QCOMPARE(composed({small, 3, 2, 0, PixelOrder::Argb32}, 2, 1), (std::vector<std::uint32_t>{1, 2}));
        const std::uint8_t rgba[8] = {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD};
        QCOMPARE(composed({rgba, 2, 1, 8, PixelOrder::Rgba8}, 2, 1), (std::vector<std::uint32_t>{0x44112233, 0xDDAABBCC}));
    }

    // What the file shows after each frame is the frame composed on the canvas: exactly when lossless,
    // within the codec's error when lossy (plain or mixed). Sizes differ, some frames have alpha, some
    // are lent as R,G,B,A bytes.
    void decodesToComposedFrames_data()
    {
        QTest::addColumn<int>("lossless");
        QTest::addColumn<bool>("mixed");
        QTest::addColumn<double>("minPsnr");
        QTest::newRow("lossless") << 1 << false << 99.0;
        QTest::newRow("lossy") << 0 << false << 30.0;
        QTest::newRow("mixed") << 0 << true << 30.0;
    }
    void decodesToComposedFrames()
    {
        QFETCH(int, lossless);
        QFETCH(bool, mixed);
        QFETCH(double, minPsnr);
        std::vector<AnimationFrame> frames;
        frames.push_back(makeFrame(96, 64, 1, false, 100));
        frames.push_back(makeFrame(96, 64, 2, false, 120));
        frames.push_back(makeFrame(40, 30, 3, true, 80));  // smaller: top-left over transparency
        frames.push_back(makeFrame(80, 72, 4, true, 200)); // taller than the rest: canvas is 96 x 72
        frames.push_back(makeFrame(96, 64, 4, false, 50));
        AnimationSettings settings;
        settings.lossless = lossless;
        settings.mixed = mixed;
        settings.quality = 75;
        settings.loopCount = 4;
        settings.backgroundColor = 0xFF336699;
        AnimationAssembler assembler(96, 72, settings);
        QVERIFY(assembler.ok());
        std::vector<std::uint8_t> rgba = toRgba(frames[3]);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            FramePixels pixels = frames[i].view();
            if (i == 3)
                pixels = {rgba.data(), frames[i].width, frames[i].height, 0, PixelOrder::Rgba8};
            QVERIFY(assembler.add(pixels, frames[i].durationMs));
        }
        const DecodedAnimation decoded = decodeAnimation(assembler.finish());
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.width, 96);
        QCOMPARE(decoded.height, 72);
        QCOMPARE(decoded.loopCount, 4);
        QCOMPARE(decoded.background, 0xFF336699u);
        QCOMPARE(decoded.frames.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(decoded.durations[i], frames[i].durationMs);
            const auto expected = clearTransparent(composed(frames[i].view(), 96, 72));
            const auto got = clearTransparent(decoded.frames[i]);
            const double quality = psnr4(got, expected);
            QVERIFY2(quality >= minPsnr, qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(quality)));
        }
    }

    // Identical neighbours share one frame of the file, which stays for both their times.
    void sameFramesMakeOneFrame()
    {
        const AnimationFrame frame = makeFrame(32, 32, 1, false, 0);
        AnimationSettings settings;
        settings.lossless = 1;
        AnimationAssembler twice(40, 40, settings);
        QVERIFY(twice.add(frame.view(), 300) && twice.add(frame.view(), 200));
        const DecodedAnimation decoded = decodeAnimation(twice.finish());
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.frames.size(), std::size_t(1));
        QCOMPARE(decoded.durations[0], 500);
        QCOMPARE(clearTransparent(decoded.frames[0]), clearTransparent(composed(frame.view(), 40, 40)));
    }

    void refusals()
    {
        const AnimationFrame frame = makeFrame(16, 16, 1, false, 100);
        AnimationSettings badQuality;
        badQuality.quality = 101;
        QVERIFY(!AnimationAssembler(16, 16, badQuality).ok());
        QVERIFY(!AnimationAssembler(0, 16, {}).ok());
        AnimationAssembler negative(16, 16, {});
        QVERIFY(!negative.add(frame.view(), -1));
        AnimationAssembler none(16, 16, {});
        QVERIFY(none.finish().empty()); // no frame, no file

        std::atomic<bool> cancel{false};
        AnimationAssembler cancelled(16, 16, {}, &cancel);
        QVERIFY(cancelled.add(frame.view(), 100));
        cancel = true;
        QVERIFY(!cancelled.add(frame.view(), 100));
        QVERIFY(cancelled.finish().empty());
    }

    // Frames come out in the source's order while the source is read on another thread, never more than
    // three frames ahead of the encoder (a source of thousands of frames is not held whole), and a frame
    // that cannot be read ends the encoding there.
    void readsAheadInOrderWithinBounds_data()
    {
        QTest::addColumn<int>("failAt"); // 0: none of the 40 frames fails
        QTest::newRow("all read") << 0;
        QTest::newRow("fails at the 5th") << 5;
        QTest::newRow("fails at once") << 1;
    }
    void readsAheadInOrderWithinBounds()
    {
        const int count = 40;
        QFETCH(int, failAt);
        class Numbered : public FrameSource {
        public:
            int count = 0;
            int failAt = 0;
            std::atomic<int> given{0};
            std::uint32_t canvasWidth() const override { return 8; }
            std::uint32_t canvasHeight() const override { return 8; }
            int frameCount() const override { return count; }
            Read next(AnimationFrame& frame) override
            {
                const int n = ++given;
                if (n == failAt)
                    return Read::Failed;
                if (n > count)
                    return Read::End;
                frame.pixels = allocZeroed<std::uint32_t>(64);
                std::fill_n(frame.pixels.get(), 64, 0xFF000000u | std::uint32_t(n) * 0x050301u);
                frame.width = frame.height = 8;
                frame.durationMs = 10 * n;
                return Read::Frame;
            }
        };
        Numbered source;
        source.count = count;
        source.failAt = failAt;
        AnimationSettings settings;
        settings.lossless = 1;
        int worstAhead = 0;
        const AnimationResult result = EncodeAnimation(source, settings, [&](int done, int) {
            worstAhead = std::max(worstAhead, source.given.load() - done);
        });
        QVERIFY2(worstAhead <= 3, qPrintable(QStringLiteral("read %1 frames ahead").arg(worstAhead)));
        if (failAt) {
            QCOMPARE(result.error, std::string("a frame could not be read"));
            QVERIFY(result.bytes.empty());
            QCOMPARE(source.given.load(), failAt); // nothing read past the failure
            return;
        }
        QCOMPARE(result.framesEncoded, count);
        const DecodedAnimation decoded = decodeAnimation(result.bytes);
        QCOMPARE(decoded.frames.size(), std::size_t(count));
        for (int i = 0; i < count; ++i) {
            QCOMPARE(decoded.frames[std::size_t(i)][0], 0xFF000000u | std::uint32_t(i + 1) * 0x050301u);
            QCOMPARE(decoded.durations[std::size_t(i)], 10 * (i + 1));
        }
    }

    void sourcesReportProgressAndStopOnCancel()
    {
        class Frames : public FrameSource {
        public:
            std::atomic<bool>* cancelAt2 = nullptr;
            int given = 0;
            std::uint32_t canvasWidth() const override { return 24; }
            std::uint32_t canvasHeight() const override { return 16; }
            int frameCount() const override { return 4; }
            Read next(AnimationFrame& frame) override
            {
                if (given == 4)
                    return Read::End;
                if (++given == 2 && cancelAt2)
                    *cancelAt2 = true;
                if (given == 3)
                    return Read::Skipped; // a frame that could not be read is left out
                frame = makeFrame(24, 16, given, false, 40);
                return Read::Frame;
            }
        };
        std::vector<std::pair<int, int>> calls;
        Frames all;
        const AnimationResult result = EncodeAnimation(all, {}, [&calls](int done, int total) {
            calls.emplace_back(done, total);
        });
        QCOMPARE(result.framesEncoded, 3);
        QCOMPARE(decodeAnimation(result.bytes).frames.size(), std::size_t(3));
        QCOMPARE(calls.back(), std::make_pair(4, 4));

        std::atomic<bool> cancel{false};
        Frames stopped;
        stopped.cancelAt2 = &cancel;
        const AnimationResult halted = EncodeAnimation(stopped, {}, {}, &cancel);
        QVERIFY(halted.cancelled);
        QVERIFY(halted.bytes.empty());
    }
};

QTEST_GUILESS_MAIN(TestAnimationAssembler)
#include "tst_animationassembler.moc"
