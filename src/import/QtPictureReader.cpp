#include "import/QtPictureReader.h"

#include "import/BmpHeaderWidening.h"
#include "import/DeclaredSize.h"
#include "import/TruncationChecks.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>

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



// The bytes of a picture in memory as a device for Qt's readers, without a copy. Once `stop` is true
// every read fails, so that a reader deep in a large picture gives up at its next read.
class StoppableBytes : public QIODevice {
public:
    StoppableBytes(std::span<const std::uint8_t> bytes, const std::atomic<bool>* stop) : bytes(bytes), stop(stop) {}
    qint64 size() const override { return qint64(bytes.size()); }

protected:
    qint64 readData(char* out, qint64 most) override
    {
        if (stop && stop->load(std::memory_order_relaxed))
            return -1;
        const qint64 at = pos();
        const qint64 count = std::clamp<qint64>(qint64(bytes.size()) - at, 0, most);
        if (count > 0)
            std::memcpy(out, bytes.data() + at, std::size_t(count));
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::span<const std::uint8_t> bytes;
    const std::atomic<bool>* stop;
};

// Bytes of the image a reader makes in `format` before it is converted to ours (rows padded to 4
// bytes, as QImage keeps them); UINT64_MAX when they cannot be counted.
std::uint64_t nativeImageBytes(QImage::Format format, std::uint64_t width, std::uint64_t height)
{
    const std::uint64_t depth = std::max(1, int(QImage::toPixelFormat(format).bitsPerPixel()));
    const auto bits = checkedMul(width, depth);
    const auto bytes = bits ? checkedMul((*bits + 31) / 32 * 4, height) : std::nullopt;
    return bytes ? *bytes : UINT64_MAX;
}

// The refusal of a picture whose pixels, and the reader's own image when it is converted afterwards,
// do not fit the decode budget; nothing when they fit.
std::optional<DecodedPicture> overBudget(QSize size, QImage::Format format, bool converted)
{
    const auto w = std::uint64_t(size.width()), h = std::uint64_t(size.height());
    const auto ours = checkedMul(w, h, 4);
    std::uint64_t needed = ours ? *ours : UINT64_MAX;
    if (converted && __builtin_add_overflow(needed, nativeImageBytes(format, w, h), &needed))
        needed = UINT64_MAX;
    BudgetCheck check = CheckDecodeBudgetBytes(w, h, needed);
    if (check)
        return std::nullopt;
    DecodedPicture refused = DecodedPicture::unreadable();
    refused.status = DecodedPicture::Status::OverBudget;
    refused.width = std::uint32_t(w);
    refused.height = std::uint32_t(h);
    refused.message = std::move(check.message);
    return refused;
}

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

QtDecodeScope::QtDecodeScope()
{
    prepareQt();
    ++quietDepth;
}

QtDecodeScope::~QtDecodeScope()
{
    --quietDepth;
}

DecodedPicture DecodeWithQt(std::span<const std::uint8_t> bytes, std::uint64_t reducedArea,
                            const std::atomic<bool>* stop)
{
    const QtDecodeScope scope;

    if (!PngChunksFit(bytes))
        return DecodedPicture::unreadable();
    const auto widened = WidenBmpInfoHeader(bytes);
    if (widened)
        bytes = widened->bytes();
    StoppableBytes device(bytes, stop);
    if (!device.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return DecodedPicture::unreadable();
    QImageReader reader(&device); // no file name, no format: the content decides
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    // Some of Qt's readers turn a large picture down, or decode it, without saying its size: the
    // header's own size names it.
    const auto declared = DeclaredPictureSize(bytes);
    const auto refusedAsDeclared = [&declared]() -> std::optional<DecodedPicture> {
        if (!declared || declared->first == 0 || declared->second == 0)
            return std::nullopt;
        return DecodedPicture::overBudget(declared->first, declared->second);
    };
    if (!reader.canRead()) {
        if (auto refused = refusedAsDeclared())
            return std::move(*refused);
        return DecodedPicture::unreadable();
    }

    // The declared size is checked before a pixel is decoded. A JPEG is decoded reduced instead:
    // its decoder scales while it decodes.
    QSize announced = reader.size();
    if (!announced.isValid() || announced.isEmpty())
        if (auto refused = refusedAsDeclared())
            return std::move(*refused);
    int percent = 100;
    std::string reducedBecause;
    const bool known = announced.isValid() && !announced.isEmpty();
    // (Asked only of a header that was read: Qt's JPEG reader leaves the format unset otherwise.)
    const QImage::Format format = known ? reader.imageFormat() : QImage::Format_Invalid;
    // A reader that cannot write our pixels straight away makes an image of its own format first,
    // which is converted afterwards: both count against the budget.
    const bool writesOurs = format == QImage::Format_ARGB32 || format == QImage::Format_RGB32;
    if (known) {
        if (auto refused = overBudget(announced, format, !writesOurs)) {
            // The JPEG decoder scales by at most 8 while it decodes; Qt scales the rest from there.
            const std::uint64_t w8 = (std::uint64_t(announced.width()) + 7) / 8;
            const std::uint64_t h8 = (std::uint64_t(announced.height()) + 7) / 8;
            if (reader.format() != "jpeg" || !reader.supportsOption(QImageIOHandler::ScaledSize) ||
                !CheckDecodeBudgetBytes(w8, h8, w8 * h8 * 4 + reducedArea * 4))
                return std::move(*refused);
            const ReducedSize reduced = ReduceToFit(std::uint32_t(announced.width()),
                                                    std::uint32_t(announced.height()), reducedArea,
                                                    writesOurs ? 4 : 8);
            announced = QSize(int(reduced.width), int(reduced.height));
            percent = reduced.percent;
            reducedBecause = std::move(refused->message);
            reader.setScaledSize(announced);
        }
    }
    if (!LooksComplete(bytes))
        return DecodedPicture::unreadable();

    // Where the reader will deliver native 0xAARRGGBB (or 0xFFRRGGBB) pixels anyway, it writes them
    // straight into our buffer: Qt's readers reuse an image of the right size and format.
    QImage image;
    Buffer<std::uint32_t> direct; // null unless the reader writes into it
    if (known && percent == 100 && writesOurs) {
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
    DecodedPicture out = DecodedPicture::decoded(width, height, std::move(*canvas), percent);
    out.message = std::move(reducedBecause);
    return out;
}

bool ProbeWithQt(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height)
{
    if (!PngChunksFit(bytes))
        return false;
    const QtDecodeScope scope;
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
