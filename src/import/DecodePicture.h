#pragma once
// Picks the decoder for a picture held in memory by looking at its content.

#include "import/DecodedPicture.h"

#include <cstdint>
#include <span>

namespace quorvanta {

// Our own readers (IFF ILBM/PBM, PCX, TGA) are asked first, each behind its strict content check;
// everything else goes to Qt's image readers.
DecodedPicture DecodePicture(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
