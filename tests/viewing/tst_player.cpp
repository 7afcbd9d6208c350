// The player on its own, with a clock driven by hand: deadlines, passes and the loop count, pause and
// play around a completion, and who owns the clock.

#include "viewing/Player.h"

#include <QtTest>

#include <vector>

using namespace quorvanta;

namespace {

// Plays `frames` frames of `delayMs` each and records what each tick shows.
struct Playback {
    PlaybackState state;
    Player player{state};
    ManualPlaybackClock* clock = nullptr;
    std::vector<int> shown;
    int completions = 0;

    explicit Playback(int frames, int delayMs = 100, int loops = 0)
    {
        auto manual = std::make_unique<ManualPlaybackClock>();
        clock = manual.get();
        player.setClock(std::move(manual));
        player.setUp({}, [this] {
            ++completions;
            if (state.inputHandlerAdded)
                tick();
        });
        state.frameCount = frames;
        state.frameDelay = delayMs * 1000;
        state.loopCount = loops;
    }
    bool tick()
    {
        return player.tick([this](std::int32_t frame) { shown.push_back(frame); });
    }
};

} // namespace

class TestPlayer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clockDeadlines()
    {
        ManualPlaybackClock clock;
        int completions = 0;
        clock.setCompletionHandler([&] { ++completions; });
        QVERIFY(clock.arm(100000));
        QVERIFY(!clock.arm(5000)); // one request at most
        clock.advance(99999);
        QCOMPARE(completions, 0);
        clock.advance(1);
        QCOMPARE(completions, 1);
        QVERIFY(!clock.arm(100000)); // completed but not taken: still outstanding
        clock.advance(3000);
        QVERIFY(clock.takeCompletion());
        QVERIFY(!clock.takeCompletion());
        QVERIFY(clock.arm(100000));
        QCOMPARE(clock.deadline(), 200000); // from the deadline, not from the late tick
        clock.completeLate(60000);          // more than half an interval late: a new schedule
        QVERIFY(clock.takeCompletion());
        QVERIFY(clock.arm(100000));
        QCOMPARE(clock.deadline(), 360000);
        clock.cancel();
        clock.advance(1000000);
        QCOMPARE(completions, 2);
        QVERIFY(!clock.hasCompleted());
    }

    // Two passes over three frames, then a stop at frame 1 with the passes counted afresh.
    void loopCountStopsPlayback()
    {
        Playback p(3, 100, 2);
        QVERIFY(!p.player.play());
        p.clock->advance(Player::kFirstRequest + 10 * 100000);
        QCOMPARE(p.shown, (std::vector<int>{1, 2, 3, 1, 2, 3}));
        QVERIFY(!p.state.inputHandlerAdded);
        QCOMPARE(p.state.currentFrame, 1);
        QCOMPARE(p.state.loopsDone, 0);
        // The request armed by the last tick completes while stopped and waits for Play.
        QVERIFY(p.clock->hasCompleted());
        QVERIFY(p.player.play());
        QVERIFY(p.tick());
        QCOMPARE(p.shown.back(), 1);
    }

    // Frames of 10 ms or less are shown for 100 ms; the next request counts from the tick's start.
    void shortFramesAndTheSchedule()
    {
        Playback p(2, 0);
        QVERIFY(!p.player.play());
        p.clock->advance(Player::kFirstRequest);
        QCOMPARE(p.shown, std::vector<int>{1});
        QCOMPARE(p.clock->lastInterval(), 100000);
        QCOMPARE(p.clock->deadline(), Player::kFirstRequest + 100000);
    }

    // A completion while paused is not taken; a stray tick with nothing completed does nothing.
    void pausedCompletionWaits()
    {
        Playback p(4);
        p.player.play();
        p.clock->advance(Player::kFirstRequest + 100000);
        QCOMPARE(p.shown, (std::vector<int>{1, 2}));
        p.player.pause();
        p.clock->advance(1000000);
        QCOMPARE(p.shown.size(), std::size_t(2));
        QVERIFY(p.player.play()); // a completion waits
        QVERIFY(p.tick());
        QCOMPARE(p.shown.back(), 3);
        QVERIFY(!p.tick()); // the next request is still pending
        QCOMPARE(p.shown.size(), std::size_t(3));
    }

    // A frame armed with a long delay is armed again when the delay changes: from the deadline at
    // which it was shown, at once when that time has passed. Play re-arms, also while playing; the
    // set-up's first request is left alone.
    void rearmTakesTheNewDelay()
    {
        Playback p(3, 100);
        p.state.frameDelay = 60 * 1000 * 1000;
        p.player.play();
        p.player.rearm();
        QCOMPARE(p.clock->deadline(), Player::kFirstRequest);
        p.clock->advance(Player::kFirstRequest);
        QCOMPARE(p.shown, std::vector<int>{1});
        QCOMPARE(p.clock->deadline(), Player::kFirstRequest + 60000000);

        p.state.frameDelay = 500000;
        p.player.play(); // already playing
        QCOMPARE(p.clock->deadline(), Player::kFirstRequest + 500000);
        p.player.pause();
        p.state.frameDelay = 200000;
        QVERIFY(!p.player.play());
        QCOMPARE(p.clock->deadline(), Player::kFirstRequest + 200000);

        p.state.frameDelay = 60 * 1000 * 1000;
        p.clock->advance(p.clock->deadline() - p.clock->now()); // this tick arms a minute
        const std::int64_t shownAt = p.clock->now();
        p.clock->advance(3000000);
        p.state.frameDelay = 1000000;
        p.player.rearm(); // three seconds on show already: due now
        QCOMPARE(p.clock->deadline(), shownAt + 1000000);
        const std::size_t before = p.shown.size();
        p.clock->advance(0);
        QCOMPARE(p.shown.size(), before + 1);
        // The next frames keep to the new delay, counted from this late tick.
        QCOMPARE(p.clock->deadline(), p.clock->now() + 1000000);
    }

    // A clock given by the caller survives clean-up; one made by set-up does not.
    void clockOwnership()
    {
        PlaybackState state;
        Player player(state);
        int made = 0;
        const Player::ClockFactory factory = [&made] {
            ++made;
            return std::make_unique<ManualPlaybackClock>();
        };
        player.setUp(factory, [] {});
        QCOMPARE(made, 1);
        QVERIFY(player.clock() && player.clock()->isPending());
        state.inputHandlerAdded = true;
        player.cleanUp();
        QVERIFY(!player.clock());
        QVERIFY(!state.inputHandlerAdded);

        auto given = std::make_unique<ManualPlaybackClock>();
        PlaybackClock* kept = given.get();
        player.setClock(std::move(given));
        player.setUp(factory, [] {});
        QCOMPARE(made, 1);
        player.cleanUp();
        QCOMPARE(player.clock(), kept);
        QVERIFY(!kept->isPending());
    }
};

QTEST_GUILESS_MAIN(TestPlayer)
#include "tst_player.moc"
