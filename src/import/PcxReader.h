#pragma once
// ZSoft PCX pictures: 1-bit planar (2 to 16 colours), 2- and 4-bit packed, 8-bit with the
// 256-colour palette at the end, 24-bit and 32-bit (three or four 8-bit planes).

#include "import/DecodedPicture.h"

#include <cstdint>
#include <span>

namespace quorvanta {

// True when the bytes start with a PCX header whose fields are all consistent.
bool LooksLikePcx(std::span<const std::uint8_t> bytes);

// Decodes a PCX picture; Unreadable for anything LooksLikePcx refuses and for short or lying files.
DecodedPicture DecodePcx(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
