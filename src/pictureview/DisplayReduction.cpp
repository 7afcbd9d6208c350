#include "pictureview/DisplayReduction.h"

#include <algorithm>
#include <vector>

namespace quorvanta {

namespace {

// Sums of one output pixel's block: alpha, and the colours weighted by alpha.
struct Block {
    std::uint64_t a = 0, r = 0, g = 0, b = 0, count = 0;

    void add(std::uint32_t alpha, std::uint32_t red, std::uint32_t green, std::uint32_t blue)
    {
        a += alpha;
        r += std::uint64_t(red) * alpha;
        g += std::uint64_t(green) * alpha;
        b += std::uint64_t(blue) * alpha;
        ++count;
    }
    // Unpremultiplied 8-bit channels.
    std::uint32_t alpha() const { return count ? std::uint32_t(a / count) : 0; }
    std::uint32_t colour(std::uint64_t sum) const { return a ? std::uint32_t(sum / a) : 0; }
    // Premultiplied 8-bit channels.
    std::uint32_t premultiplied(std::uint64_t sum) const { return count ? std::uint32_t(sum / (255 * count)) : 0; }
};

// Runs `take(x, y, block)` over every source pixel of the output row `outY`, then `put(outX, block)`
// for each output pixel of it.
template <class Take, class Put>
void reduceRow(std::uint32_t width, std::uint32_t rows, std::uint32_t factor, std::uint32_t outY, Take take, Put put)
{
    const std::uint32_t outWidth = width / factor;
    std::vector<Block> blocks(outWidth);
    const std::uint32_t top = outY * factor;
    for (std::uint32_t y = top; y < std::min(top + factor, rows); ++y)
        for (std::uint32_t x = 0; x < outWidth * factor; ++x)
            take(x, y, blocks[x / factor]);
    for (std::uint32_t x = 0; x < outWidth; ++x)
        put(x, blocks[x]);
}

} // namespace

std::uint32_t drawnReduction(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t across = (width + kDrawnWidthLimit - 1) / kDrawnWidthLimit;
    const std::uint32_t down = (height + kDrawnHeightLimit - 1) / kDrawnHeightLimit;
    return std::max({across, down, 1u});
}

bool reduceRecordToDisplay(const PictureRecord& record, std::uint32_t factor, DisplayBuffer& out,
                           std::uint32_t& width, std::uint32_t& height)
{
    factor = std::max(factor, 1u);
    width = std::max(record.width / factor, 1u);
    height = std::max(record.height / factor, 1u);
    out.reset();
    ensureDisplayBuffer(out, width, height);
    if (!out || !record.pixels || record.width < factor || record.height < factor)
        return bool(out);
    const std::uint32_t* in = record.pixels.get();
    for (std::uint32_t outY = 0; outY < height; ++outY) {
        std::uint8_t* row = out.data.get() + std::uint64_t(outY) * width * 4;
        reduceRow(
            record.width, record.height, factor, outY,
            [&](std::uint32_t x, std::uint32_t y, Block& block) {
                const std::uint32_t v = in[std::uint64_t(y) * record.width + x];
                block.add(v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
            },
            [&](std::uint32_t x, const Block& block) {
                std::uint8_t* p = row + 4 * std::uint64_t(x);
                p[0] = std::uint8_t(block.alpha());
                p[1] = std::uint8_t(block.colour(block.r));
                p[2] = std::uint8_t(block.colour(block.g));
                p[3] = std::uint8_t(block.colour(block.b));
            });
    }
    return true;
}

QImage reduceDisplayToImage(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t rows,
                            std::uint32_t bytesPerRow, std::uint32_t bytesPerPixel, std::uint32_t factor)
{
    factor = std::max(factor, 1u);
    const bool opaque = bytesPerPixel == 3;
    QImage image(int(std::max(width / factor, 1u)), int(std::max(rows / factor, 1u)),
                 opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || width < factor || rows < factor) {
        image.fill(0);
        return image;
    }
    for (int outY = 0; outY < image.height(); ++outY) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(outY));
        reduceRow(
            width, rows, factor, std::uint32_t(outY),
            [&](std::uint32_t x, std::uint32_t y, Block& block) {
                const std::uint8_t* p = pixels + std::uint64_t(y) * bytesPerRow + std::uint64_t(x) * bytesPerPixel;
                if (opaque)
                    block.add(255, p[0], p[1], p[2]);
                else
                    block.add(p[0], p[1], p[2], p[3]);
            },
            [&](std::uint32_t x, const Block& block) {
                line[x] = opaque ? qRgb(int(block.colour(block.r)), int(block.colour(block.g)), int(block.colour(block.b)))
                                 : qRgba(int(block.premultiplied(block.r)), int(block.premultiplied(block.g)),
                                         int(block.premultiplied(block.b)), int(block.alpha()));
            });
    }
    return image;
}

} // namespace quorvanta
