// Playing an animation or an image directory: the clock's ticks, the slider, pause and play.

#include "pictureview/PictureView.h"

#include "core/PlayableAnimation.h"
#include "pictureview/DisplayReduction.h"
#include "pictureview/SettingsSource.h"
#include "viewing/FramesAhead.h"
#include "viewing/TimerPlaybackClock.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>
#include <limits>

namespace quorvanta {

void PictureView::setup()
{
    if (player.isSetUp())
        return;
    player.setUp([] { return std::make_unique<TimerPlaybackClock>(); }, [this] { clockCompleted(); });
    if (settings)
        d.frameDelay = millisecondsToDelay(readFieldInteger(settings->frameDurationText()));
}

void PictureView::cleanup()
{
    player.cleanUp();
}

void PictureView::clockCompleted()
{
    // While playback is stopped the completion stays pending until Play.
    if (d.inputHandlerAdded)
        send(MethodId::Tick);
}

void PictureView::tick()
{
    player.tick([this](std::int32_t frame) {
        Q_EMIT currentFrameChanged(frame);
        frameFromClock = true;
        showFrame(frame);
        frameFromClock = false;
    });
}

void PictureView::showFrame(std::int32_t frame)
{
    if (d.mode == Mode::Animated)
        send(MethodId::ShowAnimFrame, frame);
    else if (d.mode == Mode::Directory)
        send(MethodId::ShowDirFrame, frame);
}

void PictureView::gotoFrame(std::int32_t frame)
{
    d.currentFrame = frame;
    showFrame(frame);
}

void PictureView::setDelay(const std::string& text)
{
    d.frameDelay = millisecondsToDelay(readFieldInteger(QString::fromStdString(text)));
    // A directory's frames last as the field says, from the frame on show on: never left waiting out
    // an old, longer delay. (An animation's next frame brings its own duration.)
    if (d.mode == Mode::Directory)
        player.rearm();
}

void PictureView::pause()
{
    player.pause();
}

void PictureView::play()
{
    // A request still waiting is armed again with the delay in force; one that completed while
    // stopped gives its tick at once, from the event loop.
    if (player.play())
        QMetaObject::invokeMethod(this, [this] { clockCompleted(); }, Qt::QueuedConnection);
}

// The animation on show with its frames composed ahead: made over the one a load installed, on a
// worker thread in the program, on demand when the picture object's jobs run inline (as in tests).
FramesAhead* PictureView::framesAhead()
{
    if (!animation)
        return nullptr;
    if (auto* ahead = dynamic_cast<FramesAhead*>(animation.get()))
        return ahead;
    // A canvas larger than can ever be drawn is kept reduced, as a large still is.
    const std::uint32_t reduction = drawnReduction(animation->canvasWidth(), animation->canvasHeight());
    auto ahead = std::make_unique<FramesAhead>(
        std::move(animation), jobs.inlineJobs() ? FramesAhead::Threads::Inline : FramesAhead::Threads::Worker,
        FramesAhead::defaultCacheBytes(), reduction);
    // A frame late for its deadline is shown when it comes, unless the clock has moved on by then.
    ahead->onKept([this](std::int32_t number) {
        QMetaObject::invokeMethod(this, [this, number] { lateFrameKept(number); }, Qt::QueuedConnection);
    });
    animation = std::move(ahead);
    return static_cast<FramesAhead*>(animation.get());
}

void PictureView::lateFrameKept(std::int32_t number)
{
    auto* ahead = dynamic_cast<FramesAhead*>(animation.get());
    if (!ahead || d.mode != Mode::Animated || number != frameOwed)
        return;
    if (FramesAhead::Shown shown = ahead->frameIfKept(number); shown.frame) {
        frameOwed = 0;
        putFrameOnShow(*ahead, std::move(shown.frame));
        pictureChanged();
    }
}

void PictureView::putFrameOnShow(FramesAhead& ahead, ComposedFrame frame)
{
    // The frame's pixels become the display buffer as they are; the frame they replace goes back to
    // the animation, to be kept or reused.
    DisplayBuffer previous = std::exchange(d.pixels, std::move(frame.pixels));
    if (previous && frameOnShow.number != 0) {
        frameOnShow.pixels = std::move(previous);
        ahead.giveBack(std::move(frameOnShow));
    }
    frameOnShow = std::move(frame);
    d.pixelFormat = frameOnShow.opaque ? PixelFormat::OpaqueNative : PixelFormat::PremultipliedNative;
    d.bytesPerRow = d.width * 4;
}

void PictureView::showAnimFrame(std::int32_t frame)
{
    FramesAhead* ahead = framesAhead();
    if (!ahead) {
        setFrameCount(-1);
        return;
    }
    // The file's values, set before the frame is looked up.
    d.loopCount = static_cast<std::int32_t>(std::min<std::uint32_t>(ahead->loopCount(),
                                                                    std::numeric_limits<std::int32_t>::max()));
    d.backgroundColor = ahead->backgroundColor();
    d.width = ahead->frameWidth();
    d.height = ahead->frameHeight();
    if (frame < 1 || frame > ahead->frameCount()) {
        setFrameCount(-1);
        return;
    }
    // At the clock's deadline a frame not composed yet is not waited for (see FramesAhead::Answer).
    FramesAhead::Shown shown = ahead->frame(frame, d.inputHandlerAdded && frameFromClock);
    const bool late = shown.answer == FramesAhead::Answer::Earlier || shown.answer == FramesAhead::Answer::KeptOnShow;
    frameOwed = late ? frame : 0;
    const bool changed = static_cast<bool>(shown.frame);
    if (changed)
        putFrameOnShow(*ahead, std::move(shown.frame));
    // Known once the frame was read, for animations decoded as they play.
    d.frameDelay = millisecondsToDelay(ahead->frameDuration(frame));
    setFrameCount(ahead->frameCount());
    if (changed)
        pictureChanged();
}

} // namespace quorvanta
