#pragma once
// Pictures for the import tests: sources drawn in code, and a pixel-by-pixel comparison with an
// expected picture.

#include "import/ImportPictureFile.h"

#include "TestSupport.h"

#include <QColor>
#include <QImage>

#include <cstdlib>

namespace importtest {

// Sources drawn in code with known pixels. Odd sizes exercise row padding in every format.
inline QImage sourcePicture(const QString& kind, int width = 37, int height = 23)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = x * 255 / (width - 1);
            const int g = y * 255 / (height - 1);
            const int block = (x / 5 + y / 4 * 8) % 16;
            QColor c(r, g, 160, 255);
            if (kind == QLatin1String("rgba"))
                c.setAlpha((x + y) * 255 / (width + height - 2));
            else if (kind == QLatin1String("rgbahalf")) // alpha from 128 to 255
                c.setAlpha(128 + (x + y) * 127 / (width + height - 2));
            else if (kind == QLatin1String("grey"))
                c = QColor(r, r, r);
            else if (kind == QLatin1String("colors16") || kind == QLatin1String("colors16a"))
                c = QColor(block * 16, 255 - block * 13, (block * 67) % 256,
                           kind.endsWith(QLatin1Char('a')) && block == 3 ? 0 : 255);
            else if (kind == QLatin1String("colors4"))
                c = QColor::fromRgb(QList<QRgb>{0xff000000, 0xffff0000, 0xff00ff00, 0xffffffff}[block % 4]);
            else if (kind == QLatin1String("bilevel"))
                c = (x + y / 3) % 3 ? Qt::white : Qt::black;
            image.setPixel(x, y, c.rgba());
        }
    }
    return image;
}

// Imports `path` and compares every pixel with `expected` (both as 0xAARRGGBB), each channel within
// `tolerance`. Fully transparent pixels compare only their alpha: their colour is not kept by
// every writer.
inline void verifyImportMatches(const QString& path, const QImage& expected, int tolerance)
{
    quorvanta::PictureRecord record;
    QCOMPARE(quorvanta::ImportPictureFile(testsupport::bytesOf(path), record), 1);
    QCOMPARE(record.width, std::uint32_t(expected.width()));
    QCOMPARE(record.height, std::uint32_t(expected.height()));
    QCOMPARE(record.size, std::uint64_t(expected.width()) * std::uint64_t(expected.height()) * 4);
    QVERIFY(record.pixels);
    const QImage want = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb w = want.pixel(x, y);
            const QRgb g = record.pixels[std::size_t(y) * want.width() + x];
            const auto off = [&](int shift) { return std::abs(int((w >> shift) & 255) - int((g >> shift) & 255)); };
            const bool transparent = qAlpha(w) == 0 && qAlpha(g) == 0;
            const int worst = transparent ? 0 : std::max({off(0), off(8), off(16), off(24)});
            if (worst > tolerance)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2: got %3, want %4")
                                     .arg(x).arg(y).arg(g, 8, 16, QLatin1Char('0')).arg(w, 8, 16, QLatin1Char('0'))));
        }
    }
}

// Runs a shell command line; false when it fails.
inline bool shell(const QString& commandLine)
{
    return testsupport::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
}

} // namespace importtest
