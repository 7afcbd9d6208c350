#pragma once
// An animation whose frames can be decoded apart from the canvas. A frame that stands alone (it covers
// the whole canvas and replaces it) needs nothing of the frames before it: it is decoded on any thread,
// in any order, straight into the layout the screen paints. Any other frame's own bitstream can be
// decoded on any thread too, and only laid on the canvas in order.

#include "core/DisplayBuffer.h"

#include <cstdint>

namespace quorvanta {

class StandaloneFrames {
public:
    virtual ~StandaloneFrames() = default;

    // Whether frame `number` (1..frameCount) stands alone.
    virtual bool standsAlone(std::int32_t number) const = 0;

    // Decodes frame `number`, which stands alone, into `out`: canvas-sized rows of native 32-bit words
    // 0xAARRGGBB premultiplied by alpha, `stride` bytes apart (`size` bytes in all); `hasAlpha` when
    // the frame carries alpha. Safe to call from several threads at once. (The decoder's own scaling
    // is not used for smaller frames: it costs more than decoding whole and halving.)
    virtual bool decodeStandalone(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size,
                                  bool& hasAlpha) const = 0;

    // Decodes frame `number`'s own pixels into `fragment`. Safe to call from several threads at once.
    virtual bool decodeFragment(std::int32_t number, OwnedBytes& fragment) const = 0;
    // PlayableAnimation::show, with frame `number`'s pixels taken from `fragment`.
    virtual bool showDecoded(std::int32_t number, const OwnedBytes& fragment, DisplayBuffer& canvas) = 0;
};

} // namespace quorvanta
