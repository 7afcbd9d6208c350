#include "import/QtPictureReader.h"

#include "import/BmpHeaderWidening.h"
#include "import/TruncationChecks.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <cstring>
#include <mutex>

namespace quorvanta {

namespace {

// Qt's limit is counted in MiB of its own image format, which can be 8 bytes a pixel (16-bit PNG).
constexpr int kQtAllocationLimitMiB = int(kMaxPicturePixels * 8 >> 20);

// Qt's image handlers warn about bad data while we decode. One filter is installed for the whole
// program; it drops messages only on a thread that is inside a decode, so imports may run on several
// threads at once without swapping handlers under each other.
thread_local int quietDepth = 0;
QtMessageHandler forwardTo = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (quietDepth == 0 && forwardTo)
        forwardTo(type, context, message);
}

void prepareQtOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(kQtAllocationLimitMiB);
        forwardTo = qInstallMessageHandler(filterMessage);
    });
}

class QuietQtMessages {
public:
    QuietQtMessages() { ++quietDepth; }
    ~QuietQtMessages() { --quietDepth; }
    QuietQtMessages(const QuietQtMessages&) = delete;
    QuietQtMessages& operator=(const QuietQtMessages&) = delete;
};

bool tooLarge(const QSize& size)
{
    return std::uint64_t(size.width()) * std::uint64_t(size.height()) > kMaxPicturePixels;
}

} // namespace

DecodedPicture DecodeWithQt(std::span<const std::uint8_t> bytes)
{
    prepareQtOnce();
    const QuietQtMessages quiet;

    const auto widened = WidenBmpInfoHeader(bytes);
    if (widened)
        bytes = widened->bytes();
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              qsizetype(bytes.size()));
    QBuffer device(&data);
    if (!device.open(QIODevice::ReadOnly))
        return DecodedPicture::unreadable();
    QImageReader reader(&device); // no file name, no format: the content decides
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return DecodedPicture::unreadable();

    const QSize announced = reader.size();
    if (announced.isValid() && !announced.isEmpty() && tooLarge(announced))
        return DecodedPicture::noMemory(std::uint32_t(announced.width()), std::uint32_t(announced.height()));
    if (!LooksComplete(bytes))
        return DecodedPicture::unreadable();

    // Where the reader will deliver native 0xAARRGGBB (or 0xFFRRGGBB) pixels anyway, it writes them
    // straight into our buffer: Qt's readers reuse an image of the right size and format.
    QImage image;
    Buffer<std::uint32_t> direct; // null unless the reader writes into it
    const QImage::Format format = reader.imageFormat();
    if (announced.isValid() && !announced.isEmpty() &&
        (format == QImage::Format_ARGB32 || format == QImage::Format_RGB32)) {
        if (auto canvas = allocCanvas(std::uint32_t(announced.width()), std::uint32_t(announced.height())))
            direct = std::move(*canvas);
        if (direct)
            image = QImage(reinterpret_cast<uchar*>(direct.get()), announced.width(), announced.height(),
                           qsizetype(announced.width()) * 4, format);
    }
    if (!reader.read(&image) || image.isNull() || tooLarge(image.size()))
        return DecodedPicture::unreadable();
    const auto width = std::uint32_t(image.width());
    const auto height = std::uint32_t(image.height());
    if (direct && image.constBits() == reinterpret_cast<const uchar*>(direct.get()) &&
        image.size() == announced && image.format() == format)
        return {DecodedPicture::Status::Decoded, width, height, std::move(direct)};
    if (image.constBits() == reinterpret_cast<const uchar*>(direct.get()))
        image = image.copy(); // nothing may point into `direct` once it is gone
    direct.reset();

    // Format_ARGB32 holds each pixel as the native uint32 0xAARRGGBB, unpremultiplied.
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    auto canvas = allocCanvas(width, height);
    if (image.isNull() || !canvas)
        return DecodedPicture::noMemory(width, height);
    for (std::uint32_t y = 0; y < height; ++y)
        std::memcpy(canvas->get() + std::uint64_t(y) * width, image.constScanLine(int(y)),
                    std::size_t(width) * 4);
    return {DecodedPicture::Status::Decoded, width, height, std::move(*canvas)};
}

bool ProbeWithQt(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height)
{
    prepareQtOnce();
    const QuietQtMessages quiet;
    const auto widened = WidenBmpInfoHeader(bytes);
    if (widened)
        bytes = widened->bytes();
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              qsizetype(bytes.size()));
    QBuffer device(&data);
    if (!device.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize size = reader.canRead() ? reader.size() : QSize();
    if (!size.isValid() || size.isEmpty() || tooLarge(size))
        return false;
    width = std::uint32_t(size.width());
    height = std::uint32_t(size.height());
    return true;
}

} // namespace quorvanta
