#pragma once
// Picks the decoder for a picture held in memory by looking at its content.

#include "import/DecodedPicture.h"

#include <atomic>
#include <cstdint>
#include <span>

namespace quorvanta {

// Our own readers (IFF ILBM/PBM, PCX, TGA) are asked first, each behind its strict content check;
// everything else goes to Qt's image readers.
// Over the decode budget a picture is reduced to at most `reducedArea` pixels where the decoder can.
// `stop`, when given, is read while Qt's readers take in the bytes: once it is true the decode ends
// early as unreadable.
DecodedPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t reducedArea,
                             const std::atomic<bool>* stop = nullptr);
inline DecodedPicture DecodePicture(std::span<const std::uint8_t> bytes)
{
    return DecodePicture(bytes, kDefaultReducedArea);
}

} // namespace quorvanta
