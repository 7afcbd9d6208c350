// Fuzzes the still WebP path as loading takes it: sorting the bytes by content, then decoding a still
// picture straight into the display buffer. Every byte of the buffer is read back, so the sanitizers
// see a buffer shorter than width x height x 4 or a decoder write outside it.

#include "viewing/WebPFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <webp/decode.h>

namespace {

// Pictures larger than this are only sorted, not decoded: a 16383 x 16383 header costs 1 GiB of
// buffer, which would make the fuzzer crawl. The large path has tests of its own.
constexpr std::uint64_t kMaxFuzzPixels = 4u << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvanta;
    const std::span<const std::uint8_t> bytes(data, size);
    const int kind = ClassifyFile(bytes);
    if (kind != KindStill && kind != KindAnimated && kind != KindNotWebP)
        std::abort();
    if (kind == KindNotWebP)
        return 0;
    int width = 0, height = 0;
    if (!WebPGetInfo(data, size, &width, &height) || std::uint64_t(width) * std::uint64_t(height) > kMaxFuzzPixels)
        return 0;

    const StillPicture still = DecodeWebPStill(bytes);
    if (!still.configured)
        return 0;
    if (still.decoded && (kind != KindStill || !still.pixels))
        std::abort(); // an animation or a missing buffer must never count as a decoded still
    if (!still.pixels)
        return 0;
    if (still.pixels.size != std::uint64_t(still.width) * still.height * 4 ||
        std::uint64_t(still.bytesPerRow) * still.height > still.pixels.size)
        std::abort();
    std::uint32_t sum = 0;
    for (std::uint64_t i = 0; i < still.pixels.size; ++i)
        sum += still.pixels.data.get()[i];
    volatile std::uint32_t sink = sum;
    (void)sink;
    return 0;
}
