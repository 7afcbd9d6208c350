#pragma once
// A picture as 32-bit pixels: the form in which imported pictures travel to the display and the encoder.

#include "core/Buffer.h"

#include <cstdint>

namespace quorvanta {

struct PictureRecord {
    // width * height values 0xAARRGGBB, rows top to bottom without gaps: libwebp's `argb` plane
    // with argb_stride == width.
    Buffer<std::uint32_t> pixels;
    std::uint64_t size = 0; // bytes of pixel memory; 0 while the record holds none
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    // Drops the pixel memory; pixels and size are cleared in the same step.
    void releasePixels() noexcept
    {
        pixels.reset();
        size = 0;
    }
};

} // namespace quorvanta
