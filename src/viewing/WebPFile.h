#pragma once
// Reading a picture file once, sorting it by content, and decoding a still WebP into a display buffer.

#include "core/DecodeBudget.h"
#include "core/DisplayBuffer.h"

#include <webp/decode.h>

#include <cstdint>
#include <span>
#include <string>

namespace quorvanta {

enum FileKind : int {
    KindNotWebP = -1,
    KindStill = 0,
    KindAnimated = 1,
};

// The decoder options of every picture shown, still or animated: in-loop filtering is skipped and
// chroma is upsampled plainly, trading a little quality for speed; no dithering.
inline void setViewingOptions(WebPDecoderOptions& options)
{
    options.bypass_filtering = 1;
    options.no_fancy_upsampling = 1;
    options.dithering_strength = 0;
}

// Sorts file content by asking libwebp for its features: -1 not WebP, 0 still, 1 animated.
int ClassifyFile(std::span<const std::uint8_t> bytes);

// What decoding a still WebP leaves for the display.
struct StillPicture {
    bool decoded = false;    // a still picture was decoded whole
    bool configured = false; // false when the decoder could not even be set up: nothing should change
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerRow = 0;
    PixelFormat pixelFormat = PixelFormat::RGB;
    DisplayBuffer pixels;    // width * height * 4 bytes; all zero when the decode failed
    int scalePercent = 100;  // below 100 when the picture was decoded reduced to fit the decode budget
    std::uint32_t fullWidth = 0, fullHeight = 0; // the size the file declares
    std::string refusedBecause; // a lossless picture whose decoding alone is over the budget: why
};

// Decodes straight into a buffer of width * height native 32-bit words, the layout the screen paints:
// 0xFFRRGGBB for an opaque picture (OpaqueNative), 0xAARRGGBB premultiplied for one with alpha
// (PremultipliedNative). In-loop filtering is skipped and chroma is upsampled plainly, trading a
// little quality for speed.
// `reusable`, when given, is taken as the output buffer if it has exactly the size needed, and
// released before a new one is allocated otherwise.
// A picture whose declared size is over the decode budget is decoded scaled down to at most
// `reducedArea` pixels (width and height then give the reduced size); a lossless one whose decoder's
// own full-size picture does not fit either is not decoded (refusedBecause says why).
StillPicture DecodeWebPStill(std::span<const std::uint8_t> bytes, DisplayBuffer* reusable = nullptr,
                             std::uint64_t reducedArea = kDefaultReducedArea);

} // namespace quorvanta
