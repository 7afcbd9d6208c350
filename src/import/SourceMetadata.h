#pragma once
// The colour profile, EXIF and XMP blocks of a picture file, and its EXIF orientation, whatever the
// file's format: JPEG, PNG, TIFF and WebP carry them; other formats yield none.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvanta {

struct SourceMetadata {
    std::vector<std::uint8_t> icc;  // an ICC profile, as long as its header says
    std::vector<std::uint8_t> exif; // from the TIFF header on ("II*\0" or "MM\0*"), without JPEG's "Exif\0\0"
    std::vector<std::uint8_t> xmp;  // the XMP packet
    int orientation = 1;            // EXIF orientation, 1 to 8 (1 when absent or unreadable)
    std::string problem;            // empty unless a damaged block was left out: what was wrong first

    bool empty() const { return icc.empty() && exif.empty() && xmp.empty(); }
};

// The most any one block may hold, compressed or not. Far above real profiles and EXIF blocks (a
// JPEG cannot carry more than 255 ICC segments of 64 KiB), and low enough to refuse a block that
// claims gigabytes.
inline constexpr std::size_t kMaxMetadataBlockBytes = std::size_t(16) << 20;

// Reads the metadata of a file held in memory. Never reads outside `bytes`; a damaged block is left
// out (and named in `problem`) while the sound ones are kept.
SourceMetadata ReadSourceMetadata(std::span<const std::uint8_t> bytes);

// The same for a WebP file only: its ICCP, EXIF and "XMP " chunks. Empty for any other content.
SourceMetadata ReadWebPMetadata(std::span<const std::uint8_t> bytes);

// True when `icc` starts with a sound ICC header: a declared size no larger than the bytes, and the
// "acsp" signature.
bool LooksLikeIccProfile(std::span<const std::uint8_t> icc);

} // namespace quorvanta
