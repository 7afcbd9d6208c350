#pragma once
// Qt's BMP reader knows the 12-, 40-, 108- and 124-byte info headers but refuses the 52- and 56-byte
// ones (bit fields with an alpha mask), which some tools write for 32-bit pictures with alpha. Such a
// file is handed to Qt with its header widened to 108 bytes; nothing else changes.

#include "core/Buffer.h"

#include <cstdint>
#include <optional>
#include <span>

namespace quorvanta {

struct WidenedBmp {
    Buffer<std::uint8_t> data;
    std::size_t size = 0;
    std::span<const std::uint8_t> bytes() const { return {data.get(), size}; }
};

// The widened copy, or nothing when the bytes are not a BMP with a 52- or 56-byte info header
// (or memory is short).
std::optional<WidenedBmp> WidenBmpInfoHeader(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
