#pragma once
// Animated GIFs for the reader tests, made with ImageMagick's convert or written byte by byte, and
// what gif2webp makes of them, decoded by libwebp, to compare our frames with.

#include "AnimationDecode.h"
#include "TestSupport.h"
#include "core/AnimationFrames.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace giftest {

// One frame for convert: its disposal and delay, the image, then its place on the screen. -repage
// goes after the image: a -page setting inside the parentheses would reach every frame.
inline QStringList frame(const char* dispose, int delay, const QString& page, const QStringList& image)
{
    return QStringList{"(", "-dispose", dispose, "-delay", QString::number(delay)} + image +
           QStringList{"-repage", page, ")"};
}

inline bool convertGif(const QStringList& arguments, const QString& path)
{
    return testsupport::run(QStringLiteral("convert"), arguments + QStringList{path});
}

inline bool haveTools()
{
    return testsupport::haveTool(QStringLiteral("convert")) && testsupport::haveTool(QStringLiteral("gif2webp"));
}

// gif2webp's animation (its default options: lossless) of the GIF at `path`, decoded; not ok when it
// fails.
inline testsupport::DecodedAnimation gif2webpFrames(const QString& path)
{
    const QString webp = path + QStringLiteral(".webp");
    if (!testsupport::run(QStringLiteral("gif2webp"), {QStringLiteral("-quiet"), path, QStringLiteral("-o"), webp}))
        return {};
    const QByteArray bytes = testsupport::readAll(webp);
    return testsupport::decodeAnimation({bytes.begin(), bytes.end()});
}

inline std::vector<std::uint32_t> pixelsOf(const quorvanta::AnimationFrame& frame)
{
    return {frame.pixels.get(), frame.pixels.get() + std::size_t(frame.width) * frame.height};
}

// The first difference between our frames and the reference, or an empty text. A frame equal to the
// one before it is merged into it with both durations, as the WebP animation encoder stores it.
inline QString difference(const std::vector<quorvanta::AnimationFrame>& ours,
                          const testsupport::DecodedAnimation& reference)
{
    std::vector<std::vector<std::uint32_t>> canvases;
    std::vector<int> durations;
    for (const quorvanta::AnimationFrame& frame : ours) {
        std::vector<std::uint32_t> pixels = testsupport::clearTransparent(pixelsOf(frame));
        if (!canvases.empty() && canvases.back() == pixels) {
            durations.back() += frame.durationMs;
            continue;
        }
        canvases.push_back(std::move(pixels));
        durations.push_back(frame.durationMs);
    }
    if (canvases.size() != reference.frames.size())
        return QStringLiteral("%1 frames, gif2webp has %2").arg(canvases.size()).arg(reference.frames.size());
    for (std::size_t i = 0; i < canvases.size(); ++i) {
        if (durations[i] != reference.durations[i])
            return QStringLiteral("frame %1 lasts %2 ms, not %3").arg(i).arg(durations[i]).arg(reference.durations[i]);
        const std::vector<std::uint32_t> want = testsupport::clearTransparent(reference.frames[i]);
        for (std::size_t p = 0; p < want.size(); ++p)
            if (canvases[i][p] != want[p])
                return QStringLiteral("frame %1, pixel %2,%3: %4, not %5")
                    .arg(i).arg(p % std::size_t(reference.width)).arg(p / std::size_t(reference.width))
                    .arg(canvases[i][p], 8, 16, QLatin1Char('0')).arg(want[p], 8, 16, QLatin1Char('0'));
    }
    return {};
}

// A GIF written byte by byte, for what convert will not write. Colour i of every map is
// (i, 255 - i, 7 i mod 256); a map of 0 colours is left out.
class GifWriter {
public:
    GifWriter(int width, int height, int globalColors)
    {
        bytes = "GIF89a" + le16(width) + le16(height) + packed(globalColors, 0x70) + QByteArray(2, '\0') +
                palette(globalColors);
    }
    GifWriter& loop(int count)
    {
        bytes += QByteArray("!\xff\x0bNETSCAPE2.0\x03\x01") + le16(count) + '\0';
        return *this;
    }
    GifWriter& control(int delay, int disposal, int transparent = -1)
    {
        bytes += QByteArray("!\xf9\x04") + char(disposal << 2 | (transparent >= 0)) + le16(delay) + char(std::max(transparent, 0)) + '\0';
        return *this;
    }
    // Indices are coded with 8-bit LZW, a clear code before each, so the code width stays 9 bits.
    GifWriter& image(int x, int y, int width, int height, const QByteArray& indices, int localColors = 0)
    {
        bytes += ',' + le16(x) + le16(y) + le16(width) + le16(height) + packed(localColors, 0) + palette(localColors) + '\x08';
        QByteArray data;
        std::uint32_t bits = 0;
        int count = 0;
        const auto put = [&](std::uint32_t code) {
            for (bits |= code << count, count += 9; count >= 8; bits >>= 8, count -= 8)
                data += char(bits & 0xFF);
        };
        for (const char index : indices) {
            put(256);
            put(std::uint8_t(index));
        }
        put(257);
        if (count > 0)
            data += char(bits);
        for (qsizetype i = 0; i < data.size(); i += 255)
            bytes += char(std::min<qsizetype>(255, data.size() - i)) + data.mid(i, 255);
        bytes += '\0';
        return *this;
    }
    QByteArray finish() const { return bytes + ';'; }

    static std::uint32_t color(int i) { return 0xFF000000u | std::uint32_t(i) << 16 | std::uint32_t(255 - i) << 8 | std::uint32_t(7 * i % 256); }

private:
    static QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8 & 0xFF); }
    static int bitsFor(int colors)
    {
        int bits = 1;
        while ((1 << bits) < colors)
            ++bits;
        return bits;
    }
    // The byte of flags that says whether a colour map follows and how large it is.
    static QByteArray packed(int colors, int otherFlags)
    {
        return QByteArray(1, char(colors ? 0x80 | otherFlags | (bitsFor(colors) - 1) : otherFlags));
    }
    static QByteArray palette(int colors)
    {
        QByteArray out;
        for (int i = 0; colors && i < (1 << bitsFor(colors)); ++i)
            out += QByteArray(1, char(i)) + char(255 - i) + char(7 * i % 256);
        return out;
    }
    QByteArray bytes;
};

// Five frames on an 8 x 6 screen: every disposal (none, previous, background, unspecified), a
// transparent index in most, offsets, a local colour map, a delay of 0; looping extension 2 (three
// passes in WebP terms).
inline GifWriter disposalGif()
{
    GifWriter gif(8, 6, 4);
    gif.loop(2);
    gif.control(10, 1).image(0, 0, 8, 6, QByteArray(48, '\1'));
    gif.control(20, 3, 0).image(2, 1, 4, 3, QByteArray("\0\2\2\0\2\0\0\2\2\2\0\0", 12));
    gif.control(30, 2, 3).image(1, 2, 3, 3, QByteArray("\2\3\2\3\2\3\2\3\2", 9));
    gif.control(0, 0).image(5, 3, 3, 3, QByteArray(9, '\5'), 8);
    gif.control(40, 1, 1).image(0, 0, 8, 6, QByteArray(20, '\1') + QByteArray(8, '\3') + QByteArray(20, '\1'));
    return gif;
}

} // namespace giftest
