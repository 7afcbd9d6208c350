#pragma once
// Encodes a long list of pictures as an animation on several threads at once.
//
// libwebp's animation encoder takes frames one after the other, each coded against the canvas the one
// before it left, so one encoder keeps one core busy. The list is cut into pieces, one encoder for
// each, all at work at the same time; every piece but the first starts with a lead-in (the picture
// before its first, see AnimationSplice.h), so that its first frame is coded against the same canvas
// as in one long encoding. The pieces are then joined without coding anything again.
//
// A piece starts only where its first picture is opaque and covers the whole canvas: whatever its
// encoder decides about the lead-in (kept under it or cleared to transparent), such a frame leaves the
// canvas as one long encoding would. Where no such picture is near the cut, the piece before goes on
// further instead.

#include "encoding/AnimationAssembler.h"
#include "encoding/ImportAhead.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvanta {

struct FilesEncoded {
    AnimationResult result;
    std::vector<std::string> leftOut; // files that are no picture or failed to import, in list order
    bool joined = true;               // false: the pieces could not be joined; encode them in one piece
};

// How many pieces a list of `pictures` on a canvas of `canvasBytes` is cut into on `threads` threads
// (1: not cut); all of them together stay within the decode budget.
unsigned pieceCount(std::size_t pictures, unsigned threads, std::uint64_t canvasBytes);

// Encodes `pictures` (every one found to be a picture, the canvas their largest width and height) in
// `pieces` pieces, each picture lasting `durationMs`. `progress` runs on the calling thread.
FilesEncoded EncodeInPieces(const std::vector<std::string>& pictures, std::uint32_t width, std::uint32_t height,
                            const AnimationSettings& settings, int durationMs, const PictureImporter& importer,
                            const AnimationProgress& progress, const std::atomic<bool>* cancel, unsigned pieces);

} // namespace quorvanta
