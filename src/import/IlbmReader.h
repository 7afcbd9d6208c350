#pragma once
// IFF interleaved bitmaps (FORM ILBM) and their chunky variant (FORM PBM): 1 to 8 planes with a
// colour map, Extra-Half-Brite, HAM6 and HAM8, 24- and 32-bit deep pictures, ByteRun1 or plain
// bodies, and alpha from a mask plane or a transparent colour.

#include "import/DecodedPicture.h"

#include <cstdint>
#include <span>

namespace quorvanta {

// True when the bytes are an IFF FORM of type ILBM or PBM.
bool LooksLikeIlbm(std::span<const std::uint8_t> bytes);

// Decodes the picture; Unreadable for anything LooksLikeIlbm refuses and for short or lying files.
DecodedPicture DecodeIlbm(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
