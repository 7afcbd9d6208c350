#include "viewing/WebPFile.h"

#include "viewing/NativePixels.h"

#include <webp/decode.h>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace quorvanta {

namespace {

// Frees libwebp's own output buffer (nothing when the output lives in our memory).
struct DecBufferGuard {
    WebPDecBuffer* buffer;
    ~DecBufferGuard() { WebPFreeDecBuffer(buffer); }
};

} // namespace

int ClassifyFile(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return KindNotWebP;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return KindNotWebP;
    return features.has_animation ? KindAnimated : KindStill;
}

StillPicture DecodeWebPStill(std::span<const std::uint8_t> bytes, DisplayBuffer* reusable, std::uint64_t reducedArea)
{
    StillPicture out;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return out;
    out.configured = true;
    setViewingOptions(config.options);

    const VP8StatusCode featureStatus = WebPGetFeatures(bytes.data(), bytes.size(), &config.input);
    const bool alpha = config.input.has_alpha == 1;
    out.width = static_cast<std::uint32_t>(std::max(config.input.width, 0));
    out.height = static_cast<std::uint32_t>(std::max(config.input.height, 0));
    out.fullWidth = out.width;
    out.fullHeight = out.height;
    // The lossless decoder keeps a full-size picture of its own while it decodes, scaled or not.
    const std::uint64_t own = config.input.format == 2 ? std::uint64_t(out.width) * out.height * 4 : 0;
    // Over the budget the decoder scales while it decodes, straight into a smaller buffer.
    if (!CheckDecodeBudgetBytes(out.width, out.height, own + std::uint64_t(out.width) * out.height * 4)) {
        if (BudgetCheck alone = CheckDecodeBudgetBytes(out.width, out.height, own + reducedArea * 4); !alone) {
            out.configured = false; // nothing changes
            out.refusedBecause = CheckDecodeBudget(out.width, out.height, 4, 2).message;
            return out;
        }
        const ReducedSize reduced = ReduceToFit(out.width, out.height, reducedArea);
        out.width = reduced.width;
        out.height = reduced.height;
        out.scalePercent = reduced.percent;
        config.options.use_scaling = 1;
        config.options.scaled_width = static_cast<int>(reduced.width);
        config.options.scaled_height = static_cast<int>(reduced.height);
    }
    // Decoded in the layout the screen paints, so that it is drawn from this buffer without a copy.
    out.pixelFormat = alpha ? PixelFormat::PremultipliedNative : PixelFormat::OpaqueNative;
    out.bytesPerRow = out.width * 4; // at most 16383 * 4

    // The decoder writes every byte of the picture's rows, so only the rest of the 4-byte-a-pixel
    // buffer is cleared, after it (clearing it all would cost a pass over the whole buffer).
    const auto total = checkedMul(out.width, out.height, 4);
    const std::uint64_t pictureBytes = std::uint64_t{out.bytesPerRow} * out.height;
    if (total && *total > 0 && *total <= SIZE_MAX && CheckDecodeBudgetBytes(out.width, out.height, own + *total)) {
        if (reusable && reusable->data && reusable->size == *total) {
            // A buffer of the same size is taken over: no new pages to fault in.
            out.pixels = std::move(*reusable);
            reusable->reset();
        } else {
            if (reusable)
                reusable->reset();
            out.pixels.data.reset(static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(*total))));
            out.pixels.size = out.pixels.data ? *total : 0;
        }
    }
    VP8StatusCode decodeStatus = VP8_STATUS_OUT_OF_MEMORY;
    if (out.pixels && featureStatus == VP8_STATUS_OK) {
        // Decoded straight into the display buffer: no second copy.
        // Native 32-bit words: B,G,R,A bytes on a little-endian machine, A,R,G,B on a big-endian one.
        constexpr bool little = std::endian::native == std::endian::little;
        config.output.colorspace = little ? MODE_BGRA : MODE_ARGB; // premultiplied below when it has alpha
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = out.pixels.data.get();
        config.output.u.RGBA.stride = static_cast<int>(out.bytesPerRow);
        config.output.u.RGBA.size = static_cast<std::size_t>(out.bytesPerRow) * out.height;
        const DecBufferGuard guard{&config.output};
        decodeStatus = WebPDecode(bytes.data(), bytes.size(), &config);
    }
    // The rest is cleared once the picture is there: a file that fails at once touches nothing.
    if (out.pixels && decodeStatus == VP8_STATUS_OK) {
        std::memset(out.pixels.data.get() + pictureBytes, 0, static_cast<std::size_t>(*total - pictureBytes));
        // The decoder's own premultiplied output costs more than this pass.
        if (alpha)
            premultiplyNative(reinterpret_cast<std::uint32_t*>(out.pixels.data.get()), pictureBytes / 4);
    }
    if (out.pixels && decodeStatus != VP8_STATUS_OK) {
        // No half picture: a fresh zeroed buffer rather than clearing this one, so that a file whose
        // header claims a huge picture does not get its whole buffer touched.
        out.pixels.reset();
        out.pixels.data = allocZeroed<std::uint8_t>(*total);
        out.pixels.size = out.pixels.data ? *total : 0;
    }
    out.decoded = featureStatus == VP8_STATUS_OK && decodeStatus == VP8_STATUS_OK && !config.input.has_animation;
    return out;
}

} // namespace quorvanta
