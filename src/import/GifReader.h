#pragma once
// Animated GIF read frame by frame with giflib, each frame handed out as the whole canvas the way
// gif2webp and web browsers show it:
//  - a frame is drawn over what the frames before it left, its transparent colour letting that show;
//  - afterwards its area is left as it is (disposal "none", or none given), cleared to transparent
//    (disposal "background": the GIF's background colour is not used, as browsers do), or given back
//    what was there before the frame (disposal "previous");
//  - the logical screen is the canvas; a frame reaching past it is cut at its edges; a screen of zero
//    width or height takes the size of the first image, which is then placed at the top-left corner;
//  - each frame takes the local colour map when it has one and the global one otherwise; an index
//    beyond the map, or a frame without any map, gives opaque black;
//  - a frame shows for its delay in centiseconds x 10 ms, and for 100 ms when that is 10 ms or less.
//
// Memory is bounded by the canvas, whatever the number of frames: the canvas is checked against the
// decode budget before anything is allocated, and frames are decoded one at a time, never the whole
// file at once.

#include "core/AnimationFrames.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct GifFileType;

namespace quorvanta {

// Where giflib's input callback reads: the bytes and how far it has come.
struct GifInput {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

struct GifFileCloser {
    void operator()(GifFileType* gif) const noexcept;
};

class GifAnimationReader : public FrameSource {
public:
    // Buffers budgeted per canvas: the canvas, the area kept for "previous", the frame handed out.
    static constexpr std::uint64_t kBuffersPerCanvas = 3;

    // Reads from `bytes`, which must outlive the reader. The whole data is walked through once here,
    // without decoding any pixel, for the number of frames and the loop count.
    explicit GifAnimationReader(std::span<const std::uint8_t> bytes);
    ~GifAnimationReader() override;
    GifAnimationReader(const GifAnimationReader&) = delete;
    GifAnimationReader& operator=(const GifAnimationReader&) = delete;

    // A GIF of at least one frame whose canvas fits the decode budget.
    bool ok() const { return frames > 0 && width > 0 && height > 0; }
    // Why a GIF was refused for its size ("13384 x 12554 needs ...; the limit is ... (Settings)");
    // empty otherwise.
    const std::string& refusal() const { return refused; }

    // In the WebP sense, as gif2webp writes it: 0 plays for ever (looping extension of 0), n + 1 for
    // a looping extension of n repeats, 1 without the extension.
    int loopCount() const { return loops; }

    // True when the data is cut off or broken before its trailer. Frames are given up to the last one
    // that decodes whole; the first broken one ends the animation (next() says End, or Failed when
    // not even the first frame could be read). frameCount() counts the frames whose data is all
    // there; one of them whose pixels turn out to be broken ends the animation early too.
    bool damaged() const { return broken; }

    std::uint32_t canvasWidth() const override { return width; }
    std::uint32_t canvasHeight() const override { return height; }
    int frameCount() const override { return frames; }
    Read next(AnimationFrame& frame) override;

private:
    bool fitsBudget(std::uint64_t w, std::uint64_t h);
    bool drawFrame(int disposal, int transparent);

    GifInput input;
    std::unique_ptr<GifFileType, GifFileCloser> gif;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int frames = 0;
    int loops = 1;
    int given = 0;
    bool firstAtOrigin = false; // the screen took the first image's size
    bool broken = false;
    bool stopped = false;
    std::string refused;
    Buffer<std::uint32_t> canvas; // what the frames so far leave
    Buffer<std::uint32_t> saved;  // the area under a frame to be given back after it ("previous")
    Buffer<std::uint8_t> line;    // one row of colour indices
    // The part of the current frame inside the canvas.
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

} // namespace quorvanta
