#include "import/ColourProfile.h"

#include "import/SourceMetadata.h"

#include <QImage>

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvanta {

namespace {

// Rows converted at once: enough for Qt's conversion to run at full speed, few enough to cost little
// memory beside a large picture.
constexpr std::uint32_t kBandRows = 64;

void unpackRow(const std::uint8_t* in, QRgb* out, std::uint32_t width, PixelFormat format)
{
    if (format == PixelFormat::RGB) {
        for (std::uint32_t x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
    } else {
        for (std::uint32_t x = 0; x < width; ++x, in += 4)
            out[x] = qRgba(in[1], in[2], in[3], in[0]);
    }
}

void packRow(const QRgb* in, std::uint8_t* out, std::uint32_t width, PixelFormat format)
{
    if (format == PixelFormat::RGB) {
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            out[0] = std::uint8_t(qRed(in[x]));
            out[1] = std::uint8_t(qGreen(in[x]));
            out[2] = std::uint8_t(qBlue(in[x]));
        }
    } else {
        for (std::uint32_t x = 0; x < width; ++x, out += 4) {
            out[1] = std::uint8_t(qRed(in[x]));
            out[2] = std::uint8_t(qGreen(in[x]));
            out[3] = std::uint8_t(qBlue(in[x]));
        }
    }
}

} // namespace

std::optional<QColorTransform> DisplayTransform(std::span<const std::uint8_t> icc, const QColorSpace& screen)
{
    if (icc.empty() || icc.size() > std::size_t(std::numeric_limits<qsizetype>::max()))
        return std::nullopt;
    const QColorSpace source = QColorSpace::fromIccProfile(
        QByteArray::fromRawData(reinterpret_cast<const char*>(icc.data()), qsizetype(icc.size())));
    const QColorSpace target = screen.isValid() ? screen : QColorSpace(QColorSpace::SRgb);
    if (!source.isValid() || source == target)
        return std::nullopt;
    QColorTransform transform = source.transformationToColorSpace(target);
    if (transform.isIdentity())
        return std::nullopt;
    return transform;
}

bool ConvertDisplayColours(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                           std::uint32_t bytesPerRow, PixelFormat format, const QColorTransform& transform)
{
    const std::uint64_t bytesPerPixel = format == PixelFormat::RGB ? 3 : 4;
    if (!pixels || width == 0 || height == 0 || width > 0x7FFFFFFF || bytesPerRow < width * bytesPerPixel ||
        height > 0x7FFFFFFF)
        return false;
    // Rows in the layout the screen paints are Qt's own pixels: converted where they lie.
    if (format == PixelFormat::OpaqueNative || format == PixelFormat::PremultipliedNative) {
        QImage rows(pixels, int(width), int(height), qsizetype(bytesPerRow),
                    format == PixelFormat::OpaqueNative ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        rows.applyColorTransform(transform);
        return rows.constBits() == pixels;
    }
    // Opaque pixels convert as RGB32, so that the conversion need not look at alpha.
    const QImage::Format bandFormat = format == PixelFormat::RGB ? QImage::Format_RGB32 : QImage::Format_ARGB32;
    QImage band(int(width), int(std::min(kBandRows, height)), bandFormat);
    if (band.isNull())
        return false;
    for (std::uint32_t top = 0; top < height; top += kBandRows) {
        const std::uint32_t rows = std::min(kBandRows, height - top);
        if (rows != std::uint32_t(band.height()))
            band = band.copy(0, 0, int(width), int(rows)); // the last, shorter band
        if (band.isNull())
            return false; // rows already converted stay converted: the picture is redrawn at the next install
        for (std::uint32_t r = 0; r < rows; ++r)
            unpackRow(pixels + std::uint64_t(top + r) * bytesPerRow, reinterpret_cast<QRgb*>(band.scanLine(int(r))),
                      width, format);
        band.applyColorTransform(transform);
        for (std::uint32_t r = 0; r < rows; ++r)
            packRow(reinterpret_cast<const QRgb*>(band.constScanLine(int(r))),
                    pixels + std::uint64_t(top + r) * bytesPerRow, width, format);
    }
    return true;
}

bool ColourManagedAnimation::show(std::int32_t number, DisplayBuffer& canvas)
{
    const bool shown = source->show(number, composed);
    if (!composed) {
        canvas.reset();
        return false;
    }
    ensureDisplayBuffer(canvas, canvasWidth(), canvasHeight());
    if (!canvas || canvas.size != composed.size) {
        canvas.reset();
        return false;
    }
    std::memcpy(canvas.data.get(), composed.data.get(), static_cast<std::size_t>(composed.size));
    if (converting)
        ConvertDisplayColours(canvas.data.get(), canvasWidth(), canvasHeight(), canvasWidth() * 4, PixelFormat::ARGB,
                              transform);
    return shown;
}

std::unique_ptr<PlayableAnimation> ManageAnimationColours(std::unique_ptr<PlayableAnimation> animation,
                                                          std::span<const std::uint8_t> bytes,
                                                          const QColorSpace& screen)
{
    if (!animation)
        return animation;
    const std::optional<QColorTransform> transform = DisplayTransform(ReadWebPMetadata(bytes).icc, screen);
    if (!transform)
        return animation;
    return std::make_unique<ColourManagedAnimation>(std::move(animation), *transform);
}

} // namespace quorvanta
