// Frames composed ahead: what the cache keeps and what it costs in decodes, how a frame asked for at
// the clock's deadline is answered when it is not ready (a worker held at a frame by a gate, so that
// nothing depends on timing), the layout frames come in, and a real animated WebP frame for frame.

#include "viewing/FramesAhead.h"
#include "viewing/WebPAnimationPlayback.h"

#include "AnimationDecode.h"
#include "WebPBuilder.h"

#include <QtTest>

#include <condition_variable>
#include <cstring>
#include <mutex>

using namespace quorvanta;

namespace {

// Frame n fills the canvas with one A,R,G,B value of its own; show() can be held at one frame until
// the test lets it go, and the file can turn out to end early.
class Painted final : public PlayableAnimation {
public:
    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        std::int32_t holdAt = 0; // show() of this frame waits until released
        bool holding = false;
        int shows = 0;
    };

    Painted(std::int32_t frames, std::shared_ptr<Shared> shared, std::uint8_t alpha = 0xFF)
        : frames(frames), alpha(alpha), shared(std::move(shared)) {}

    std::uint32_t canvasWidth() const override { return 4; }
    std::uint32_t canvasHeight() const override { return 2; }
    std::uint32_t loopCount() const override { return 0; }
    std::uint32_t backgroundColor() const override { return 0; }
    std::int32_t frameCount() const override { return frames; }
    std::int32_t frameDuration(std::int32_t number) const override { return 10 * number; }
    bool show(std::int32_t number, DisplayBuffer& canvas) override
    {
        {
            std::unique_lock lock(shared->lock);
            ++shared->shows;
            if (number == shared->holdAt) {
                shared->holding = true;
                shared->changed.notify_all();
                shared->changed.wait(lock, [this] { return shared->holdAt == 0; });
                shared->holding = false;
            }
        }
        if (number > endsAfter) {
            frames = endsAfter;
            return false;
        }
        if (number < 1 || number > frames)
            return false;
        ensureDisplayBuffer(canvas, 4, 2);
        for (std::uint64_t i = 0; i < canvas.size; i += 4) {
            const std::uint8_t pixel[4] = {alpha, std::uint8_t(number), 0x80, 0xFF};
            std::memcpy(canvas.data.get() + i, pixel, 4);
        }
        return true;
    }

    std::int32_t frames;
    std::int32_t endsAfter = 1 << 30;
    std::uint8_t alpha;
    std::shared_ptr<Shared> shared;
};

constexpr std::uint64_t kFrameBytes = 4 * 2 * 4;

std::uint32_t firstPixel(const ComposedFrame& frame)
{
    std::uint32_t word = 0;
    std::memcpy(&word, frame.pixels.data.get(), 4);
    return word;
}

// Stands for the picture object: holds the frame on show and gives the one before back, as it does.
struct OnShow {
    FramesAhead& ahead;
    ComposedFrame frame;

    // Asks for frame `n`; returns the answer, the frame (if any) now on show.
    FramesAhead::Answer show(std::int32_t n, bool clockRunning)
    {
        FramesAhead::Shown shown = ahead.frame(n, clockRunning);
        if (shown.frame) {
            if (frame)
                ahead.giveBack(std::move(frame));
            frame = std::move(shown.frame);
        }
        return shown.answer;
    }
};

// Holds the worker at `frame` and waits until it is there: every frame before it is kept by then.
void holdWorkerAt(Painted::Shared& shared, std::int32_t frame)
{
    std::unique_lock lock(shared.lock);
    shared.holdAt = frame;
}
void waitUntilHeld(Painted::Shared& shared)
{
    std::unique_lock lock(shared.lock);
    shared.changed.wait(lock, [&] { return shared.holding; });
}
void release(Painted::Shared& shared)
{
    std::lock_guard lock(shared.lock);
    shared.holdAt = 0;
    shared.changed.notify_all();
}

} // namespace

Q_DECLARE_METATYPE(FramesAhead::Threads)

