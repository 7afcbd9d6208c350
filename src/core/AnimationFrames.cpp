#include "core/AnimationFrames.h"

#include <algorithm>
#include <cstring>

namespace quorvanta {

void ComposeOntoCanvas(const FramePixels& frame, std::uint32_t* canvas, std::uint32_t canvasWidth,
                       std::uint32_t canvasHeight)
{
    if (!canvas)
        return;
    const std::uint32_t width = frame.data ? std::min(frame.width, canvasWidth) : 0;
    const std::uint32_t height = frame.data ? std::min(frame.height, canvasHeight) : 0;
    const std::size_t stride = frame.strideBytes ? frame.strideBytes : std::size_t(frame.width) * 4;
    const auto* source = static_cast<const std::uint8_t*>(frame.data);
    for (std::uint32_t y = 0; y < canvasHeight; ++y) {
        std::uint32_t* row = canvas + std::size_t(y) * canvasWidth;
        std::uint32_t done = 0;
        if (y < height) {
            const std::uint8_t* in = source + std::size_t(y) * stride;
            if (frame.order == PixelOrder::Argb32) {
                std::memcpy(row, in, std::size_t(width) * 4);
            } else {
                for (std::uint32_t x = 0; x < width; ++x, in += 4)
                    row[x] = (std::uint32_t(in[3]) << 24) | (std::uint32_t(in[0]) << 16) |
                             (std::uint32_t(in[1]) << 8) | in[2];
            }
            done = width;
        }
        std::fill(row + done, row + canvasWidth, 0u);
    }
}

} // namespace quorvanta
