#pragma once
// The picture size a file's header declares, for the formats whose Qt reader turns a large picture
// down (or decodes it) without telling its size: BMP, PBM/PGM/PPM, XBM and XPM. Only the header is
// read; nothing says the rest of the file is sound.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace quorvanta {

// Width and height, or nothing when the bytes do not start like one of these formats.
std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredPictureSize(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
