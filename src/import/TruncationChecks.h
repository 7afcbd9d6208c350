#pragma once
// Qt's GIF, BMP and JPEG readers show whatever part of a cut-off file they could decode and call it
// a success, and its PNG reader allocates what a chunk's length says before reading it. These checks
// walk the file's structure first, so that a truncated file is refused.

#include <cstdint>
#include <span>

namespace quorvanta {

// False when the bytes are a GIF whose first image, a BMP whose pixel rows, or a JPEG whose scan
// data (up to the end marker) do not fit in the file. True for everything else.
bool LooksComplete(std::span<const std::uint8_t> bytes);

// False when the bytes are a PNG whose chunks (up to IEND) do not all lie within the file: libpng
// allocates what a chunk's length says before it reads the chunk, even while it reads the header.
// True for everything else.
bool PngChunksFit(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