class TestFramesAhead : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void premultipliesIntoNativeWords_data()
    {
        QTest::addColumn<QByteArray>("argb");
        QTest::addColumn<std::uint32_t>("expected");
        QTest::addColumn<bool>("opaque");
        QTest::newRow("opaque kept exact") << QByteArray("\xFF\x12\x34\x56", 4) << 0xFF123456u << true;
        QTest::newRow("transparent is zero") << QByteArray("\x00\xFF\xFF\xFF", 4) << 0u << false;
        QTest::newRow("half rounds to nearest") << QByteArray("\x80\xFF\x01\x81", 4) << 0x80800141u << false;
        QTest::newRow("one translucent pixel makes it not opaque")
            << QByteArray("\xFF\x00\x00\x00\xFE\x00\x00\x00", 8) << 0xFF000000u << false;
    }
    void premultipliesIntoNativeWords()
    {
        QFETCH(QByteArray, argb);
        QFETCH(std::uint32_t, expected);
        QFETCH(bool, opaque);
        std::vector<std::uint32_t> out(std::size_t(argb.size() / 4));
        QCOMPARE(premultiplyToNative(reinterpret_cast<const std::uint8_t*>(argb.constData()), out.data(), out.size()),
                 opaque);
        QCOMPARE(out[0], expected);
    }

    // Two passes of the animation: the second costs no decode when every frame fits the cache, and
    // one per frame when they do not; at least one frame is always kept.
    void laterPassesCostNoDecodeWhenFramesFit_data()
    {
        QTest::addColumn<FramesAhead::Threads>("threads");
        QTest::addColumn<int>("frames");
        QTest::addColumn<quint64>("cacheBytes");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<bool>("secondPassFree");
        QTest::newRow("inline, all fit") << FramesAhead::Threads::Inline << 6 << quint64(6 * kFrameBytes) << 6 << true;
        QTest::newRow("inline, half fit") << FramesAhead::Threads::Inline << 6 << quint64(3 * kFrameBytes) << 3 << false;
        QTest::newRow("inline, none fit: one kept") << FramesAhead::Threads::Inline << 6 << quint64(1) << 1 << false;
        QTest::newRow("worker, all fit") << FramesAhead::Threads::Worker << 6 << quint64(64 * kFrameBytes) << 64 << true;
        QTest::newRow("worker, half fit") << FramesAhead::Threads::Worker << 6 << quint64(3 * kFrameBytes) << 3 << false;
    }
    void laterPassesCostNoDecodeWhenFramesFit()
    {
        QFETCH(FramesAhead::Threads, threads);
        QFETCH(int, frames);
        QFETCH(quint64, cacheBytes);
        QFETCH(int, capacity);
        QFETCH(bool, secondPassFree);
        auto shared = std::make_shared<Painted::Shared>();
        FramesAhead ahead(std::make_unique<Painted>(frames, shared), threads, cacheBytes);
        QCOMPARE(ahead.capacity(), capacity);
        OnShow screen{ahead, {}};
        for (int pass = 0; pass < 2; ++pass)
            for (int n = 1; n <= frames; ++n) {
                screen.show(n, false);
                QVERIFY(screen.frame);
                QCOMPARE(screen.frame.number, n);
                QCOMPARE(firstPixel(screen.frame), 0xFF008000u | std::uint32_t(n) << 16 | 0xFF);
                QCOMPARE(screen.frame.duration, 10 * n);
                ahead.waitUntilIdle();
            }
        if (secondPassFree)
            QCOMPARE(int(ahead.composedCount()), frames);
        else
            QVERIFY(int(ahead.composedCount()) > frames + 1);
        QVERIFY(ahead.cachedFrames() <= capacity);
    }

    // The workers compose only a few frames after the one asked for, however large the cache (memory
    // at the start of an animation stays small), and those frames are then ready at their deadline;
    // frames shown stay, so the window running on round the loop finds them composed. A cache smaller
    // than the window bounds it.
    void workersFillAFewFramesAhead_data()
    {
        QTest::addColumn<quint64>("cacheBytes");
        QTest::addColumn<int>("firstFill");
        QTest::addColumn<int>("composedAfterALoop");
        QTest::newRow("large cache") << quint64(64 * kFrameBytes) << FramesAhead::kAhead + 1 << 10;
        QTest::newRow("cache of two frames") << quint64(2 * kFrameBytes) << 2 << 10;
    }
    void workersFillAFewFramesAhead()
    {
        QFETCH(quint64, cacheBytes);
        QFETCH(int, firstFill);
        QFETCH(int, composedAfterALoop);
        auto shared = std::make_shared<Painted::Shared>();
        FramesAhead ahead(std::make_unique<Painted>(10, shared), FramesAhead::Threads::Worker, cacheBytes);
        OnShow screen{ahead, {}};
        QCOMPARE(screen.show(1, true), FramesAhead::Answer::ComposedNow); // nothing on show yet
        ahead.waitUntilIdle();
        QCOMPARE(ahead.cachedFrames() + 1, firstFill); // the frame on show is the screen's
        QCOMPARE(int(ahead.composedCount()), firstFill);
        for (int n = 2; n <= 10; ++n) {
            QCOMPARE(screen.show(n, true), FramesAhead::Answer::Ready);
            ahead.waitUntilIdle();
        }
        QCOMPARE(int(ahead.composedCount()), composedAfterALoop);
        QVERIFY(ahead.cachedFrames() <= std::max(firstFill, ahead.capacity()));
    }

    // At the clock's deadline a frame not ready is never waited for: the newest frame composed since
    // the one on show stands in, or the frame on show stays, and the late frame is taken when it
    // comes. With no clock it is composed at once.
    void clockNeverWaitsForAFrame()
    {
        auto shared = std::make_shared<Painted::Shared>();
        holdWorkerAt(*shared, 3);
        FramesAhead ahead(std::make_unique<Painted>(8, shared), FramesAhead::Threads::Worker, 8 * kFrameBytes);
        std::mutex keptLock;
        QList<int> keptNumbers;
        ahead.onKept([&](std::int32_t n) {
            std::lock_guard lock(keptLock);
            keptNumbers.append(n);
        });
        OnShow screen{ahead, {}};
        QCOMPARE(screen.show(1, true), FramesAhead::Answer::ComposedNow);
        waitUntilHeld(*shared); // frame 2 is kept, the worker is at 3

        QCOMPARE(screen.show(4, true), FramesAhead::Answer::Earlier);
        QCOMPARE(screen.frame.number, 2);
        QCOMPARE(screen.show(5, true), FramesAhead::Answer::KeptOnShow);
        QCOMPARE(screen.frame.number, 2);
        QCOMPARE(ahead.frameIfKept(5).answer, FramesAhead::Answer::Missing); // never composed on the spot

        // The late frame is told of once kept, and then taken as it is.
        release(*shared);
        ahead.waitUntilIdle();
        {
            std::lock_guard lock(keptLock);
            QVERIFY(keptNumbers.contains(5));
        }
        FramesAhead::Shown late = ahead.frameIfKept(5);
        QCOMPARE(late.answer, FramesAhead::Answer::Ready);
        QCOMPARE(late.frame.number, 5);
        ahead.giveBack(std::move(screen.frame));
        screen.frame = std::move(late.frame);
        QCOMPARE(screen.show(6, true), FramesAhead::Answer::Ready);
        QCOMPARE(screen.show(99, true), FramesAhead::Answer::Missing);
        QCOMPARE(screen.frame.number, 6);
    }

    // A file that ends early says so through the frame count, and the frames past its end are missing.
    void frameCountFallsWhenTheFileEndsEarly_data()
    {
        QTest::addColumn<FramesAhead::Threads>("threads");
        QTest::newRow("inline") << FramesAhead::Threads::Inline;
        QTest::newRow("worker") << FramesAhead::Threads::Worker;
    }
    void frameCountFallsWhenTheFileEndsEarly()
    {
        QFETCH(FramesAhead::Threads, threads);
        auto shared = std::make_shared<Painted::Shared>();
        auto painted = std::make_unique<Painted>(6, shared);
        painted->endsAfter = 3;
        FramesAhead ahead(std::move(painted), threads, 6 * kFrameBytes);
        QVERIFY(ahead.frame(1, false).frame);
        ahead.waitUntilIdle();
        QVERIFY(ahead.frame(2, false).frame);
        QVERIFY(ahead.frame(3, false).frame);
        ahead.frame(4, false);
        ahead.waitUntilIdle();
        QCOMPARE(ahead.frameCount(), 3);
        QCOMPARE(ahead.frame(4, false).answer, FramesAhead::Answer::Missing);
        QCOMPARE(ahead.frameDuration(4), 0);
    }

    // Translucent frames come premultiplied; opaque ones say so, so that they are drawn opaque.
    void layoutOfComposedFrames()
    {
        auto shared = std::make_shared<Painted::Shared>();
        FramesAhead translucent(std::make_unique<Painted>(2, shared, 0x80), FramesAhead::Threads::Inline);
        const auto frame = translucent.frame(2, false).frame;
        QVERIFY(frame && !frame.opaque);
        QCOMPARE(firstPixel(frame), 0x80014080u);
        FramesAhead opaque(std::make_unique<Painted>(2, shared), FramesAhead::Threads::Inline);
        QVERIFY(opaque.frame(2, false).frame.opaque);
    }

    // A canvas kept reduced: each pixel the premultiplied average of its block; a factor that would
    // leave no row or column keeps the canvas whole.
    void reducedFrames_data()
    {
        QTest::addColumn<quint32>("factor");
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::newRow("halved") << 2u << 2u << 1u;
        QTest::newRow("a third would leave no row: whole") << 3u << 4u << 2u;
        QTest::newRow("larger than the canvas: whole") << 5u << 4u << 2u;
    }
    void reducedFrames()
    {
        QFETCH(quint32, factor);
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        auto shared = std::make_shared<Painted::Shared>();
        FramesAhead ahead(std::make_unique<Painted>(2, shared, 0x80), FramesAhead::Threads::Inline,
                          FramesAhead::defaultCacheBytes(), factor);
        QCOMPARE(ahead.frameWidth(), width);
        QCOMPARE(ahead.frameHeight(), height);
        const auto frame = ahead.frame(2, false).frame;
        QVERIFY(frame);
        QCOMPARE(frame.pixels.size, quint64(width) * height * 4);
        QCOMPARE(firstPixel(frame), 0x80014080u); // a flat frame averages to itself
    }

    // Native words reduced: each channel of a block averaged and rounded, the columns and rows that
    // make no whole block left out.
    void reducesNativeWords_data()
    {
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::addColumn<QList<quint32>>("in");
        QTest::addColumn<QList<quint32>>("expected");
        QTest::newRow("opaque block") << 2u << 2u << QList<quint32>{0xFF000000, 0xFF030303, 0xFF000000, 0xFF000000}
                                      << QList<quint32>{0xFF010101};
        QTest::newRow("premultiplied, half transparent")
            << 2u << 2u << QList<quint32>{0xFFFFFFFF, 0, 0, 0xFFFFFFFF} << QList<quint32>{0x80808080};
        QTest::newRow("odd column left out") << 3u << 2u
                                             << QList<quint32>{0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFF000000,
                                                               0xFF000000, 0xFFFFFFFF}
                                             << QList<quint32>{0xFF000000};
    }
    void reducesNativeWords()
    {
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        QFETCH(QList<quint32>, in);
        QFETCH(QList<quint32>, expected);
        QList<quint32> out(expected.size(), 0xDEADBEEF);
        reduceNative(in.constData(), width, height, 2, out.data());
        QCOMPARE(out, expected);
    }

    void reducesWithAlphaWeighting()
    {
        // One opaque white pixel and one transparent: half-transparent premultiplied white.
        const std::uint8_t argb[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
        std::uint32_t out = 0;
        std::uint8_t block[16] = {};
        std::memcpy(block, argb, 8);
        std::memcpy(block + 8, argb, 8);
        QVERIFY(!reduceToNative(block, 2, 2, 2, &out));
        QCOMPARE(out, 0x80808080u);
    }

    // Ended while the worker composes: it stops, nothing leaks (ASan), and nothing hangs.
    void endsWhileTheWorkerComposes()
    {
        auto shared = std::make_shared<Painted::Shared>();
        for (int round = 0; round < 20; ++round) {
            FramesAhead ahead(std::make_unique<Painted>(1000, shared), FramesAhead::Threads::Worker,
                              1000 * kFrameBytes);
            ahead.frame(1, false);
        }
    }

    // A real animated WebP, blended frames over a partly transparent canvas, between frames that cover
    // it whole (one opaque, one with alpha not blended), which are decoded apart from the canvas: every
    // frame composed ahead matches libwebp's own animation decoder, premultiplied, and a frame drawn on
    // the canvas after one decoded apart builds on it.
    void realAnimationMatchesLibwebp()
    {
        using webpbuild::MuxFrame;
        std::vector<MuxFrame> parts;
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t colour = 0x40102030u + 0x00201008u * std::uint32_t(i);
            if (i == 2 || i == 5)
                parts.push_back({webpbuild::losslessFile(24, 16, colour | 0xFF000000u, i == 5), 0, 0, 20, false, false});
            else
                parts.push_back({webpbuild::losslessFile(8 + i, 6, colour, true), 2 * (i % 3), 2 * (i % 2), 20,
                                 i == 3, i % 2 == 0});
        }
        const QByteArray file = webpbuild::muxAnimation(parts, 24, 16, 0, 0x00000000);
        QVERIFY(!file.isEmpty());
        const std::vector<std::uint8_t> fileBytes(file.begin(), file.end());
        const auto reference = testsupport::decodeAnimation(fileBytes);
        QVERIFY(reference.ok);

        std::shared_ptr<std::uint8_t[]> bytes(new std::uint8_t[fileBytes.size()]);
        std::memcpy(bytes.get(), fileBytes.data(), fileBytes.size());
        auto opened = WebPAnimationPlayback::open(bytes, fileBytes.size());
        QVERIFY(opened);
        FramesAhead ahead(std::move(opened).value(), FramesAhead::Threads::Worker);
        OnShow screen{ahead, {}};
        for (int pass = 0; pass < 2; ++pass)
            for (int n = 1; n <= ahead.frameCount(); ++n) {
                screen.show(n, false);
                QVERIFY(screen.frame);
                QCOMPARE(screen.frame.opaque, n == 3);
                const auto* ours = reinterpret_cast<const std::uint32_t*>(screen.frame.pixels.data.get());
                const auto& theirs = reference.frames[std::size_t(n - 1)];
                for (std::size_t i = 0; i < theirs.size(); ++i) {
                    const std::uint32_t a = theirs[i] >> 24;
                    bool near = (ours[i] >> 24) == a;
                    for (int shift = 0; shift < 24; shift += 8) {
                        const int expected = int((((theirs[i] >> shift) & 0xFF) * a + 127) / 255);
                        near = near && std::abs(int((ours[i] >> shift) & 0xFF) - expected) <= 1; // the decoder premultiplies too
                    }
                    if (!near)
                        QFAIL(qPrintable(QStringLiteral("frame %1 pixel %2: %3, libwebp %4")
                                             .arg(n).arg(i).arg(ours[i], 8, 16).arg(theirs[i], 8, 16)));
                }
                ahead.waitUntilIdle();
            }
        QCOMPARE(int(ahead.composedCount()), 8);

        // Kept halved: every frame, whether it stands alone or is drawn on the canvas, is the whole
        // frame halved.
        auto reopened = WebPAnimationPlayback::open(bytes, fileBytes.size());
        QVERIFY(reopened);
        FramesAhead halved(std::move(reopened).value(), FramesAhead::Threads::Worker, FramesAhead::defaultCacheBytes(), 2);
        for (int n = 1; n <= halved.frameCount(); ++n) {
            const ComposedFrame whole = ahead.frame(n, false).frame;
            const ComposedFrame half = halved.frame(n, false).frame;
            QVERIFY(whole && half);
            QList<quint32> expected(12 * 8);
            reduceNative(reinterpret_cast<const std::uint32_t*>(whole.pixels.data.get()), 24, 16, 2, expected.data());
            const auto* ours = reinterpret_cast<const std::uint32_t*>(half.pixels.data.get());
            for (qsizetype i = 0; i < expected.size(); ++i)
                for (int shift = 0; shift < 32; shift += 8) // halved before or after premultiplying
                    QVERIFY2(std::abs(int((ours[i] >> shift) & 0xFF) - int((expected[i] >> shift) & 0xFF)) <= 2,
                             qPrintable(QStringLiteral("frame %1 pixel %2").arg(n).arg(i)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFramesAhead)
#include "tst_framesahead.moc"
