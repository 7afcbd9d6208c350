#pragma once
// Pictures for the encoding and picture object suites: pictures made at test time, a PNG loader
// standing in for the picture importer, and WebP decoding for comparisons.

#include "AnimationDecode.h"
#include "MetadataFixtures.h"
#include "TestSupport.h"
#include "core/DisplayBuffer.h"
#include "core/PictureRecord.h"
#include "import/ImportPictureFile.h"

#include <QDir>
#include <QImage>
#include <QRandomGenerator>

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <unistd.h>
#include <cstring>
#include <vector>


namespace fixtures {

using namespace quorvanta;

// A smooth gradient with some brightness noise, so that lossy coding has real work; with alpha, a
// ramp that includes fully transparent and fully opaque pixels.
inline QImage makePicture(int width, int height, bool alpha, quint32 seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            const int r = std::min(255, x * 230 / std::max(1, width - 1) + noise);
            const int g = std::min(255, (y * 200 / std::max(1, height - 1) + int(seed) * 40) % 230 + noise);
            const int b = std::min(255, (x + y) % 230 + noise);
            const int a = alpha ? (x * 255 / std::max(1, width - 1)) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

inline bool savePng(const QImage& image, const QString& path)
{
    return image.save(path, "PNG");
}

// Stands in for the picture importer: a PNG (or any format Qt reads) into 0xAARRGGBB pixels.
inline int loadWithQt(const std::string& path, PictureRecord& record)
{
    const QImage image(QString::fromStdString(path));
    if (image.isNull())
        return -1;
    record = metadatatest::recordOf(image);
    return record.pixels ? 1 : -1;
}

inline std::vector<std::uint32_t> pixelsOf(const PictureRecord& record)
{
    return {record.pixels.get(), record.pixels.get() + record.size / 4};
}

// Decoded pixels as 0xAARRGGBB values (BGRA bytes on this little-endian machine).
struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

inline Decoded decodeWebP(const QByteArray& bytes)
{
    Decoded out;
    std::uint8_t* data = WebPDecodeBGRA(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                        std::size_t(bytes.size()), &out.width, &out.height);
    if (data) {
        out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
        std::memcpy(out.pixels.data(), data, out.pixels.size() * 4);
        WebPFree(data);
    }
    return out;
}

// Peak signal-to-noise ratio over the four channels.
using testsupport::psnr4;

// True once the picture importer reads PNG files (it is built separately).
inline bool importerReadsPng()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("probe.png"));
    PictureRecord record;
    return savePng(makePicture(4, 4, false, 1), png) && ImportPictureFile(png.toStdString(), record) == 1;
}

#define REQUIRE_IMPORTER()                                                                               \
    do {                                                                                                 \
        if (!fixtures::importerReadsPng())                                                               \
            QSKIP("ImportPictureFile does not read PNG files in this build yet");                        \
    } while (false)

// Entries of a directory, hidden ones included: shows temporary files left behind.
inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// Frames of an animated WebP, read with libwebp's demuxer.
struct AnimationInfo {
    int frames = 0;
    int loopCount = -1;
    std::uint32_t background = 0;
    std::vector<int> durations;
    std::vector<QSize> sizes;
    std::vector<QPoint> offsets;
    std::vector<std::vector<std::uint32_t>> pixels; // each frame's own bitstream decoded
    bool ok = false;
};

inline AnimationInfo readAnimation(const QByteArray& bytes)
{
    AnimationInfo info;
    WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux)
        return info;
    info.ok = true;
    info.frames = int(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT));
    info.loopCount = int(WebPDemuxGetI(demux, WEBP_FF_LOOP_COUNT));
    info.background = WebPDemuxGetI(demux, WEBP_FF_BACKGROUND_COLOR);
    WebPIterator it;
    if (WebPDemuxGetFrame(demux, 1, &it)) {
        do {
            info.durations.push_back(it.duration);
            info.sizes.emplace_back(it.width, it.height);
            info.offsets.emplace_back(it.x_offset, it.y_offset);
            info.pixels.push_back(decodeWebP(QByteArray(reinterpret_cast<const char*>(it.fragment.bytes),
                                                         qsizetype(it.fragment.size))).pixels);
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
    }
    WebPDemuxDelete(demux);
    return info;
}

// An animated WebP file decoded with libwebp's animation decoder.
inline testsupport::DecodedAnimation decodeAnimationFile(const QString& path)
{
    const QByteArray bytes = testsupport::readAll(path);
    return testsupport::decodeAnimation({bytes.begin(), bytes.end()});
}

// 0xAARRGGBB with its colour premultiplied by alpha, rounded as the screen's layout has it.
inline std::uint32_t premultiplied(std::uint32_t argb)
{
    const std::uint32_t a = argb >> 24;
    std::uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((argb >> shift) & 0xFF) * a + 127) / 255 << shift;
    return out;
}

// The display buffer's pixels as 0xAARRGGBB values, whatever its layout: premultiplied native words
// are brought back to straight colour (exact for opaque and fully transparent pixels).
template <class State>
std::vector<std::uint32_t> shownPixels(const State& d)
{
    const std::size_t count = std::size_t(d.width) * d.height;
    if (d.pixelFormat != quorvanta::PixelFormat::PremultipliedNative &&
        d.pixelFormat != quorvanta::PixelFormat::OpaqueNative)
        return testsupport::argbBytesToPixels(d.pixels.data.get(), count);
    std::vector<std::uint32_t> out(count);
    std::memcpy(out.data(), d.pixels.data.get(), count * 4);
    for (std::uint32_t& p : out) {
        const std::uint32_t a = p >> 24;
        std::uint32_t straight = a << 24;
        for (int shift = 0; a != 0 && shift < 24; shift += 8)
            straight |= std::min<std::uint32_t>(255, (((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
        p = straight;
    }
    return out;
}

// The display buffer's pixels premultiplied, as the screen takes them, whatever its layout.
template <class State>
std::vector<std::uint32_t> shownPremultiplied(const State& d)
{
    std::vector<std::uint32_t> out = shownPixels(d);
    if (d.pixelFormat == quorvanta::PixelFormat::PremultipliedNative || d.pixelFormat == quorvanta::PixelFormat::OpaqueNative)
        std::memcpy(out.data(), d.pixels.data.get(), out.size() * 4);
    else
        for (std::uint32_t& p : out)
            p = premultiplied(p);
    return out;
}

using testsupport::StdoutCapture;

} // namespace fixtures
