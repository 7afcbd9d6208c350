#pragma once
// Scaling a picture for the window. Pixels are 32-bit premultiplied 0xAARRGGBB values (an opaque
// picture has 0xFF alpha everywhere). Smooth sampling averages the source pixels each output pixel
// covers when reducing and interpolates between neighbours when enlarging; nearest-neighbour copies
// the one source pixel under each output pixel. Only a rectangle of the scaled picture is made, so
// that a picture enlarged far beyond the window costs no more than what is seen.

#include "core/Buffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvanta {

enum class Sampling { Smooth, Nearest };

// Rows of pixels `stride` pixels apart.
struct PixelRows {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Which source pixels make one output pixel along one axis, and by what weight (fixed point, the
// weights of an output pixel add up to kOne).
struct AxisTaps {
    static constexpr std::uint32_t kOne = 1u << 14;
    std::vector<std::int32_t> first;   // first source index of each output pixel
    std::vector<std::uint32_t> offset; // where its weights start in `weights`; one more entry at the end
    std::vector<std::uint16_t> weights;

    // Output pixels [from, from + count) of `sourceSize` pixels scaled to `scaledSize`.
    static AxisTaps make(int sourceSize, int scaledSize, int from, int count, Sampling sampling);
    int taps(std::size_t i) const { return static_cast<int>(offset[i + 1] - offset[i]); }
};

// Keeps its working rows from one call to the next.
class Resampler {
public:
    // Makes `out` (region.width x region.height pixels, rows `outStride` pixels apart) the part
    // `region` of `source` scaled to scaledWidth x scaledHeight. False, with `out` untouched, when the
    // sizes make no sense or working memory could not be had.
    bool scale(const PixelRows& source, int scaledWidth, int scaledHeight, PixelRect region, Sampling sampling,
               std::uint32_t* out, std::ptrdiff_t outStride);

private:
    Buffer<std::uint32_t> sums; // one row of the vertical pass, four channels a pixel
    std::uint64_t sumsSize = 0;
};

} // namespace quorvanta
