#pragma once
// The references the picture object is measured against: libwebp used bare, as a program with no
// viewer around it would use it, plus the pixel comparisons that check both give the same picture.

#include "harness.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// ---- still decode ---------------------------------------------------------------------------------

// Decodes a still WebP with the viewer's options (no in-loop filter, simple upsampling) into a buffer
// allocated once: R,G,B for an opaque picture, A,R,G,B with alpha, as the viewer's display buffer.
class BareStillDecoder {
public:
    bool open(std::vector<std::uint8_t> bytes, WEBP_CSP_MODE forcedMode = MODE_LAST)
    {
        file = std::move(bytes);
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK)
            return false;
        width = features.width;
        height = features.height;
        alpha = features.has_alpha != 0;
        mode = forcedMode != MODE_LAST ? forcedMode : alpha ? MODE_ARGB : MODE_RGB;
        const int bytesPerPixel = mode == MODE_RGB ? 3 : 4;
        stride = width * bytesPerPixel;
        pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0);
        return true;
    }

    bool decode() { return decodeInto(pixels.data(), pixels.size()); }

    // Into memory allocated for this decode and released after it, not touched before.
    bool decodeIntoFreshMemory()
    {
        const auto memory = std::make_unique_for_overwrite<std::uint8_t[]>(pixels.size());
        return decodeInto(memory.get(), pixels.size());
    }

    bool decodeInto(std::uint8_t* out, std::size_t size)
    {
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            return false;
        config.options.bypass_filtering = 1;
        config.options.no_fancy_upsampling = 1;
        config.output.colorspace = mode;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = out;
        config.output.u.RGBA.stride = stride;
        config.output.u.RGBA.size = size;
        const bool ok = WebPDecode(file.data(), file.size(), &config) == VP8_STATUS_OK;
        WebPFreeDecBuffer(&config.output); // nothing to free for a caller's buffer; kept for symmetry
        return ok;
    }

    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool alpha = false;
    WEBP_CSP_MODE mode = MODE_RGB;
};

// ---- animation decode -----------------------------------------------------------------------------

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using AnimDecoderPtr = std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter>;

// libwebp's own animation player: full canvases, R,G,B,A, one after another.
class AnimReference {
public:
    bool open(std::vector<std::uint8_t> bytes)
    {
        file = std::move(bytes);
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return false;
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const WebPData data{file.data(), file.size()};
        decoder.reset(WebPAnimDecoderNew(&data, &options));
        return decoder && WebPAnimDecoderGetInfo(decoder.get(), &info);
    }

    // The next canvas, or null at the end or on an error.
    const std::uint8_t* next()
    {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderHasMoreFrames(decoder.get()) ||
            !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
            return nullptr;
        return canvas;
    }

    void reset() { WebPAnimDecoderReset(decoder.get()); }

    // Frame n (from 1) the only way this decoder can seek: from the start.
    const std::uint8_t* seek(int frame)
    {
        reset();
        const std::uint8_t* canvas = nullptr;
        for (int i = 0; i < frame; ++i)
            canvas = next();
        return canvas;
    }

    std::vector<std::uint8_t> file;
    AnimDecoderPtr decoder;
    WebPAnimInfo info{};
};

// Frame durations in milliseconds, in frame order.
inline std::vector<int> frameDurations(const std::vector<std::uint8_t>& file)
{
    std::vector<int> durations;
    const WebPData data{file.data(), file.size()};
    struct DemuxDeleter {
        void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
    };
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    if (!demuxer)
        return durations;
    WebPIterator iterator;
    if (WebPDemuxGetFrame(demuxer.get(), 1, &iterator)) {
        do
            durations.push_back(iterator.duration);
        while (WebPDemuxNextFrame(&iterator));
        WebPDemuxReleaseIterator(&iterator);
    }
    return durations;
}

// ---- still encode ---------------------------------------------------------------------------------

struct EncodeSettings {
    bool lossless = false;
    int quality = 50;
    int method = 0;
    int filterStrength = 0;
    int filterSharpness = 0;
};

