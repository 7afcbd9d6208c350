#pragma once
// What a picture decoder hands back: a value, never an exception.

#include "core/DecodeBudget.h"
#include "core/Buffer.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvanta {

// Largest picture we ever try to hold, whatever the decode budget: 2^30 pixels (4 GiB of 0xAARRGGBB
// values, e.g. 32768 x 32768). The decode budget is normally far lower.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(1) << 30;

struct DecodedPicture {
    enum class Status {
        Unreadable, // not this format, or the data is short, truncated or inconsistent
        NoMemory,   // the header was sound but the pixels cannot be held; width/height say how big
        OverBudget, // the declared size does not fit the decode budget; `message` says so
        Decoded,
    };
    Status status = Status::Unreadable;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Buffer<std::uint32_t> pixels; // width * height values 0xAARRGGBB when Decoded
    int scalePercent = 100;       // below 100 when the picture was decoded reduced to fit the budget
    std::string message;          // why an over-budget picture was refused, or reduced

    static DecodedPicture unreadable() { return {}; }
    static DecodedPicture noMemory(std::uint32_t w, std::uint32_t h)
    {
        return {Status::NoMemory, w, h, {}, 100, {}};
    }
    static DecodedPicture decoded(std::uint32_t w, std::uint32_t h, Buffer<std::uint32_t> pixels, int percent = 100)
    {
        return {Status::Decoded, w, h, std::move(pixels), percent, {}};
    }
    // The refusal of a picture whose declared width x height does not fit the budget at 4 bytes a
    // pixel, or nothing when it fits. Asked before anything is allocated.
    static std::optional<DecodedPicture> overBudget(std::uint64_t w, std::uint64_t h)
    {
        BudgetCheck check = CheckDecodeBudget(w, h, 4);
        if (check)
            return std::nullopt;
        return DecodedPicture{Status::OverBudget, std::uint32_t(std::min<std::uint64_t>(w, UINT32_MAX)),
                              std::uint32_t(std::min<std::uint64_t>(h, UINT32_MAX)), {}, 100,
                              std::move(check.message)};
    }
};

// A zero-filled canvas of width x height pixels, or nothing when it is too large for the decode
// budget or memory is short.
inline std::optional<Buffer<std::uint32_t>> allocCanvas(std::uint32_t width, std::uint32_t height)
{
    const std::uint64_t count = std::uint64_t(width) * height;
    if (count == 0 || count > kMaxPicturePixels || !CheckDecodeBudget(width, height, 4))
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
