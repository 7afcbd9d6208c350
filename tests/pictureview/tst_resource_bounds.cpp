// Memory and file descriptors stay flat however long the program runs: an animation and an image
// directory played for many passes through the clock, and two hundred files opened one after another.
// The heap in use must not grow from pass to pass; resident memory is reported and, outside the
// sanitizer build (which holds freed memory back on purpose), bounded generously.

#include "ViewingFixtures.h"
#include "WebPBuilder.h"

#include "viewing/PlaybackClock.h"

#include <QDir>
#include <QtTest>

using namespace quorvanta;
using namespace viewingtest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif

constexpr qint64 kMiB = qint64(1) << 20;
// Allowed growth of the heap in use between the first measured pass and the last: a little for
// allocator bookkeeping, far less than one pass's worth of pictures.
constexpr qint64 kHeapSlack = kMiB / 2;
constexpr qint64 kResidentSlack = 32 * kMiB;

struct Usage {
    qint64 heap = testsupport::heapBytesInUse();
    qint64 resident = testsupport::residentBytes();
    int descriptors = testsupport::openDescriptors();
};

// Reports the growth from `before` to now and checks it against the bounds.
void checkFlat(const char* what, const Usage& before)
{
    const Usage after;
    qInfo("%s: heap in use %+lld KiB (now %lld KiB), resident %+lld KiB (now %lld MiB), descriptors %d -> %d", what,
          (after.heap - before.heap) / 1024, after.heap / 1024, (after.resident - before.resident) / 1024,
          after.resident / kMiB, before.descriptors, after.descriptors);
    QVERIFY2(after.heap - before.heap < kHeapSlack, "the heap in use grew");
    if (!kSanitizerBuild)
        QVERIFY2(after.resident - before.resident < kResidentSlack, "resident memory grew");
    // A descriptor left open is the fault; one that a runtime held for a moment when `before` was
    // taken and has closed since is not (the sanitizer build has shown 10 -> 9).
    QVERIFY2(after.descriptors <= before.descriptors, "a file descriptor stayed open");
}

// A picture object driven by a hand-made clock.
struct Playing {
    Window window;
    PictureView view;
    ManualPlaybackClock* clock = nullptr;

    Playing()
    {
        window.attach(view);
        clock = useManualClock(view);
    }
    // Lets the clock run until `passes` more passes over the frames have been played.
    void play(int passes)
    {
        const int target = view.state().loopsDone + passes;
        while (view.state().loopsDone < target)
            clock->advance(std::max<qint64>(view.state().frameDelay, 100000));
    }
};

} // namespace

class TestResourceBounds : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString path(const QString& name) const { return scratch.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(scratch.isValid()); }

    // 120 blended frames of 64 x 64 with no key frame after the first, played 40 times endlessly looped.
    void longAnimationManyPasses()
    {
        std::vector<webpbuild::MuxFrame> frames;
        for (int i = 0; i < 120; ++i)
            frames.push_back({webpbuild::losslessFile(32, 32, 0x80000000u | std::uint32_t(i * 0x020406), true),
                              (i % 2) * 32, (i / 2 % 2) * 32, 20, i % 5 == 0, true});
        QVERIFY(testsupport::writeAll(path("long.webp"), webpbuild::muxAnimation(frames, 64, 64, 0)));
        Playing player;
        player.view.send(MethodId::Load, testsupport::bytesOf(path("long.webp")));
        QCOMPARE(player.view.state().frameCount, 120);
        player.play(3);
        const Usage before;
        player.play(40);
        QCOMPARE(player.view.state().mode, Mode::Animated);
        checkFlat("animation, 40 passes of 120 frames", before);
    }

    // An image directory of 12 pictures played 20 times: each frame is imported anew (and the next one
    // ahead of its tick), and each import's memory must go again.
    void directoryManyPasses()
    {
        const QString dir = path(QStringLiteral("frames"));
        QVERIFY(QDir().mkdir(dir));
        for (int i = 0; i < 12; ++i)
            QVERIFY(makePicture(48, 40, quint32(i), i % 2).save(dir + QStringLiteral("/f%1.png").arg(i)));
        Playing player;
        player.view.send(MethodId::LoadDirectory, testsupport::bytesOf(dir));
        QCOMPARE(player.view.state().frameCount, 12);
        player.play(2);
        const Usage before;
        player.play(20);
        QCOMPARE(player.view.state().mode, Mode::Directory);
        checkFlat("directory, 20 passes of 12 pictures", before);
    }

    // Two hundred loads in a row through every kind of file: stills, animations, imported pictures and
    // refusals. No descriptor stays open and memory stays where it was.
    void twoHundredFilesInARow()
    {
        QVERIFY(testsupport::writeAll(path("still.webp"), webpbuild::losslessFile(200, 150, 0xFF336699, true)));
        std::vector<webpbuild::MuxFrame> frames;
        for (int i = 0; i < 5; ++i)
            frames.push_back({webpbuild::losslessFile(100, 80, 0xFF000000u | std::uint32_t(i * 0x304050)), 0, 0, 40});
        QVERIFY(testsupport::writeAll(path("anim.webp"), webpbuild::muxAnimation(frames, 100, 80)));
        QVERIFY(makePicture(160, 120, 9, true).save(path("picture.png")));
        QVERIFY(testsupport::writeAll(path("broken.webp"), webpbuild::losslessFile(64, 64, 0xFF00FF00).left(40)));
        QVERIFY(testsupport::writeAll(path("text.webp"), "not a picture"));
        const QStringList files{path("still.webp"), path("anim.webp"), path("picture.png"), path("broken.webp"),
                                path("text.webp"), path("missing.webp")};

        Window window;
        PictureView view;
        window.attach(view);
        const auto loadAll = [&](int count) {
            const StdoutCapture quiet; // the refusals print their message
            for (int i = 0; i < count; ++i)
                view.send(MethodId::Load, testsupport::bytesOf(files[i % files.size()]));
        };
        loadAll(int(files.size())); // every kind once, so that first-use set-up is not counted
        const Usage before;
        loadAll(200);
        checkFlat("200 files in a row", before);
    }
};

QTEST_MAIN(TestResourceBounds)
#include "tst_resource_bounds.moc"
