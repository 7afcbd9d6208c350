#pragma once
// The buffer the picture on show is drawn from, and the layouts its bytes can have.

#include "core/Buffer.h"
#include "core/PictureRecord.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quorvanta {

// Bytes of owned memory and their number.
struct OwnedBytes {
    Buffer<std::uint8_t> data;
    std::uint64_t size = 0; // bytes allocated

    explicit operator bool() const { return data != nullptr; }
    void reset() noexcept
    {
        data.reset();
        size = 0;
    }
};

// The display buffer: `width` x `height` pixels, always allocated with 4 bytes a pixel.
using DisplayBuffer = OwnedBytes;

enum class PixelFormat : std::int32_t {
    RGB = 0,  // 3 bytes a pixel: R, G, B; drawn opaque
    ARGB = 2, // 4 bytes a pixel: A, R, G, B; blended over the background colour
    // The layouts the screen paints without converting them: one native 32-bit word a pixel.
    PremultipliedNative = 3, // 0xAARRGGBB with colour premultiplied by alpha; blended over the background
    OpaqueNative = 4,        // 0xFFRRGGBB; drawn opaque
};

// Whether pixels of `format` are drawn as they are, without the background showing through.
inline bool drawnOpaque(PixelFormat format)
{
    return format == PixelFormat::RGB || format == PixelFormat::OpaqueNative;
}

// `width` x `height` x 4 zero-filled bytes; an existing buffer of exactly that size is kept as it is
// (its old pixels stay), anything else is released first. Empty when the size overflows or memory
// is short.
inline void ensureDisplayBuffer(DisplayBuffer& buffer, std::uint32_t width, std::uint32_t height)
{
    const auto bytes = checkedMul(width, height, 4);
    if (bytes && buffer.size == *bytes && buffer.data)
        return;
    buffer.reset();
    if (!bytes)
        return;
    buffer.data = allocZeroed<std::uint8_t>(*bytes);
    buffer.size = buffer.data ? *bytes : 0;
}

// Shows `record` in `buffer` as A,R,G,B bytes, whatever the machine's byte order: the buffer becomes
// width x height x 4 bytes (one of that size is reused), the pixels the record lacks stay zero.
inline void copyRecordToDisplay(const PictureRecord& record, DisplayBuffer& buffer)
{
    ensureDisplayBuffer(buffer, record.width, record.height);
    if (!buffer)
        return;
    const std::uint64_t count = record.pixels ? std::min(buffer.size, record.size) / 4 : 0;
    std::uint8_t* out = buffer.data.get();
    const std::uint32_t* in = record.pixels.get();
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t v = std::endian::native == std::endian::little ? __builtin_bswap32(in[i]) : in[i];
        std::memcpy(out + 4 * i, &v, 4);
    }
    std::memset(out + 4 * count, 0, static_cast<std::size_t>(buffer.size - 4 * count));
}

} // namespace quorvanta
