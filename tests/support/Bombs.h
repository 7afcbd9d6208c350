#pragma once
// Decompression bombs, made at test time: small files of every format the program reads that
// declare a picture of any size, with a body of a few bytes or of compressible zeros.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace bombs {

// A zlib stream that inflates to `count` zero bytes (about 13 bits for every 258 of them).
QByteArray zlibZeros(std::uint64_t count);

// A PNG of `width` x `height` (colour type 6 at 8 bits unless said otherwise) whose pixels are all
// zero: a whole, valid picture when `wholeBody`, otherwise a body that inflates to its first rows only.
QByteArray png(std::uint32_t width, std::uint32_t height, bool wholeBody = false, int colourType = 6, int bitDepth = 8);

struct Bomb {
    const char* name;
    QByteArray bytes;
    std::uint32_t width = 0, height = 0; // as declared
    bool reducible = false;              // its decoder can show it reduced
    bool animation = false;              // an animated WebP: refused for its canvas
};

// One bomb of every format the program reads that declares about `width` x `height` (each format's
// own limits permitting: a still WebP is at most 16383 on a side).
std::vector<Bomb> everyFormat(std::uint32_t width, std::uint32_t height);

} // namespace bombs
