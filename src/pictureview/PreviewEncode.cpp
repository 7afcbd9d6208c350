// The encoding preview's work, off the GUI thread: encode in memory, add the metadata, decode once for
// both the figures and the picture drawn.

#include "pictureview/Preview.h"

#include "encoding/TargetSize.h"
#include "encoding/WebPHandles.h"
#include "pictureview/EncodingJob.h"
#include "pictureview/SettingsSource.h"

#include <webp/decode.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace quorvanta {

namespace {

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

// The decoded file against the source's pixels, both 0xAARRGGBB: the sum of squared differences, the
// colour of a pixel transparent in both not looked at.
struct Comparison {
    std::uint64_t squares = 0;
    bool alpha = false; // some decoded pixel is not opaque
};

Comparison compare(const PictureRecord& source, const QImage& decoded)
{
    Comparison out;
    bool opaque = true;
    const std::uint32_t* expected = source.pixels.get();
    for (int y = 0; y < decoded.height(); ++y, expected += decoded.width()) {
        const auto* line = reinterpret_cast<const QRgb*>(decoded.constScanLine(y));
        std::uint64_t row = 0;
        // Without branches, so that the compiler can vectorise it.
        for (int x = 0; x < decoded.width(); ++x) {
            const std::uint32_t p = expected[x], q = line[x];
            const int a = int(p >> 24) - int(q >> 24);
            const int r = int((p >> 16) & 0xFF) - int((q >> 16) & 0xFF);
            const int g = int((p >> 8) & 0xFF) - int((q >> 8) & 0xFF);
            const int b = int(p & 0xFF) - int(q & 0xFF);
            const std::uint32_t seen = ((p | q) >> 24) != 0;
            row += std::uint32_t(a * a) + seen * std::uint32_t(r * r + g * g + b * b);
            opaque &= (q >> 24) == 0xFF;
        }
        out.squares += row;
    }
    out.alpha = !opaque;
    return out;
}

// The file decoded into 0xAARRGGBB words, not premultiplied; null when it does not decode to `width` x
// `height` or memory is short.
QImage decodeWords(const std::vector<std::uint8_t>& file, std::uint32_t width, std::uint32_t height)
{
    QImage image(int(width), int(height), QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    // 0xAARRGGBB words are B,G,R,A bytes on a little-endian machine.
    const auto decode = std::endian::native == std::endian::little ? WebPDecodeBGRAInto : WebPDecodeARGBInto;
    if (!decode(file.data(), file.size(), image.bits(), static_cast<std::size_t>(image.sizeInBytes()),
                int(image.bytesPerLine())))
        return QImage();
    return image;
}

Result<std::vector<std::uint8_t>> encodeFile(PictureRecord& work, const StillChoice& choice, const SourceMetadata& kept,
                                             std::optional<TargetWritten>& target, const std::atomic<bool>* stop)
{
    std::vector<std::uint8_t> encoded;
    if (choice.targetBytes > 0) {
        TargetSizeResult found = EncodeToTargetSize(work, choice.encoder, choice.targetBytes);
        if (found.webp.empty())
            return problem(Failure::EncodeFailed);
        target = TargetWritten{0, found.quality, found.applied, found.met};
        encoded = std::move(found.webp);
    } else {
        MemoryWriter writer;
        if (Status done = EncodeStillWebP({}, work, choice.encoder, writer.get(), 1, nullptr, stop); !done)
            return done.problem();
        encoded.assign(writer.data(), writer.data() + writer.size());
    }
    if (stopped(stop))
        return problem(Failure::Cancelled);
    auto file = AddWebPMetadata(encoded, kept);
    if (!file)
        return problem(Failure::EncodeFailed, "the metadata could not be added");
    if (target)
        target->bytes = file->size();
    return std::move(*file);
}

} // namespace

bool StillChoice::operator==(const StillChoice& other) const
{
    const EncodeSettings& a = encoder;
    const EncodeSettings& b = other.encoder;
    return a.lossless == b.lossless && a.quality == b.quality && a.method == b.method &&
           a.filterStrength == b.filterStrength && a.filterSharpness == b.filterSharpness && keep == other.keep &&
           targetBytes == other.targetBytes;
}

PictureRecord CopyPicture(const PictureRecord& record)
{
    PictureRecord copy;
    const auto pixels = checkedMul(record.width, record.height);
    if (!record.pixels || !pixels || *pixels > record.size / 4 || !(copy.pixels = allocZeroed<std::uint32_t>(*pixels)))
        return copy;
    std::memcpy(copy.pixels.get(), record.pixels.get(), static_cast<std::size_t>(*pixels * 4));
    copy.size = *pixels * 4;
    copy.width = record.width;
    copy.height = record.height;
    return copy;
}

StillChoice readStillChoice(const SettingsSource* settings)
{
    return {readEncodeSettings(settings), settings ? settings->keepMetadata() : KeepMetadata::ColourProfile,
            std::uint64_t(std::max(settings ? settings->targetSize() : 0, 0)) * 1000};
}

Result<EncodedPreview> MakeEncodedPreview(const PictureRecord& source, const StillChoice& choice,
                                          const SourceMetadata& kept, std::uint64_t sourceFileBytes,
                                          std::uint32_t reduction, const std::atomic<bool>* stop)
{
    if (Status usable = CheckEncodeSettings(choice.encoder); !usable)
        return usable.problem();
    const auto pixels = checkedMul(source.width, source.height);
    if (!source.pixels || !pixels || *pixels == 0 || *pixels > source.size / 4)
        return problem(Failure::NothingToEncode, "no picture was imported");
    // libwebp may change the colour of transparent pixels in lossless mode: it gets a copy there. Lossy
    // coding reads the pixels once into planes of its own and never writes them.
    PictureRecord copy;
    if (choice.encoder.lossless && !(copy = CopyPicture(source)).pixels)
        return problem(Failure::NoMemory, "no memory for the preview");
    PictureRecord& work = choice.encoder.lossless ? copy : const_cast<PictureRecord&>(source);

    EncodedPreview preview;
    Result<std::vector<std::uint8_t>> file = encodeFile(work, choice, kept, preview.target, stop);
    if (!file)
        return file.problem();
    copy.releasePixels();
    preview.file = std::move(file.value());
    if (stopped(stop))
        return problem(Failure::Cancelled);

    QImage decoded = decodeWords(preview.file, source.width, source.height);
    if (decoded.isNull())
        return problem(Failure::EncodeFailed, "the encoded picture does not decode");
    const Comparison compared = compare(source, decoded);
    preview.psnr = compared.squares == 0
                       ? std::numeric_limits<double>::infinity()
                       : 10.0 * std::log10(255.0 * 255.0 * 4.0 * double(*pixels) / double(compared.squares));
    preview.bitsPerPixel = double(preview.file.size()) * 8.0 / double(*pixels);
    if (sourceFileBytes > 0)
        preview.percentOfSource = double(preview.file.size()) * 100.0 / double(sourceFileBytes);
    // Ready to draw: premultiplied in place, or taken as opaque as it is.
    if (compared.alpha)
        decoded.convertTo(QImage::Format_ARGB32_Premultiplied);
    else
        decoded.reinterpretAsFormat(QImage::Format_RGB32);
    // Qt's smooth scaling averages whole blocks when reducing by a whole factor, as the picture on show
    // was reduced (premultiplied pixels: the alpha-weighted mean).
    preview.image = reduction > 1 ? decoded.scaled(std::max(decoded.width() / int(reduction), 1),
                                                   std::max(decoded.height() / int(reduction), 1),
                                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  : std::move(decoded);
    if (preview.image.isNull())
        return problem(Failure::NoMemory, "no memory for the preview");
    return preview;
}

std::string targetNote(const TargetWritten& target, std::uint64_t targetBytes)
{
    char quality[32];
    std::snprintf(quality, sizeof quality, "%.1f", double(target.quality));
    return !target.applied ? "no target size in lossless mode"
           : target.met    ? std::string("quality ") + quality + " for a target of " + sizeText(targetBytes)
                           : "over the target of " + sizeText(targetBytes) + " even at quality 0";
}

std::string previewText(const EncodedPreview& preview, std::uint64_t targetBytes)
{
    char figures[96];
    std::snprintf(figures, sizeof figures, "%.2f bits per pixel", preview.bitsPerPixel);
    std::string text = "Preview: " + sizeText(preview.file.size()) + ", " + figures;
    if (preview.psnr && std::isinf(*preview.psnr)) {
        text += ", the same pixels as the source";
    } else if (preview.psnr) {
        std::snprintf(figures, sizeof figures, ", PSNR %.1f dB", *preview.psnr);
        text += figures;
    }
    if (preview.percentOfSource > 0) {
        // Small shares keep a decimal: "0.4 % of the source", not "0 %".
        std::snprintf(figures, sizeof figures, preview.percentOfSource < 10 ? ", %.1f %% of the source" : ", %.0f %% of the source",
                      preview.percentOfSource);
        text += figures;
        if (preview.percentOfSource > 100)
            text += ": larger than the source file";
    }
    if (preview.target)
        text += ", " + targetNote(*preview.target, targetBytes);
    return text;
}

} // namespace quorvanta
