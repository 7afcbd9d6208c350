#pragma once
// Pictures larger than the picture area can ever be are drawn from a copy reduced by a whole factor,
// so that the picture object never holds a second full-size copy of a large picture.

#include "core/DisplayBuffer.h"
#include "core/PictureRecord.h"

#include <QImage>

#include <cstdint>

namespace quorvanta {

// The largest picture drawn as it is: twice the largest picture area, for screens scaled by 2.
inline constexpr std::uint32_t kDrawnWidthLimit = 2560;
inline constexpr std::uint32_t kDrawnHeightLimit = 2048;

// The smallest whole factor that brings width x height within the limits (1 when it fits).
std::uint32_t drawnReduction(std::uint32_t width, std::uint32_t height);

// `record` shrunk by `factor` into `out` as A,R,G,B bytes (`width` x `height` of them): each pixel
// the average of a `factor` x `factor` block, weighted by alpha. False when memory is short.
bool reduceRecordToDisplay(const PictureRecord& record, std::uint32_t factor, DisplayBuffer& out,
                           std::uint32_t& width, std::uint32_t& height);

// `rows` rows of a display buffer (`bytesPerPixel` 3 for R,G,B or 4 for A,R,G,B, `bytesPerRow` apart)
// shrunk by `factor` into a premultiplied (or opaque) image ready to draw; null when memory is short.
QImage reduceDisplayToImage(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t rows,
                            std::uint32_t bytesPerRow, std::uint32_t bytesPerPixel, std::uint32_t factor);

} // namespace quorvanta
