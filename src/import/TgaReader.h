#pragma once
// Truevision TGA pictures: colour-mapped, true-colour and grey, uncompressed and run-length encoded.

#include "import/DecodedPicture.h"

#include <cstdint>
#include <span>

namespace quorvanta {

// True when the bytes start with a TGA header that is consistent in every field we can check.
// TGA has no signature, so this is strict: it must not claim PNG, BMP, cursors, text and the like.
bool LooksLikeTga(std::span<const std::uint8_t> bytes);

// Decodes a TGA picture; Unreadable for anything LooksLikeTga refuses and for short or lying files.
DecodedPicture DecodeTga(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
