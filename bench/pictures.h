#pragma once
// Pictures the benchmarks work on: a PNG read into 0xAARRGGBB words, and a noisy gradient made in
// code, the same for every run of a seed.

#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

inline std::vector<std::uint32_t> argbOf(const std::string& png, int& width, int& height)
{
    const QImage image = QImageReader(QString::fromStdString(png)).read().convertToFormat(QImage::Format_ARGB32);
    width = image.width();
    height = image.height();
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        std::copy_n(reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)), width,
                    pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    return pixels;
}

// Red across, green down, blue random: opaque, in `format` (a 32-bit one).
inline QImage noisyGradient(int width, int height, QImage::Format format, quint32 seed)
{
    QImage image(width, height, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 255) / width, (y * 255) / height, int(random.bounded(256)));
    }
    return image;
}

} // namespace bench
