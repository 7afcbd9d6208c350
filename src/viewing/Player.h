#pragma once
// Playback of a sequence of frames, an animation's or an image directory's: the one clock request,
// which frame comes next, how many passes were played, and whether the clock's completions are taken.
// What a frame is and how it is shown is the caller's part.

#include "viewing/PlaybackClock.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quorvanta {

struct PlaybackState {
    std::int32_t currentFrame = 1;     // the frame the next tick shows, from 1
    std::int32_t loopsDone = 0;        // passes played since playback last stopped at the loop count
    std::int32_t frameCount = 0;
    std::int32_t frameDelay = 1000000; // microseconds the frame on show stays
    std::int32_t loopCount = 0;        // passes to play before stopping; 0 plays for ever
    bool inputHandlerAdded = false;    // the clock's completions are taken as ticks: playing
};

class Player {
public:
    using ClockFactory = std::function<std::unique_ptr<PlaybackClock>()>;
    using ShowFrame = std::function<void(std::int32_t frame)>;

    // Microseconds from set-up to the first request's completion.
    static constexpr std::int64_t kFirstRequest = 50000;

    explicit Player(PlaybackState& state) : state(state) {}
    ~Player() { cleanUp(); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // A clock of the caller's (a hand-driven one in tests), kept across set-up and clean-up. Given
    // while set up, it takes over at once.
    void setClock(std::unique_ptr<PlaybackClock> clock);
    PlaybackClock* clock() const { return playbackClock.get(); }

    // Makes a clock with `factory` unless one was given, reports each completion to `completed` and
    // sends the first request. Clean-up cancels the request and drops a clock that set-up made.
    void setUp(const ClockFactory& factory, std::function<void()> completed);
    void cleanUp();
    bool isSetUp() const { return setUpDone; }

    // Takes a completion of the clock: shows frame currentFrame with `show` (which may set frameDelay
    // to that frame's own duration), arms the next request from the tick's start, then moves on; the
    // end of a pass is counted, and at the loop count playback pauses. False for a stray wake-up
    // (no completion to take).
    bool tick(const ShowFrame& show);

    void pause() { state.inputHandlerAdded = false; }
    // Lets completions through; true when one is already waiting and should be taken at once. A
    // request still waiting is armed again with the frameDelay in force (see rearm), also when
    // playback runs already.
    bool play();

    // A new frameDelay takes effect for the frame on show: the request waiting for its end is armed
    // again from the deadline at which it was shown, with the new interval (and completes at once when
    // that time has passed). The first request after set-up, which no frame armed, is left alone.
    void rearm();

private:
    PlaybackState& state;
    std::unique_ptr<PlaybackClock> playbackClock;
    std::function<void()> onCompletion;
    bool clockMadeBySetup = false;
    bool setUpDone = false;
    bool frameArmed = false; // the request waiting was armed by a tick, for the frame on show
};

} // namespace quorvanta
