#pragma once
// Frames of an animation that need nothing of the frames before them: each covers the whole canvas and
// replaces it. Such a frame can be decoded on any thread, in any order, straight into the layout the
// screen paints, with no canvas and no conversion pass after.

#include <cstdint>

namespace quorvanta {

class StandaloneFrames {
public:
    virtual ~StandaloneFrames() = default;

    // Whether frame `number` (1..frameCount) stands alone.
    virtual bool standsAlone(std::int32_t number) const = 0;

    // Decodes frame `number`, which stands alone, into `out`: canvas-sized rows of native 32-bit words
    // 0xAARRGGBB, not premultiplied, `stride` bytes apart (`size` bytes in all); `opaque` when the frame
    // has no alpha. Safe to call from several threads at once.
    virtual bool decodeStandalone(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size,
                                  bool& opaque) const = 0;
};

} // namespace quorvanta
