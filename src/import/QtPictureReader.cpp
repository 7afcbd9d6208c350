#include "import/QtPictureReader.h"

#include "import/BmpHeaderWidening.h"
#include "import/TruncationChecks.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace quorvanta {

namespace {

// Qt's own limit on the image it allocates, in MiB of its own format (which can be 8 bytes a pixel,
// as for a 16-bit PNG): the decode budget, kept in step when the budget changes. A second guard for
// the readers that cannot tell their size before they decode.
std::atomic<int> qtLimitMiB{-1};

void followBudget()
{
    const int wanted = int(std::clamp<std::uint64_t>(DecodeBudgetBytes() / kMiB, 1, kMaxPicturePixels * 8 / kMiB));
    if (qtLimitMiB.exchange(wanted) != wanted)
        QImageReader::setAllocationLimit(wanted);
}

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

void prepareQt()
{
    static std::once_flag once;
    std::call_once(once, [] { forwardTo = qInstallMessageHandler(filterMessage); });
    followBudget();
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
    return std::uint64_t(size.width()) * std::uint64_t(size.height()) > kMaxPicturePixels ||
           !CheckDecodeBudget(std::uint64_t(size.width()), std::uint64_t(size.height()), 4);
}

// Copies `image` into `canvas` as 0xAARRGGBB values a band of rows at a time, so that no second
// full-size picture exists while it is converted.
void convertInto(const QImage& image, std::uint32_t* canvas)
{
    constexpr int kBandRows = 64;
    const int width = image.width();
    for (int top = 0; top < image.height(); top += kBandRows) {
        const int rows = std::min(kBandRows, image.height() - top);
        const QImage band = image.format() == QImage::Format_ARGB32
                                ? image.copy(0, top, width, rows)
                                : image.copy(0, top, width, rows).convertToFormat(QImage::Format_ARGB32);
        if (band.isNull())
            return; // the canvas stays zero where memory was short
        for (int y = 0; y < rows; ++y)
            std::memcpy(canvas + std::uint64_t(top + y) * std::uint64_t(width), band.constScanLine(y),
                        std::size_t(width) * 4);
    }
}

} // namespace

DecodedPicture DecodeWithQt(std::span<const std::uint8_t> bytes, std::uint64_t reducedArea)
{
    prepareQt();
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

    // The declared size is checked before a pixel is decoded. A JPEG is decoded reduced instead:
    // its decoder scales while it decodes.
    QSize announced = reader.size();
    int percent = 100;
    const bool known = announced.isValid() && !announced.isEmpty();
    if (known) {
        if (auto refused = DecodedPicture::overBudget(std::uint64_t(announced.width()),
                                                      std::uint64_t(announced.height()))) {
            if (reader.format() != "jpeg" || !reader.supportsOption(QImageIOHandler::ScaledSize))
                return std::move(*refused);
            const ReducedSize reduced =
                ReduceToFit(std::uint32_t(announced.width()), std::uint32_t(announced.height()), reducedArea);
            announced = QSize(int(reduced.width), int(reduced.height));
            percent = reduced.percent;
            reader.setScaledSize(announced);
        }
    }
    if (!LooksComplete(bytes))
        return DecodedPicture::unreadable();

    // Where the reader will deliver native 0xAARRGGBB (or 0xFFRRGGBB) pixels anyway, it writes them
    // straight into our buffer: Qt's readers reuse an image of the right size and format.
    QImage image;
    Buffer<std::uint32_t> direct; // null unless the reader writes into it
    const QImage::Format format = reader.imageFormat();
    if (known && percent == 100 && (format == QImage::Format_ARGB32 || format == QImage::Format_RGB32)) {
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
        return DecodedPicture::decoded(width, height, std::move(direct), percent);
    if (image.constBits() == reinterpret_cast<const uchar*>(direct.get()))
        image = image.copy(); // nothing may point into `direct` once it is gone
    direct.reset();

    // Format_ARGB32 holds each pixel as the native uint32 0xAARRGGBB, unpremultiplied.
    auto canvas = allocCanvas(width, height);
    if (!canvas)
        return DecodedPicture::noMemory(width, height);
    convertInto(image, canvas->get());
    return DecodedPicture::decoded(width, height, std::move(*canvas), percent);
}

bool ProbeWithQt(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height)
{
    prepareQt();
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
