#include "viewing/NativePixels.h"

#include <vector>

namespace quorvanta {

bool premultiplyToNative(const std::uint8_t* in, std::uint32_t* out, std::uint64_t pixels)
{
    // No branches in the loop, so that the compiler can vectorise it.
    std::uint32_t allAlpha = 0xFF;
    for (std::uint64_t i = 0; i < pixels; ++i) {
        const std::uint32_t a = in[4 * i];
        out[i] = (a << 24) | (premultipliedChannel(a, in[4 * i + 1]) << 16) |
                 (premultipliedChannel(a, in[4 * i + 2]) << 8) | premultipliedChannel(a, in[4 * i + 3]);
        allAlpha &= a;
    }
    return allAlpha == 0xFF;
}

bool reduceToNative(const std::uint8_t* in, std::uint32_t width, std::uint32_t height, std::uint32_t factor,
                    std::uint32_t* out)
{
    const std::uint32_t across = width / factor, down = height / factor;
    const std::uint32_t area = factor * factor;
    // Sums of a block fit 32 bits while factor * factor * 255 * 255 does (factor up to 256).
    if (factor == 0 || factor > 256)
        return false;
    const std::uint32_t colourDivisor = area * 255;
    std::uint32_t allAlpha = 0xFF;
    if (factor == 2) {
        // The common case (a canvas of 4K and the like), spelt out so that the loop has no inner ones.
        for (std::uint32_t oy = 0; oy < down; ++oy) {
            const std::uint8_t* p = in + std::uint64_t{oy} * 2 * width * 4;
            const std::uint8_t* q = p + std::uint64_t{width} * 4;
            std::uint32_t* outRow = out + std::uint64_t{oy} * across;
            for (std::uint32_t ox = 0; ox < across; ++ox, p += 8, q += 8) {
                const std::uint32_t a0 = p[0], a1 = p[4], a2 = q[0], a3 = q[4];
                auto colour = [&](int c) {
                    return (a0 * p[c] + a1 * p[c + 4] + a2 * q[c] + a3 * q[c + 4] + 510) / 1020;
                };
                const std::uint32_t a = (a0 + a1 + a2 + a3 + 2) / 4;
                outRow[ox] = a << 24 | colour(1) << 16 | colour(2) << 8 | colour(3);
                allAlpha &= a;
            }
        }
        return allAlpha == 0xFF;
    }
    for (std::uint32_t oy = 0; oy < down; ++oy) {
        const std::uint8_t* top = in + std::uint64_t{oy} * factor * width * 4;
        std::uint32_t* outRow = out + std::uint64_t{oy} * across;
        for (std::uint32_t ox = 0; ox < across; ++ox) {
            std::uint32_t sa = 0, sr = 0, sg = 0, sb = 0;
            for (std::uint32_t y = 0; y < factor; ++y) {
                const std::uint8_t* p = top + (std::uint64_t{y} * width + std::uint64_t{ox} * factor) * 4;
                for (std::uint32_t x = 0; x < factor; ++x, p += 4) {
                    const std::uint32_t a = p[0];
                    sa += a;
                    sr += a * p[1];
                    sg += a * p[2];
                    sb += a * p[3];
                }
            }
            const std::uint32_t a = (sa + area / 2) / area;
            auto colour = [&](std::uint32_t sum) { return (sum + colourDivisor / 2) / colourDivisor; };
            outRow[ox] = a << 24 | colour(sr) << 16 | colour(sg) << 8 | colour(sb);
            allAlpha &= a;
        }
    }
    return allAlpha == 0xFF;
}

void reduceNative(const std::uint32_t* in, std::uint32_t width, std::uint32_t height, std::uint32_t factor,
                  std::uint32_t* out)
{
    const std::uint32_t across = width / factor, down = height / factor;
    const std::uint32_t area = factor * factor;
    if (factor == 2) {
        for (std::uint32_t oy = 0; oy < down; ++oy) {
            const std::uint32_t* p = in + std::uint64_t{oy} * 2 * width;
            const std::uint32_t* q = p + width;
            std::uint32_t* outRow = out + std::uint64_t{oy} * across;
            for (std::uint32_t ox = 0; ox < across; ++ox, p += 2, q += 2) {
                auto mean = [&](int shift) {
                    return (((p[0] >> shift) & 0xFF) + ((p[1] >> shift) & 0xFF) + ((q[0] >> shift) & 0xFF) +
                            ((q[1] >> shift) & 0xFF) + 2) / 4;
                };
                outRow[ox] = mean(24) << 24 | mean(16) << 16 | mean(8) << 8 | mean(0);
            }
        }
        return;
    }
    std::vector<std::uint32_t> sums(std::size_t{across} * 4);
    for (std::uint32_t oy = 0; oy < down; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        for (std::uint32_t y = oy * factor; y < (oy + 1) * factor; ++y) {
            const std::uint32_t* row = in + std::uint64_t{y} * width;
            for (std::uint32_t x = 0; x < across * factor; ++x) {
                const std::uint32_t p = row[x];
                std::uint32_t* sum = &sums[std::size_t{x / factor} * 4];
                sum[0] += p >> 24;
                sum[1] += (p >> 16) & 0xFF;
                sum[2] += (p >> 8) & 0xFF;
                sum[3] += p & 0xFF;
            }
        }
        std::uint32_t* outRow = out + std::uint64_t{oy} * across;
        for (std::uint32_t ox = 0; ox < across; ++ox) {
            const std::uint32_t* sum = &sums[std::size_t{ox} * 4];
            auto mean = [area](std::uint32_t s) { return (s + area / 2) / area; };
            outRow[ox] = mean(sum[0]) << 24 | mean(sum[1]) << 16 | mean(sum[2]) << 8 | mean(sum[3]);
        }
    }
}

} // namespace quorvanta
