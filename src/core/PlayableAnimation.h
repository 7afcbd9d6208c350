#pragma once
// An animation as the picture object plays it, whatever file it comes from: a canvas, frames numbered
// from 1, each drawn whole into the display buffer with its own duration. An animated WebP is composed
// from its frame table (viewing/WebPAnimationPlayback.h), an animated GIF and the other animations our
// readers take are decoded through their reader (import/AnimationPlayback.h).

#include "core/DisplayBuffer.h"

#include <cstdint>

namespace quorvanta {

class PlayableAnimation {
public:
    virtual ~PlayableAnimation() = default;

    virtual std::uint32_t canvasWidth() const = 0;
    virtual std::uint32_t canvasHeight() const = 0;
    // In the WebP sense: 0 plays for ever, n plays n times.
    virtual std::uint32_t loopCount() const = 0;
    // 0xAARRGGBB, drawn under transparent pixels.
    virtual std::uint32_t backgroundColor() const = 0;
    // May fall once frames are decoded, when a damaged file turns out to end early.
    virtual std::int32_t frameCount() const = 0;

    // Makes `canvas` a canvas-sized buffer of A,R,G,B bytes showing frame `number` (1..frameCount).
    // False when the frame does not exist or could not be decoded whole.
    virtual bool show(std::int32_t number, DisplayBuffer& canvas) = 0;

    // Milliseconds, as the file gives them, of a frame that show() has drawn.
    virtual std::int32_t frameDuration(std::int32_t number) const = 0;
};

} // namespace quorvanta
