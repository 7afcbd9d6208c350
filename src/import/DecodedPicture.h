#pragma once
// What a picture decoder hands back: a value, never an exception.

#include "pictureview/Buffer.h"

#include <cstdint>
#include <optional>

namespace quorvanta {

// Largest picture we try to hold: 2^30 pixels (4 GiB of 0xAARRGGBB values, e.g. 32768 x 32768).
// Anything larger is treated like a failed allocation.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(1) << 30;

struct DecodedPicture {
    enum class Status {
        Unreadable, // not this format, or the data is short, truncated or inconsistent
        NoMemory,   // the header was sound but the pixels cannot be held; width/height say how big
        Decoded,
    };
    Status status = Status::Unreadable;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Buffer<std::uint32_t> pixels; // width * height values 0xAARRGGBB when Decoded

    static DecodedPicture unreadable() { return {}; }
    static DecodedPicture noMemory(std::uint32_t w, std::uint32_t h)
    {
        return {Status::NoMemory, w, h, {}};
    }
};

// A zero-filled canvas of width x height pixels, or nothing when it is too large or memory is short.
inline std::optional<Buffer<std::uint32_t>> allocCanvas(std::uint32_t width, std::uint32_t height)
{
    const std::uint64_t count = std::uint64_t(width) * height;
    if (count == 0 || count > kMaxPicturePixels)
        return std::nullopt;
    auto pixels = allocZeroed<std::uint32_t>(count);
    if (!pixels)
        return std::nullopt;
    return pixels;
}

inline constexpr std::uint32_t argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

} // namespace quorvanta
