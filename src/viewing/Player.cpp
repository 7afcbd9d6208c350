#include "viewing/Player.h"

#include <limits>

namespace quorvanta {

void Player::setClock(std::unique_ptr<PlaybackClock> clock)
{
    if (playbackClock)
        playbackClock->cancel();
    playbackClock = std::move(clock);
    clockMadeBySetup = false;
    frameArmed = false;
    if (playbackClock && setUpDone) {
        playbackClock->setCompletionHandler(onCompletion);
        playbackClock->restart(kFirstRequest);
    }
}

void Player::setUp(const ClockFactory& factory, std::function<void()> completed)
{
    if (setUpDone)
        return;
    setUpDone = true;
    onCompletion = std::move(completed);
    if (!playbackClock && factory) {
        playbackClock = factory();
        clockMadeBySetup = playbackClock != nullptr;
    }
    frameArmed = false;
    if (!playbackClock)
        return;
    playbackClock->setCompletionHandler(onCompletion);
    playbackClock->restart(kFirstRequest);
}

void Player::cleanUp()
{
    if (!setUpDone)
        return;
    setUpDone = false;
    if (playbackClock) {
        playbackClock->cancel();
        playbackClock->setCompletionHandler({});
        if (clockMadeBySetup)
            playbackClock.reset();
    }
    clockMadeBySetup = false;
    frameArmed = false;
    onCompletion = {};
    state.inputHandlerAdded = false;
}

bool Player::tick(const ShowFrame& show)
{
    if (!playbackClock || !playbackClock->takeCompletion())
        return false;
    const std::int64_t startedAt = playbackClock->now();
    if (show)
        show(state.currentFrame);
    // Armed after the frame is shown: in an animation frameDelay is now the duration of the frame just
    // shown, so each frame stays for its own duration.
    playbackClock->arm(playbackInterval(state.frameDelay), startedAt);
    frameArmed = true;

    if (state.currentFrame >= state.frameCount) {
        state.currentFrame = 1;
        if (state.loopsDone < std::numeric_limits<std::int32_t>::max())
            ++state.loopsDone;
        if (state.loopCount > 0 && state.loopsDone >= state.loopCount) {
            pause();
            state.loopsDone = 0;
        }
    } else {
        ++state.currentFrame;
    }
    return true;
}

bool Player::play()
{
    rearm();
    if (state.inputHandlerAdded)
        return false;
    state.inputHandlerAdded = true;
    return playbackClock && playbackClock->hasCompleted();
}

void Player::rearm()
{
    if (!playbackClock || !frameArmed || !playbackClock->isPending())
        return;
    const std::int64_t shownAt = playbackClock->deadline() - playbackClock->lastInterval();
    // Without a schedule the new request counts from exactly the given start.
    playbackClock->cancel();
    playbackClock->arm(playbackInterval(state.frameDelay), shownAt);
}

} // namespace quorvanta
