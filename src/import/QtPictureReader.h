#pragma once
// Every picture format Qt's image readers know (PNG, JPEG, BMP, GIF, TIFF, PNM, ...), recognised by
// content alone.

#include "import/DecodedPicture.h"

#include <atomic>
#include <cstdint>
#include <span>

namespace quorvanta {

// Held while one of Qt's readers works on this thread: Qt's own allocation limit follows the decode
// budget, and its handlers' warnings about bad data are dropped.
class QtDecodeScope {
public:
    QtDecodeScope();
    ~QtDecodeScope();
    QtDecodeScope(const QtDecodeScope&) = delete;
    QtDecodeScope& operator=(const QtDecodeScope&) = delete;
};

// Decodes the first picture in the bytes (the first frame of an animation) into unpremultiplied
// 0xAARRGGBB values. Prints nothing, whatever Qt's handlers would like to say about bad data.
// A picture whose declared size is over the decode budget is refused, except a JPEG, which is decoded
// reduced to at most `reducedArea` pixels (scalePercent then says by how much). The reader takes the
// bytes through a device that fails every read once `stop` is true, which ends a long decode early.
DecodedPicture DecodeWithQt(std::span<const std::uint8_t> bytes, std::uint64_t reducedArea = kDefaultReducedArea,
                            const std::atomic<bool>* stop = nullptr);

// The size the header announces, read without decoding the pixels; false when Qt does not take the
// bytes for a picture or the header gives no size.
bool ProbeWithQt(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height);

} // namespace quorvanta
