#pragma once
// The buffer the picture on show is drawn from.

#include "pictureview/Buffer.h"

#include <cstdint>

namespace quorvanta {

// The display buffer: `width` x `height` pixels, always allocated with 4 bytes a pixel.
struct DisplayBuffer {
    Buffer<std::uint8_t> data;
    std::uint64_t size = 0; // bytes allocated

    explicit operator bool() const { return data != nullptr; }
    void reset() noexcept
    {
        data.reset();
        size = 0;
    }
};

} // namespace quorvanta
