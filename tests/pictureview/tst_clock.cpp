// The playback clock, driven by hand: loop counting, pause and play, the slider, the duration field,
// each frame's time on screen, absolute deadlines, set-up and clean-up.

#include "ViewingFixtures.h"

#include "TestDoubles.h"
#include "viewing/PlaybackClock.h"

#include <QtTest>

#include <limits>

using namespace quorvanta;
using namespace viewingtest;

namespace {

// The settings of these suites: frames of 250 ms from the duration field.
FixedSettings clockSettings()
{
    FixedSettings settings;
    settings.durationText = QStringLiteral("250");
    return settings;
}

// A picture object in a stand-in window with a hand-driven clock, recording each frame it shows and
// the clock's time when it did.
struct Playing {
    Window window;
    PictureView view;
    ManualPlaybackClock* clock = nullptr;
    QList<int> shown; // frames of an animation
    QList<qint64> shownAt;
    QList<int> dirFrames; // frames of an image directory
    QList<qint64> dirFramesAt;

    Playing()
    {
        window.attach(view);
        clock = useManualClock(view);
        QObject::connect(&view, &PictureView::methodReceived, &view, [this](MethodId id, std::int32_t value) {
            if (id == MethodId::ShowAnimFrame) {
                shown.append(value);
                shownAt.append(clock->now());
            } else if (id == MethodId::ShowDirFrame) {
                dirFrames.append(value);
                dirFramesAt.append(clock->now());
            }
        });
    }
    const InstanceData& d() const { return view.state(); }
    void clear()
    {
        shown.clear();
        shownAt.clear();
        dirFrames.clear();
        dirFramesAt.clear();
    }
    // Runs the queued tick that Play sends when a completion is waiting.
    static void runEventLoop() { QCoreApplication::sendPostedEvents(); }
};

QList<int> frames(int from, int to, int passes = 1)
{
    QList<int> out;
    for (int p = 0; p < passes; ++p)
        for (int f = from; f <= to; ++f)
            out.append(f);
    return out;
}

} // namespace

