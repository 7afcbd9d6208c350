#pragma once
// Shared by the metadata suites: a picture whose every pixel differs, a colour profile made by Qt,
// files of each format tagged by exiftool, and conversions between QImage, records and byte vectors.

#include "TestSupport.h"
#include "core/PictureRecord.h"

#include <QColorSpace>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace metadatatest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes toBytes(const QByteArray& a) { return Bytes(a.begin(), a.end()); }
inline QByteArray toQt(const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); }

// Odd sides, and no two pixels alike, so that any wrong mirror or turn shows.
inline QImage markedPicture(int width = 13, int height = 7)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 255 / (width - 1), y * 255 / (height - 1), (x * 37 + y * 101) % 256, 255));
    return image;
}

// A picture as a record of 0xAARRGGBB pixels; an empty record when its memory can't be had.
inline quorvanta::PictureRecord recordOf(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    quorvanta::PictureRecord record;
    const auto count = std::uint64_t(image.width()) * std::uint64_t(image.height());
    record.pixels = quorvanta::allocZeroed<std::uint32_t>(count);
    if (!record.pixels)
        return {};
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(record.pixels.get() + std::uint64_t(y) * std::uint64_t(image.width()), image.constScanLine(y),
                    std::size_t(image.width()) * 4);
    record.size = count * 4;
    record.width = std::uint32_t(image.width());
    record.height = std::uint32_t(image.height());
    return record;
}

inline QImage imageOf(const quorvanta::PictureRecord& record)
{
    QImage image(int(record.width), int(record.height), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), record.pixels.get() + std::uint64_t(y) * record.width, record.width * 4);
    return image;
}

// The largest difference of any channel, alpha included, between two pictures; -1 when their sizes differ.
inline int largestDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return largest;
}

// Qt's Display P3 profile, padded to `size` bytes (its header then declares that size) so that a JPEG
// needs several segments to carry it.
inline QByteArray iccProfile(int size = 0)
{
    QByteArray icc = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    if (size > icc.size()) {
        icc.append(QByteArray(size - icc.size(), '\0'));
        for (int i = 0; i < 4; ++i)
            icc[i] = char(std::uint32_t(size) >> (24 - 8 * i));
    }
    return icc;
}

inline const QByteArray kXmp = QByteArrayLiteral(
    "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:format>image/webp</dc:format>"
    "</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>");

inline bool exiftool(const QStringList& arguments, QByteArray* output = nullptr)
{
    return testsupport::run(testsupport::tool("exiftool"), QStringList{"-q", "-q"} + arguments, output);
}

// A block exiftool reads out of a file ("ICC_Profile", "XMP", "EXIF").
inline QByteArray exiftoolBlock(const QString& path, const QString& tag)
{
    QByteArray out;
    return exiftool({"-b", "-" + tag, path}, &out) ? out : QByteArray();
}

// `image` written as `format` ("jpeg", "png", "tiff", "webp") at dir/name.<format>.
inline QString writePicture(const QImage& image, const QString& dir, const QString& name, const QString& format)
{
    const QString path = dir + "/" + name + "." + format;
    if (format != "webp")
        return image.save(path, format.toLatin1().constData(), format == "jpeg" ? 95 : -1) ? path : QString();
    const QString png = dir + "/" + name + ".source.png";
    return image.save(png) && testsupport::run(testsupport::tool("cwebp"), {"-quiet", "-lossless", png, "-o", path})
               ? path
               : QString();
}

// Adds blocks to a WebP with webpmux, one "-set" at a time (webpmux takes one a call).
inline bool webpmuxSet(const QString& path, const QString& what, const QString& blockFile)
{
    return testsupport::run(testsupport::tool("webpmux"), {"-set", what, blockFile, path, "-o", path});
}

} // namespace metadatatest
