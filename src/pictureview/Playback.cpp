// Playing an animation or an image directory: the clock's ticks, the slider, pause and play.

#include "pictureview/PictureView.h"

#include "core/PlayableAnimation.h"
#include "pictureview/SettingsSource.h"
#include "viewing/TimerPlaybackClock.h"

#include <QMetaObject>

#include <algorithm>
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
        showFrame(frame);
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

void PictureView::showAnimFrame(std::int32_t frame)
{
    if (!animation) {
        setFrameCount(-1);
        return;
    }
    // The file's values, set before the frame is looked up.
    d.loopCount = static_cast<std::int32_t>(std::min<std::uint32_t>(animation->loopCount(),
                                                                    std::numeric_limits<std::int32_t>::max()));
    d.backgroundColor = animation->backgroundColor();
    d.width = animation->canvasWidth();
    d.height = animation->canvasHeight();
    if (frame < 1 || frame > animation->frameCount()) {
        setFrameCount(-1);
        return;
    }
    d.pixelFormat = PixelFormat::ARGB;
    d.bytesPerRow = d.width * 4;
    animation->show(frame, d.pixels);
    // Known once the frame was read, for animations decoded as they play.
    d.frameDelay = millisecondsToDelay(animation->frameDuration(frame));
    setFrameCount(animation->frameCount());
    pictureChanged();
}

} // namespace quorvanta
