#pragma once
// Frame durations as the playback clock takes them: milliseconds from files and the settings become
// the microseconds of `frameDelay`, and a delay becomes the interval the clock is armed with.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quorvanta {

// Milliseconds (a frame duration or the duration field) as the microseconds of `frameDelay`, saturated
// to its 32 bits (about 35 minutes).
inline std::int32_t millisecondsToDelay(std::int64_t milliseconds)
{
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    // Bounded first so that the multiplication cannot overflow.
    const std::int64_t micro = std::clamp(milliseconds, lo / 1000 - 1, hi / 1000 + 1) * 1000;
    return static_cast<std::int32_t>(std::clamp(micro, lo, hi));
}

// The interval the clock is armed with for a `frameDelay`: like web browsers, frames of 10 ms or less
// (0 included, and negative values from the duration field) are shown for 100 ms, as such files are
// usually made for viewers that do so; the upper bound is frameDelay's own 32-bit range.
inline std::int64_t playbackInterval(std::int32_t frameDelay)
{
    constexpr std::int32_t shortestHonoured = 10000;
    return frameDelay <= shortestHonoured ? 100000 : frameDelay;
}

} // namespace quorvanta
