#pragma once
// Turning a picture upright as its EXIF orientation says, and marking an EXIF block as upright.

#include "core/PictureRecord.h"

#include <cstdint>
#include <span>

namespace quorvanta {

// True for orientations 5 to 8, which swap width and height.
inline bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// Turns `record` upright for EXIF orientation 2 to 8 (1, and values out of range, leave it as it is).
// Mirrors and the half turn (2 to 4) work in place; the quarter turns (5 to 8) write one new buffer in
// one pass, swap width and height, and free the old buffer at once. False, with the record unchanged,
// when the record holds no picture or memory for the turned one is short.
bool ApplyOrientation(PictureRecord& record, int orientation);

// Sets the orientation tag in the first directory of an EXIF block (from its TIFF header on, or with
// "Exif\0\0" in front) to 1, in the block's own byte order. True when the block now says 1 or has no
// orientation tag; false, with the block unchanged, when it cannot be read.
bool ResetExifOrientation(std::span<std::uint8_t> exif);

// The EXIF orientation of a picture file held in memory (JPEG, PNG eXIf, TIFF, WebP): 1 to 8, 1 when
// the file has none or it cannot be read.
int FileOrientation(std::span<const std::uint8_t> file);

} // namespace quorvanta
