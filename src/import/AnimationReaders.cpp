#include "import/AnimationReaders.h"

#include "import/DecodedPicture.h"
#include "import/ImportPictureFile.h"
#include "import/QtPictureReader.h"
#include "core/FileBytes.h"

#include <QImage>

#include <cstring>

namespace quorvanta {

namespace {

QByteArray fileBytes(const std::string& path)
{
    const FileBytes file = ReadWholeFile(path, kMaxImportFileBytes);
    if (!file.ok())
        return {};
    const auto bytes = file.bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

bool isGif(const QByteArray& bytes)
{
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

} // namespace

QtAnimationReader::QtAnimationReader(const std::string& path) : QtAnimationReader(fileBytes(path)) {}

QtAnimationReader::QtAnimationReader(QByteArray fileBytes) : bytes(std::move(fileBytes)), device(&bytes)
{
    const QtDecodeScope scope;
    if (bytes.isEmpty() || !device.open(QIODevice::ReadOnly))
        return;
    reader.setDevice(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead() || !reader.supportsAnimation() || reader.imageCount() < 2)
        return;
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || std::uint64_t(size.width()) * std::uint64_t(size.height()) > kMaxPicturePixels)
        return;
    frames = reader.imageCount();
    // Qt: -1 for ever, n > 0 repeats after the first showing (as the GIF stores it), 0 none.
    const int qtLoops = reader.loopCount();
    loops = qtLoops < 0 ? 0 : qtLoops == 0 ? 1 : std::min(65535, qtLoops + 1);
    width = std::uint32_t(size.width());
    height = std::uint32_t(size.height());
}

FrameSource::Read QtAnimationReader::next(AnimationFrame& frame)
{
    const QtDecodeScope scope;
    if (!ok() || read >= frames)
        return Read::End;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return read > 0 ? Read::End : Read::Failed;
    ++read;
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    auto canvas = allocCanvas(width, height);
    if (!canvas || image.isNull())
        return Read::Failed;
    const FramePixels pixels{image.constBits(), std::uint32_t(image.width()), std::uint32_t(image.height()),
                             std::size_t(image.bytesPerLine()), PixelOrder::Argb32};
    ComposeOntoCanvas(pixels, canvas->get(), width, height);
    frame.pixels = std::move(*canvas);
    frame.width = width;
    frame.height = height;
    frame.durationMs = std::max(0, reader.nextImageDelay());
    return Read::Frame;
}

WebPAnimationReader::WebPAnimationReader(std::span<const std::uint8_t> bytes)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return;
    options.color_mode = MODE_BGRA; // native 0xAARRGGBB on this little-endian machine
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    decoder.reset(WebPAnimDecoderNew(&data, &options));
    if (decoder && !WebPAnimDecoderGetInfo(decoder.get(), &info))
        decoder.reset();
}

FrameSource::Read WebPAnimationReader::next(AnimationFrame& frame)
{
    if (!decoder || !WebPAnimDecoderHasMoreFrames(decoder.get()))
        return Read::End;
    std::uint8_t* pixels = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp))
        return Read::Failed;
    auto canvas = allocCanvas(info.canvas_width, info.canvas_height);
    if (!canvas)
        return Read::Failed;
    std::memcpy(canvas->get(), pixels, std::size_t(info.canvas_width) * info.canvas_height * 4);
    frame.pixels = std::move(*canvas);
    frame.width = info.canvas_width;
    frame.height = info.canvas_height;
    frame.durationMs = timestamp - previousTimestamp;
    previousTimestamp = timestamp;
    return Read::Frame;
}

std::vector<AnimationFrame> ReadAllFrames(FrameSource& source)
{
    std::vector<AnimationFrame> frames;
    for (;;) {
        AnimationFrame frame;
        const FrameSource::Read read = source.next(frame);
        if (read == FrameSource::Read::End || read == FrameSource::Read::Failed)
            return frames;
        if (read == FrameSource::Read::Frame)
            frames.push_back(std::move(frame));
    }
}

AnimationFileReader::AnimationFileReader(const std::string& path) : bytes(fileBytes(path))
{
    open();
}

AnimationFileReader::AnimationFileReader(std::shared_ptr<const std::uint8_t[]> fileBytes, std::size_t size)
    : shared(std::move(fileBytes)),
      bytes(QByteArray::fromRawData(reinterpret_cast<const char*>(shared.get()), shared ? qsizetype(size) : 0))
{
    open();
}

void AnimationFileReader::open()
{
    if (isGif(bytes)) {
        gif = std::make_unique<GifAnimationReader>(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
        refused = gif->refusal();
        if (gif->ok() && gif->frameCount() > 1) {
            source = gif.get();
            loops = gif->loopCount();
        }
    } else if (!bytes.isEmpty()) {
        qt = std::make_unique<QtAnimationReader>(bytes);
        if (qt->ok()) {
            source = qt.get();
            loops = qt->loopCount();
        }
    }
}

bool IsAnimationFile(const std::string& path)
{
    return AnimationFileReader(path).ok();
}

} // namespace quorvanta
