#pragma once
// Colour profile, EXIF and XMP in the WebP files we write, through libwebp's muxer, and the colour
// profile of a WebP file for display.

#include "import/SourceMetadata.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvanta {

// The "Keep metadata" setting.
enum class KeepMetadata {
    None,
    ColourProfile, // the ICC profile only
    All,           // ICC profile, EXIF and XMP
};

// The blocks of `source` that `keep` lets through. When the pixels were turned upright
// (`pixelsTurned`), the EXIF block is changed to say orientation 1, and left out when it cannot be.
SourceMetadata SelectMetadata(const SourceMetadata& source, KeepMetadata keep, bool pixelsTurned);

// `webp` (a still or an animation, as our encoders make them) with the blocks of `metadata` added as
// ICCP, EXIF and "XMP " chunks, replacing any it had. A copy of `webp` when `metadata` is empty;
// nothing when libwebp's muxer refuses the file or a chunk.
std::optional<std::vector<std::uint8_t>> AddWebPMetadata(std::span<const std::uint8_t> webp,
                                                         const SourceMetadata& metadata);

// Both steps: the blocks `keep` chooses from `source`, added to `webp`.
std::optional<std::vector<std::uint8_t>> AddWebPMetadata(std::span<const std::uint8_t> webp,
                                                         const SourceMetadata& source, KeepMetadata keep,
                                                         bool pixelsTurned);

// The ICC profile of a WebP file, for colour management on display; empty when it has none, when the
// profile is damaged, or when the file is not a sound WebP.
std::vector<std::uint8_t> ReadWebPIccProfile(std::span<const std::uint8_t> webp);

} // namespace quorvanta
