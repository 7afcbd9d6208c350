#pragma once
// A frame of an animation on its way to the encoder, and the one rule by which a frame smaller than
// the canvas is shown: its picture at the top-left corner, the rest of the canvas transparent. The
// preview and the written file both follow ComposeOntoCanvas.

#include "core/Buffer.h"

#include <cstddef>
#include <cstdint>

namespace quorvanta {

enum class PixelOrder {
    Argb32, // native 32-bit values 0xAARRGGBB (B,G,R,A bytes on a little-endian machine)
    Rgba8,  // R,G,B,A bytes
};

// Pixels lent by their owner.
struct FramePixels {
    const void* data = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t strideBytes = 0; // 0: width * 4
    PixelOrder order = PixelOrder::Argb32;
};

// A frame that owns its pixels: width * height values 0xAARRGGBB, rows without gaps.
struct AnimationFrame {
    Buffer<std::uint32_t> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int durationMs = 0;

    FramePixels view() const { return {pixels.get(), width, height, std::size_t(width) * 4, PixelOrder::Argb32}; }
};

// Writes `frame` over the whole canvas (canvasWidth x canvasHeight values 0xAARRGGBB): the picture at
// 0,0, clipped to the canvas, and fully transparent pixels (0) wherever it does not reach.
void ComposeOntoCanvas(const FramePixels& frame, std::uint32_t* canvas, std::uint32_t canvasWidth,
                       std::uint32_t canvasHeight);

// A sequence of frames read one after the other (an animated GIF, an animated WebP, a directory).
// EncodeAnimation calls next() on a thread of its own, one call at a time, a few frames ahead of the
// encoder; the other members on the calling thread before the first next().
class FrameSource {
public:
    enum class Read { Frame, Skipped, End, Failed };
    virtual ~FrameSource() = default;
    virtual std::uint32_t canvasWidth() const = 0;
    virtual std::uint32_t canvasHeight() const = 0;
    virtual int frameCount() const { return 0; } // 0 when not known ahead
    // The next frame; Skipped for one that could not be read but after which more may follow.
    virtual Read next(AnimationFrame& frame) = 0;
};

} // namespace quorvanta
