// The encoding preview's work, off the GUI thread: encode in memory, add the metadata, decode once for
// both the figures and the picture drawn.

#include "pictureview/Preview.h"

#include "encoding/TargetSize.h"
#include "encoding/WebPHandles.h"
#include "pictureview/DisplayReduction.h"
#include "pictureview/EncodingJob.h"
#include "pictureview/SettingsSource.h"

#include <webp/decode.h>

#include <algorithm>
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

// The sums of squared differences of a decoded file (A,R,G,B bytes) against the source's pixels; the
// colour of a pixel transparent in both is not looked at.
struct Comparison {
    std::uint64_t squares = 0;
    bool alpha = false; // some decoded pixel is not opaque
};

Comparison compare(const PictureRecord& source, const std::uint8_t* argb, std::uint64_t pixels)
{
    Comparison out;
    for (std::uint64_t i = 0; i < pixels; ++i, argb += 4) {
        const std::uint32_t p = source.pixels[i];
        const int a = int(p >> 24) - argb[0];
        out.alpha |= argb[0] != 255;
        out.squares += std::uint64_t(a * a);
        if ((p >> 24) == 0 && argb[0] == 0)
            continue;
        const int r = int((p >> 16) & 0xFF) - argb[1], g = int((p >> 8) & 0xFF) - argb[2], b = int(p & 0xFF) - argb[3];
        out.squares += std::uint64_t(r * r + g * g + b * b);
    }
    return out;
}

// A,R,G,B bytes as an image ready to draw: premultiplied, or opaque when every pixel is.
QImage drawable(const std::uint8_t* argb, std::uint32_t width, std::uint32_t height, bool alpha)
{
    QImage image(int(width), int(height), alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = argb + std::uint64_t(y) * width * 4;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (std::uint32_t x = 0; x < width; ++x, in += 4) {
            const std::uint32_t a = in[0];
            auto mul = [a](std::uint32_t c) {
                const std::uint32_t t = a * c + 128;
                return (t + (t >> 8)) >> 8;
            };
            out[x] = (a << 24) | (mul(in[1]) << 16) | (mul(in[2]) << 8) | mul(in[3]);
        }
    }
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
    // libwebp may change the colour of transparent pixels in lossless mode: it gets a copy.
    PictureRecord work = CopyPicture(source);
    if (!work.pixels)
        return problem(Failure::NoMemory, "no memory for the preview");

    EncodedPreview preview;
    Result<std::vector<std::uint8_t>> file = encodeFile(work, choice, kept, preview.target, stop);
    if (!file)
        return file.problem();
    work.releasePixels();
    preview.file = std::move(file.value());
    if (stopped(stop))
        return problem(Failure::Cancelled);

    Buffer<std::uint8_t> decoded = allocZeroed<std::uint8_t>(*pixels * 4);
    if (!decoded)
        return problem(Failure::NoMemory, "no memory for the preview");
    if (!WebPDecodeARGBInto(preview.file.data(), preview.file.size(), decoded.get(), static_cast<std::size_t>(*pixels * 4),
                            int(source.width * 4)))
        return problem(Failure::EncodeFailed, "the encoded picture does not decode");
    const Comparison compared = compare(source, decoded.get(), *pixels);
    preview.psnr = compared.squares == 0
                       ? std::numeric_limits<double>::infinity()
                       : 10.0 * std::log10(255.0 * 255.0 * 4.0 * double(*pixels) / double(compared.squares));
    preview.bitsPerPixel = double(preview.file.size()) * 8.0 / double(*pixels);
    if (sourceFileBytes > 0)
        preview.percentOfSource = double(preview.file.size()) * 100.0 / double(sourceFileBytes);
    preview.image = reduction > 1 ? reduceDisplayToImage(decoded.get(), source.width, source.height, source.width * 4, 4,
                                                         reduction)
                                  : drawable(decoded.get(), source.width, source.height, compared.alpha);
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
