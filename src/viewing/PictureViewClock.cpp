#include "pictureview/PictureView.h"

#include "pictureview/SettingsSource.h"
#include "viewing/PlaybackClock.h"

#include <QMetaObject>

#include <limits>

namespace quorvanta {

namespace {
constexpr std::int64_t kFirstRequest = 50000; // microseconds after set-up
}

void PictureView::setClock(std::unique_ptr<PlaybackClock> clock)
{
    if (playbackClock)
        playbackClock->cancel();
    playbackClock = std::move(clock);
    clockMadeBySetup = false;
    if (playbackClock && isSetUp) {
        playbackClock->setCompletionHandler([this] { clockCompleted(); });
        playbackClock->restart(kFirstRequest);
    }
}

void PictureView::clockCompleted()
{
    // While playback is stopped the completion stays pending until Play.
    if (d.inputHandlerAdded)
        send(MethodId::Tick);
}

void PictureView::setup()
{
    if (!playbackClock) {
        playbackClock = std::make_unique<TimerPlaybackClock>();
        clockMadeBySetup = true;
    }
    playbackClock->setCompletionHandler([this] { clockCompleted(); });
    playbackClock->restart(kFirstRequest);
    if (gui.settings)
        d.frameDelay = millisecondsToDelay(readFieldInteger(gui.settings->frameDurationText()));
}

void PictureView::cleanup()
{
    if (playbackClock) {
        playbackClock->cancel();
        playbackClock->setCompletionHandler({});
        if (clockMadeBySetup)
            playbackClock.reset();
    }
    clockMadeBySetup = false;
    d.inputHandlerAdded = false;
}

void PictureView::tick()
{
    if (!playbackClock || !playbackClock->takeCompletion())
        return; // a stray wake-up while the request is still pending
    const std::int64_t startedAt = playbackClock->now();
    setSliderValueQuietly(d.currentFrame);
    if (d.mode == ModeAnimated)
        send(MethodId::ShowAnimFrame, d.currentFrame);
    else if (d.mode == ModeDirectory)
        send(MethodId::ShowDirFrame, d.currentFrame);
    // Armed after the frame is shown: in an animation `frameDelay` is now the duration of the frame
    // just shown, so each frame stays for its own duration.
    playbackClock->arm(playbackInterval(d.frameDelay), startedAt);

    if (d.currentFrame >= d.frameCount) {
        d.currentFrame = 1;
        if (d.loopsDone < std::numeric_limits<std::int32_t>::max())
            ++d.loopsDone;
        if (d.loopCount > 0 && d.loopsDone >= d.loopCount) {
            pause();
            d.loopsDone = 0;
        }
    } else {
        ++d.currentFrame;
    }
}

void PictureView::gotoFrame(std::int32_t frame)
{
    d.currentFrame = frame;
    if (d.mode == ModeAnimated)
        send(MethodId::ShowAnimFrame, frame);
    else if (d.mode == ModeDirectory)
        send(MethodId::ShowDirFrame, frame);
}

void PictureView::setDelay(const std::string& text)
{
    d.frameDelay = millisecondsToDelay(readFieldInteger(QString::fromStdString(text)));
}

void PictureView::pause()
{
    d.inputHandlerAdded = false;
}

void PictureView::play()
{
    if (d.inputHandlerAdded)
        return;
    d.inputHandlerAdded = true;
    // A request that completed while stopped gives its tick at once, from the event loop.
    if (playbackClock && playbackClock->hasCompleted())
        QMetaObject::invokeMethod(
            this, [this] { clockCompleted(); }, Qt::QueuedConnection);
}

} // namespace quorvanta
