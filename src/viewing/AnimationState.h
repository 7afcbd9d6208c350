#pragma once
// State kept for the animated WebP on show: the demuxed frame table over the file in memory, and the
// composition of frames onto the canvas that the display buffer holds.

#include "core/Buffer.h"
#include "core/DisplayBuffer.h"
#include "core/Failure.h"

#include <webp/decode.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct WebPDemuxer;

namespace quorvanta {

// One frame of the table, pointing into the file. (Named apart from the decoded AnimationFrame of
// core/AnimationFrames.h: both live in one program, and one name for two types breaks it.)
struct WebPFrameEntry {
    const std::uint8_t* bytes = nullptr; // the frame's own bitstream, inside the file's bytes
    std::size_t size = 0;
    std::uint32_t x = 0, y = 0, width = 0, height = 0; // the frame's rectangle on the canvas
    std::int32_t duration = 0;                         // milliseconds, as the file gives it
    bool hasAlpha = false;
    bool blend = false;              // alpha-blended over the canvas (otherwise it replaces it)
    bool disposeToBackground = false; // its rectangle is cleared before the next frame is drawn
    bool keyFrame = false;           // drawing it needs nothing of the frames before it
    bool usable = false;             // the bitstream's size matches its rectangle
};

struct DemuxerDeleter {
    void operator()(WebPDemuxer* demuxer) const noexcept;
};

class AnimationState {
public:
    // Canvas-sized buffers an animation on show holds: the canvas, the picture drawn from it, and
    // the buffer a blended frame is decoded into.
    static constexpr std::uint64_t kBuffersKept = 3;

    // The frame table of the animation in `bytes` (`size` of them), which the state keeps alive for
    // as long as it lives. Refused (Corrupt) when the bytes can't be demuxed, hold no frame, or hold
    // a frame that does not lie wholly on the canvas, and (OverBudget, naming the size) when the
    // canvas times the buffers kept does not fit the decode budget.
    static Result<std::unique_ptr<AnimationState>> open(std::shared_ptr<const std::uint8_t[]> bytes,
                                                        std::uint64_t size);

    std::uint32_t canvasWidth() const { return width; }
    std::uint32_t canvasHeight() const { return height; }
    std::uint32_t loopCount() const { return loops; }
    std::uint32_t backgroundColor() const { return background; }
    std::int32_t frameCount() const { return static_cast<std::int32_t>(frames.size()); }
    const WebPFrameEntry& frame(std::int32_t number) const { return frames[static_cast<std::size_t>(number - 1)]; }
    // The nearest key frame at or before `number`.
    std::int32_t keyFrameFor(std::int32_t number) const { return keyBefore[static_cast<std::size_t>(number - 1)]; }

    // Makes `canvas` (canvasWidth x canvasHeight pixels of A,R,G,B bytes) show frame `number`
    // (1..frameCount). When `canvas` is the buffer composed last and holds a frame between the key
    // frame and `number`, only the frames after it are drawn; otherwise composition starts at the key
    // frame. False when a frame's bitstream could not be decoded (the canvas then holds what could be).
    bool compose(std::int32_t number, std::uint8_t* canvas);

    // Decodes frame `number`'s own bitstream into `fragment` (its rectangle's A,R,G,B bytes), which is
    // all of a frame's cost that does not depend on the canvas. Safe from several threads at once.
    bool decodeFragment(std::int32_t number, OwnedBytes& fragment) const;
    // show(), with frame `number`'s pixels taken from `fragment` (decoded by decodeFragment) in place
    // of decoding them.
    bool showDecoded(std::int32_t number, const OwnedBytes& fragment, DisplayBuffer& canvas);

    // Makes `canvas` a canvas-sized A,R,G,B buffer showing frame `number` (1..frameCount). A canvas
    // this state composed last is drawn on from where it stands; any other buffer (a new file, an
    // imported picture) is replaced by a fresh one. False when the frame does not exist or a frame's
    // bitstream could not be decoded (the canvas then holds what could be).
    bool show(std::int32_t number, DisplayBuffer& canvas);

    // Whether frame `number` covers the whole canvas and replaces it, so that nothing before it counts.
    bool standsAlone(std::int32_t number) const;
    // Decodes frame `number`, which stands alone, into premultiplied native 32-bit words (see
    // StandaloneFrames). Touches nothing of the state but its frame table: safe from several threads
    // at once.
    bool decodeNative(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size,
                      bool& hasAlpha) const;

    // The buffer last composed into (null after forgetCanvas) and the frame it shows.
    const std::uint8_t* canvas() const { return lastCanvas; }
    std::int32_t composedFrame() const { return composed; }
    void forgetCanvas()
    {
        lastCanvas = nullptr;
        composed = 0;
    }

private:
    bool drawFrame(std::int32_t number, bool startsComposition, std::uint8_t* canvas);
    bool decode(const WebPFrameEntry& frame, std::uint8_t* out, std::uint32_t stride, std::uint64_t size);
    // Frame `number` into `out`: copied from the fragment decoded for it beforehand, or decoded.
    bool pixelsOf(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size);

    std::shared_ptr<const std::uint8_t[]> fileBytes; // the frames point into them
    std::unique_ptr<WebPDemuxer, DemuxerDeleter> demuxer;
    std::uint32_t width = 0, height = 0, loops = 0, background = 0;
    std::vector<WebPFrameEntry> frames;
    std::vector<std::int32_t> keyBefore;
    WebPDecoderConfig config{};
    Buffer<std::uint8_t> frameBuffer; // a blended frame is decoded here, then blended onto the canvas
    std::uint64_t frameBufferSize = 0;
    std::uint8_t* lastCanvas = nullptr;
    std::int32_t composed = 0;
    const OwnedBytes* predecoded = nullptr; // frame predecodedNumber's pixels, during showDecoded
    std::int32_t predecodedNumber = 0;
};

} // namespace quorvanta
