#include "pictureview/PictureView.h"

#include "viewing/AnimationState.h"
#include "viewing/PlaybackClock.h"

namespace quorvanta {

namespace {

// Shows frame `number` of the animation in `fileData` on the canvas that the display buffer holds;
// the frame count, or -1 when the file can't be demuxed or has no such frame.
std::int32_t decodeAnimFrame(std::int32_t number, InstanceData& d, std::unique_ptr<AnimationState>& animation)
{
    if (!animation)
        animation = AnimationState::open(d.fileData.get(), d.fileData ? d.fileSize : 0);
    if (!animation)
        return -1;
    // The file's values, set before the frame is looked up.
    d.loopCount = static_cast<std::int32_t>(std::min<std::uint32_t>(animation->loopCount(), 0x7FFFFFFF));
    d.backgroundColor = animation->backgroundColor();
    d.width = animation->canvasWidth();
    d.height = animation->canvasHeight();
    const std::int32_t count = animation->frameCount();
    if (number < 1 || number > count)
        return -1;
    d.frameDelay = millisecondsToDelay(animation->frame(number).duration);

    // The canvas is the display buffer. Anything else in it (a new file, an imported picture) is
    // replaced by a fresh canvas.
    const std::uint32_t stride = d.width * 4;
    const auto bytes = checkedMul(d.width, d.height, 4);
    const bool canvasKept = d.pixels && d.pixels.data.get() == animation->canvas() && bytes &&
                            d.pixels.size == *bytes && d.pixelFormat == PixelFormatARGB && d.bytesPerRow == stride;
    if (!canvasKept) {
        animation->forgetCanvas();
        d.pixels.reset();
        if (bytes) {
            d.pixels.data = allocZeroed<std::uint8_t>(*bytes);
            d.pixels.size = d.pixels.data ? *bytes : 0;
        }
    }
    d.pixelFormat = PixelFormatARGB;
    d.bytesPerRow = stride;
    if (d.pixels)
        animation->compose(number, d.pixels.data.get());
    return count;
}

} // namespace

void PictureView::showAnimFrame(std::int32_t frame)
{
    d.frameCount = decodeAnimFrame(frame, d, animation);
    setSliderMaximum(d.frameCount);
    if (d.frameCount >= 0)
        pictureChanged();
}

} // namespace quorvanta
