#pragma once
// What kind of WebP a file is, as a viewer tells it: lossy or lossless coding (an animation may mix
// both), alpha, and for an animation its number of frames.

#include <cstdint>
#include <span>

namespace quorvanta {

enum class WebPCoding { Unknown, Lossy, Lossless, Mixed };

struct WebPKind {
    WebPCoding coding = WebPCoding::Unknown;
    bool alpha = false;
    bool animated = false;
    std::int32_t frames = 0; // 1 for a still
};

// Reads only the headers of the file and of each frame; Unknown coding for bytes that are no WebP.
WebPKind describeWebP(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