// Encodes 0xAARRGGBB pixels in memory the way the viewer's still encoder is meant to: photo preset at
// quality 50, the settings on top, pixels converted to YUV 4:2:0 unless lossless, one thread.
inline std::vector<std::uint8_t> encodeArgb(const std::uint32_t* argb, int width, int height,
                                            const EncodeSettings& settings)
{
    std::vector<std::uint8_t> out;
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_PHOTO, 50.f))
        return out;
    config.lossless = settings.lossless ? 1 : 0;
    config.quality = static_cast<float>(settings.quality);
    config.method = settings.method;
    config.filter_strength = settings.filterStrength;
    config.filter_sharpness = settings.filterSharpness;

    struct PictureGuard {
        WebPPicture picture;
        ~PictureGuard() { WebPPictureFree(&picture); }
    } guard;
    struct WriterGuard {
        WebPMemoryWriter writer;
        ~WriterGuard() { WebPMemoryWriterClear(&writer); }
    } writer;
    if (!WebPPictureInit(&guard.picture))
        return out;
    WebPMemoryWriterInit(&writer.writer);
    WebPPicture& picture = guard.picture;
    picture.use_argb = 1;
    picture.width = width;
    picture.height = height;
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer.writer;
    if (!WebPPictureAlloc(&picture))
        return out;
    for (int y = 0; y < height; ++y)
        std::copy_n(argb + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width,
                    picture.argb + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.argb_stride));
    if (!settings.lossless && !WebPPictureARGBToYUVA(&picture, WEBP_YUV420))
        return out;
    if (WebPEncode(&config, &picture))
        out.assign(writer.writer.mem, writer.writer.mem + writer.writer.size);
    return out;
}

// ---- pixel comparison -----------------------------------------------------------------------------

// How far a picture held as R,G,B or A,R,G,B bytes is from an R,G,B,A reference of the same size.
// Colour under a fully transparent pixel does not count.
struct PixelDifference {
    std::uint64_t pixelsDiffering = 0;
    int maxChannelDifference = 0;
    double meanAbsDifference = 0;
    bool sizeMismatch = false;

    bool identical() const { return !sizeMismatch && pixelsDiffering == 0; }
    std::string describe() const
    {
        if (sizeMismatch)
            return "size or format differs";
        if (identical())
            return "pixels identical";
        return std::to_string(pixelsDiffering) + " px differ, max " + std::to_string(maxChannelDifference) +
               ", mean " + formatNumber(meanAbsDifference);
    }
};

inline PixelDifference comparePixels(const std::uint8_t* ours, std::uint64_t oursSize, bool oursArgb,
                                     std::uint32_t oursStride, const std::uint8_t* rgba, int width, int height)
{
    PixelDifference result;
    const std::uint32_t bytesPerPixel = oursArgb ? 4 : 3;
    if (!ours || width <= 0 || height <= 0 || oursStride < static_cast<std::uint32_t>(width) * bytesPerPixel ||
        oursSize < static_cast<std::uint64_t>(oursStride) * static_cast<std::uint64_t>(height - 1) +
                       static_cast<std::uint64_t>(width) * bytesPerPixel) {
        result.sizeMismatch = true;
        return result;
    }
    std::uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* a = ours + static_cast<std::uint64_t>(y) * oursStride;
        const std::uint8_t* b = rgba + static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(width) * 4;
        for (int x = 0; x < width; ++x, a += bytesPerPixel, b += 4) {
            const int oursAlpha = oursArgb ? a[0] : 255;
            const std::uint8_t* oursRgb = oursArgb ? a + 1 : a;
            int worst = std::abs(oursAlpha - b[3]);
            if (oursAlpha != 0 || b[3] != 0)
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(int{oursRgb[c]} - int{b[c]}));
            if (worst != 0) {
                ++result.pixelsDiffering;
                result.maxChannelDifference = std::max(result.maxChannelDifference, worst);
                sum += static_cast<std::uint64_t>(worst);
            }
        }
    }
    result.meanAbsDifference = static_cast<double>(sum) / (static_cast<double>(width) * height);
    return result;
}

} // namespace bench