class TestClock : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    const QList<int> durations{40, 0, 120, 10, 250, 70};

    // Six 8x8 frames with the durations above and the given loop count.
    QString animation(int loops)
    {
        const QString file = scratch.filePath(QStringLiteral("loop%1.webp").arg(loops));
        if (QFileInfo::exists(file))
            return file;
        QStringList args;
        for (int i = 0; i < durations.size(); ++i) {
            const QString frame = QStringLiteral("f%1.webp").arg(i);
            if (!QFileInfo::exists(scratch.filePath(frame)) &&
                !makeWebP(scratch.path(), frame, makePicture(8, 8, quint32(i), false), {"-lossless"}))
                return {};
            args << "-frame" << scratch.filePath(frame) << QStringLiteral("+%1").arg(durations[i]);
        }
        args << "-loop" << QString::number(loops) << "-o" << file;
        return testsupport::run("webpmux", args) ? file : QString();
    }

    // A directory of three small pictures, made once.
    QString threePictures()
    {
        const QString dir = scratch.filePath(QStringLiteral("three"));
        if (!QFileInfo::exists(dir) && QDir().mkdir(dir))
            for (int i = 1; i <= 3; ++i)
                makePicture(6, 4, quint32(i), false).save(dir + QStringLiteral("/p%1.png").arg(i));
        return dir;
    }

    // The interval a frame of `ms` milliseconds is armed with.
    static qint64 interval(int ms) { return ms <= 10 ? 100000 : qint64(ms) * 1000; }
    qint64 passLength() const
    {
        qint64 total = 0;
        for (int ms : durations)
            total += interval(ms);
        return total;
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("cwebp");
        REQUIRE_TOOL("webpmux");
        QVERIFY(scratch.isValid());
    }

    // Loop count 3: three passes over the frames, then a stop at frame 1 with no passes counted; a later
    // Play counts three fresh passes. Loop count 0 plays on.
    void loopCounting()
    {
        Playing p;
        p.view.send(MethodId::Load, testsupport::bytesOf(animation(3)));
        QCOMPARE(p.shown, QList<int>{1}); // shown by the loader
        QVERIFY(p.d().inputHandlerAdded);
        p.clear();
        p.clock->advance(50000 + 10 * passLength());
        QCOMPARE(p.shown, frames(1, 6, 3));
        QVERIFY(!p.d().inputHandlerAdded);
        QCOMPARE(p.d().currentFrame, 1);
        QCOMPARE(p.d().loopsDone, 0);

        p.clear();
        p.view.send(MethodId::Play);
        QVERIFY(p.shown.isEmpty()); // the waiting completion is taken from the event loop, not inside Play
        Playing::runEventLoop();
        p.clock->advance(10 * passLength());
        QCOMPARE(p.shown, frames(1, 6, 3));
        QVERIFY(!p.d().inputHandlerAdded);

        Playing endless;
        endless.view.send(MethodId::Load, testsupport::bytesOf(animation(0)));
        endless.clear();
        endless.clock->advance(50000 + 5 * passLength() - 1);
        QCOMPARE(endless.shown, frames(1, 6, 5));
        QCOMPARE(endless.d().loopsDone, 5);
        QVERIFY(endless.d().inputHandlerAdded);
    }

    // Each frame stays on screen for its own duration (10 ms or less counts as 100 ms), on deadlines
    // that do not drift when ticks come late.
    void frameTimes()
    {
        Playing p;
        p.view.send(MethodId::Load, testsupport::bytesOf(animation(0)));
        p.clear();
        p.clock->advance(50000 + 2 * passLength() - 1);
        QCOMPARE(p.shown.size(), 2 * durations.size());
        for (int i = 0; i + 1 < p.shown.size(); ++i)
            QCOMPARE(p.shownAt[i + 1] - p.shownAt[i], interval(durations[p.shown[i] - 1]));

        // A tick 3 ms late: the next one still comes on the schedule.
        const qint64 scheduled = p.clock->deadline();
        p.clock->completeLate(3000);
        QCOMPARE(p.clock->deadline(), scheduled + p.clock->lastInterval());
    }

    // Pause in the middle of a pass, a completion arrives while paused, Play goes on at the frame after
    // the last shown and the passes already counted still count.
    void pauseAndPlay()
    {
        Playing p;
        p.view.send(MethodId::Load, testsupport::bytesOf(animation(3)));
        p.clear();
        p.clock->advance(50000 + passLength() + 40000 + 100000); // one pass, then frames 1, 2, 3
        QCOMPARE(p.shown, frames(1, 6) + frames(1, 3));
        p.view.send(MethodId::Pause);
        p.view.send(MethodId::Pause);
        p.clear();
        p.clock->advance(5000000);
        QVERIFY(p.shown.isEmpty());
        QVERIFY(p.clock->hasCompleted());
        p.view.send(MethodId::Play);
        p.view.send(MethodId::Play);
        Playing::runEventLoop();
        QCOMPARE(p.shown, QList<int>{4});
        QCOMPARE(p.d().loopsDone, 1);
        p.clock->advance(10 * passLength());
        QCOMPARE(p.shown, QList<int>{4} + frames(5, 6) + frames(1, 6)); // the second pass ends, one more
        QVERIFY(!p.d().inputHandlerAdded);
    }

    // The slider shows frame n at once; the next tick shows n again, then n + 1. The clock moves the
    // slider without its notification.
    void sliderAndTicks()
    {
        Playing p;
        p.view.send(MethodId::Load, testsupport::bytesOf(animation(0)));
        p.clock->advance(50000 + 40000);
        p.clear();
        p.window.sliderSignals = 0;
        p.view.send(MethodId::GotoFrame, 5);
        QCOMPARE(p.shown, QList<int>{5});
        QCOMPARE(p.d().currentFrame, 5);
        p.clock->advance(p.clock->deadline() - p.clock->now());
        p.clock->advance(250000);
        QCOMPARE(p.shown, (QList<int>{5, 5, 6}));
        QCOMPARE(p.window.slider->value(), 6);
        QCOMPARE(p.window.sliderSignals, 0);

        // A stray tick while the request is pending does nothing.
        p.view.send(MethodId::Tick);
        QCOMPARE(p.shown.size(), 3);
        QCOMPARE(p.d().currentFrame, 1);
    }

    // The duration field sets the interval of playback that does not come from a WebP file (and is
    // bounded like frame durations); in WebP playback the next frame's duration replaces it.
    void durationField()
    {
        Playing p;
        p.view.send(MethodId::SetDelay, std::string(" 250"));
        QCOMPARE(p.d().frameDelay, 250000);
        p.view.send(MethodId::Play);
        p.clock->advance(50000);
        QCOMPARE(p.clock->lastInterval(), 250000);
        p.view.send(MethodId::SetDelay, std::string("-4"));
        QCOMPARE(p.d().frameDelay, -4000);
        p.clock->advance(250000);
        QCOMPARE(p.clock->lastInterval(), 100000);
        // Nothing to show (no frames): every tick wraps and counts a pass.
        QVERIFY(p.shown.isEmpty());
        QCOMPARE(p.d().loopsDone, 2);

        p.view.send(MethodId::Load, testsupport::bytesOf(animation(0)));
        p.view.send(MethodId::SetDelay, std::string("999"));
        p.clock->advance(p.clock->deadline() - p.clock->now());
        QCOMPARE(p.d().frameDelay, 40000);
        QCOMPARE(p.clock->lastInterval(), 40000);
    }

    // An image directory plays without end at the duration field's interval, one picture a tick, in
    // the directory's order; a new duration text applies to the frame on show already.
    void directoryPlayback()
    {
        FixedSettings settings = clockSettings();
        Playing p;
        p.view.setSettings(&settings);
        p.view.send(MethodId::LoadDirectory, testsupport::bytesOf(threePictures()));
        QCOMPARE(p.d().mode, Mode::Directory);
        QCOMPARE(p.d().frameCount, 3);
        QVERIFY(p.d().inputHandlerAdded);
        p.clear();
        QList<int>& dirFrames = p.dirFrames;
        QList<qint64>& dirFramesAt = p.dirFramesAt;
        p.clock->advance(7 * 250000);
        QVERIFY(dirFrames.size() >= 6);
        for (int i = 1; i < dirFrames.size(); ++i) {
            QCOMPARE(dirFrames[i], dirFrames[i - 1] % 3 + 1);
            QCOMPARE(dirFramesAt[i] - dirFramesAt[i - 1], qint64(250000));
        }
        QCOMPARE(p.window.slider->value(), dirFrames.last());
        QCOMPARE(p.window.sliderSignals, 0);

        // The frame on show has been there longer than 40 ms: the next one comes at once, and the
        // others 40 ms apart.
        settings.durationText = QStringLiteral("40");
        p.view.send(MethodId::SetDelay, std::string("40"));
        dirFramesAt.clear();
        p.clock->advance(0);
        QCOMPARE(dirFramesAt, QList<qint64>{p.clock->now()});
        p.clock->advance(400000);
        QCOMPARE(dirFramesAt.size(), 11);
        for (int i = 1; i < dirFramesAt.size(); ++i)
            QCOMPARE(dirFramesAt[i] - dirFramesAt[i - 1], qint64(40000));
    }

    // "99999999999" in the duration field, then "500": the frame on show leaves 500 ms after it came,
    // not after the 35 minutes the first text asked for; the same when paused in between.
    void longDurationThenShort()
    {
        FixedSettings settings = clockSettings();
        Playing p;
        p.view.setSettings(&settings);
        p.view.send(MethodId::LoadDirectory, testsupport::bytesOf(threePictures()));
        p.clock->advance(50000); // the first tick shows frame 1 at 50 ms
        p.clear();
        QList<int>& dirFrames = p.dirFrames;
        QList<qint64>& dirFramesAt = p.dirFramesAt;

        p.view.send(MethodId::SetDelay, std::string("99999999999"));
        QCOMPARE(p.clock->deadline(), 50000 + qint64(std::numeric_limits<std::int32_t>::max()));
        p.clock->advance(100000);
        p.view.send(MethodId::SetDelay, std::string("500"));
        p.clock->advance(1000000);
        QCOMPARE(dirFrames, (QList<int>{2, 3}));
        QCOMPARE(dirFramesAt, (QList<qint64>{550000, 1050000}));

        p.view.send(MethodId::Pause);
        p.view.send(MethodId::SetDelay, std::string("99999999999"));
        p.view.send(MethodId::SetDelay, std::string("500"));
        p.view.send(MethodId::Play);
        dirFramesAt.clear();
        p.clock->advance(500000);
        QCOMPARE(dirFramesAt, QList<qint64>{1550000});
        QCOMPARE(p.clock->lastInterval(), 500000);
    }

    // Set-up makes the clock and reads the duration field; clean-up stops playback and releases the
    // clock it made; after a new set-up playback stays stopped.
    void setupAndCleanup()
    {
        FixedSettings settings = clockSettings();
        Window window;
        {
            PictureView view;
            window.attach(view);
            view.setSettings(&settings);
            QVERIFY(!view.clock());
            view.show();
            QVERIFY(view.clock());
            QVERIFY(view.clock()->isPending());
            QCOMPARE(view.state().frameDelay, 250000);
            view.send(MethodId::Play);
            view.hide();
            QVERIFY(!view.clock());
            QVERIFY(!view.state().inputHandlerAdded);
            view.show();
            QVERIFY(!view.state().inputHandlerAdded);
        }
        Playing p;
        p.view.send(MethodId::Load, testsupport::bytesOf(animation(0)));
        p.view.send(MethodId::Cleanup);
        QVERIFY(p.view.clock() == p.clock); // a clock given from outside is kept
        QVERIFY(!p.clock->isPending());
        QVERIFY(!p.d().inputHandlerAdded);
        p.view.send(MethodId::Setup);
        p.clear();
        p.clock->advance(10000000);
        QVERIFY(p.shown.isEmpty());
        QVERIFY(p.clock->hasCompleted());
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
