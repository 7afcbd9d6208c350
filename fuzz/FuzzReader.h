#pragma once
// Shared body of the reader fuzz targets: decode the input and touch every pixel handed back, so
// the sanitizers see any buffer that is shorter than width x height.

#include "import/DecodedPicture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace quorvanta::fuzz {

template <class Decode>
int decodeAndTouch(const std::uint8_t* data, std::size_t size, Decode decode)
{
    const DecodedPicture picture = decode(std::span<const std::uint8_t>(data, size));
    if (picture.status != DecodedPicture::Status::Decoded)
        return 0;
    if (!picture.pixels || picture.width == 0 || picture.height == 0)
        std::abort();
    std::uint32_t sum = 0;
    const std::uint64_t count = std::uint64_t(picture.width) * picture.height;
    for (std::uint64_t i = 0; i < count; ++i)
        sum += picture.pixels[i];
    volatile std::uint32_t sink = sum;
    (void)sink;
    return 0;
}

} // namespace quorvanta::fuzz
