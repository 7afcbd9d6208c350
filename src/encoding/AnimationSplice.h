#pragma once
// Joins animated WebP files that were encoded in pieces into one animation, frame by frame, without
// coding any frame again.
//
// A piece after the first starts with a lead-in: the picture that ends the piece before it, encoded
// once more so that the piece's encoder codes its next frames against the same canvas the whole
// animation has there. The lead-in is left out of the join; the frame before it in the previous piece
// lasts until the first frame the piece keeps, which covers pictures the encoder merged into the
// lead-in because they did not differ from it.

#include <cstdint>
#include <string>
#include <vector>

namespace quorvanta {

struct EncodedPiece {
    std::vector<std::uint8_t> bytes; // a WebP file, animated or still
    bool leadIn = false;             // the first frame repeats the previous piece's last picture
    long long leadInMs = 0;          // how long the lead-in picture was given to the encoder
    long long keptMs = 0;            // how long the pictures after the lead-in were given in all
};

struct AnimationLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int loopCount = 0;
    std::uint32_t background = 0xFFFFFFFF; // 0xAARRGGBB
};

// The joined file; empty with `error` set when a piece is no WebP or a frame would last longer than
// the container can say.
std::vector<std::uint8_t> SpliceAnimation(const std::vector<EncodedPiece>& pieces, const AnimationLayout& layout,
                                          std::string& error);

} // namespace quorvanta
