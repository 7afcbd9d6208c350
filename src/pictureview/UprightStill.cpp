#include "pictureview/UprightStill.h"

#include "import/Orientation.h"

#include <cstring>

namespace quorvanta {

bool TurnStillUpright(StillPicture& still, int orientation)
{
    if (orientation < 2 || orientation > 8 || !still.pixels || still.width == 0 || still.height == 0)
        return false;
    const auto count = checkedMul(still.width, still.height);
    // Native 32-bit words are turned as they are and keep their layout; A,R,G,B and R,G,B bytes
    // become A,R,G,B.
    const bool native = still.pixelFormat == PixelFormat::PremultipliedNative ||
                        still.pixelFormat == PixelFormat::OpaqueNative;
    const bool alpha = still.pixelFormat == PixelFormat::ARGB;
    const std::uint64_t bytesPerPixel = alpha || native ? 4 : 3;
    if (!count || std::uint64_t{still.bytesPerRow} < still.width * bytesPerPixel ||
        std::uint64_t{still.bytesPerRow} * still.height > still.pixels.size)
        return false;
    PictureRecord record;
    record.pixels = allocZeroed<std::uint32_t>(*count);
    if (!record.pixels)
        return false;
    record.size = *count * 4;
    record.width = still.width;
    record.height = still.height;
    for (std::uint64_t y = 0; y < still.height; ++y) {
        const std::uint8_t* row = still.pixels.data.get() + y * still.bytesPerRow;
        std::uint32_t* out = record.pixels.get() + y * still.width;
        if (native) {
            std::memcpy(out, row, static_cast<std::size_t>(still.width * 4));
            continue;
        }
        for (std::uint64_t x = 0; x < still.width; ++x, row += bytesPerPixel)
            out[x] = alpha ? std::uint32_t{row[0]} << 24 | std::uint32_t{row[1]} << 16 | std::uint32_t{row[2]} << 8 | row[3]
                           : 0xFF000000u | std::uint32_t{row[0]} << 16 | std::uint32_t{row[1]} << 8 | row[2];
    }
    if (!ApplyOrientation(record, orientation))
        return false;
    // Same number of bytes: the display buffer is reused, not allocated again.
    if (native)
        std::memcpy(still.pixels.data.get(), record.pixels.get(), static_cast<std::size_t>(record.size));
    else
        copyRecordToDisplay(record, still.pixels);
    if (!still.pixels)
        return false;
    still.width = record.width;
    still.height = record.height;
    still.bytesPerRow = record.width * 4;
    if (!native)
        still.pixelFormat = PixelFormat::ARGB;
    return true;
}

} // namespace quorvanta
