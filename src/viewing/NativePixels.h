#pragma once
// Pixels as the screen takes them: native 32-bit words 0xAARRGGBB, colour premultiplied by alpha.

#include <cstdint>

namespace quorvanta {

// Colour `c` premultiplied by alpha `a`: a * c / 255 rounded to the nearest, exact for a == 255.
inline std::uint32_t premultipliedChannel(std::uint32_t a, std::uint32_t c)
{
    const std::uint32_t t = a * c + 128;
    return (t + (t >> 8)) >> 8;
}

// Native words 0xAARRGGBB premultiplied in place.
// (A pass of its own after decoding costs less than the decoder's premultiplied output.)
inline void premultiplyNative(std::uint32_t* pixels, std::uint64_t count)
{
    // No branches in the loop, so that the compiler can vectorise it.
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t a = p >> 24;
        pixels[i] = (a << 24) | (premultipliedChannel(a, (p >> 16) & 0xFF) << 16) |
                    (premultipliedChannel(a, (p >> 8) & 0xFF) << 8) | premultipliedChannel(a, p & 0xFF);
    }
}

// Whether every one of `count` native words has alpha 255.
inline bool allOpaque(const std::uint32_t* pixels, std::uint64_t count)
{
    // No early exit, so that the compiler can vectorise it: a frame is read once either way.
    std::uint32_t all = 0xFF000000u;
    for (std::uint64_t i = 0; i < count; ++i)
        all &= pixels[i];
    return all == 0xFF000000u;
}

// A,R,G,B bytes into premultiplied native 32-bit pixels; true when every pixel is opaque.
bool premultiplyToNative(const std::uint8_t* in, std::uint32_t* out, std::uint64_t pixels);

// `width` x `height` A,R,G,B bytes shrunk by `factor` (>= 2) into premultiplied native pixels, each
// the average of a `factor` x `factor` block (the blocks that do not fit whole are left out);
// true when every pixel is opaque.
bool reduceToNative(const std::uint8_t* in, std::uint32_t width, std::uint32_t height, std::uint32_t factor,
                    std::uint32_t* out);

// The same from `width` x `height` native words (premultiplied or opaque) into native words: each
// channel of a block averaged as it is, which for premultiplied pixels is the alpha-weighted average.
void reduceNative(const std::uint32_t* in, std::uint32_t width, std::uint32_t height, std::uint32_t factor,
                  std::uint32_t* out);

} // namespace quorvanta
