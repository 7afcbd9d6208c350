#include "viewing/AnimationState.h"

#include "core/DecodeBudget.h"
#include "viewing/NativePixels.h"
#include "viewing/WebPFile.h"

#include <webp/demux.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace quorvanta {

void DemuxerDeleter::operator()(WebPDemuxer* demuxer) const noexcept
{
    WebPDemuxDelete(demuxer);
}

namespace {

struct IteratorGuard {
    WebPIterator* iterator;
    ~IteratorGuard() { WebPDemuxReleaseIterator(iterator); }
};

// `src` over `dst`, both A,R,G,B bytes without premultiplication, with the integer arithmetic of
// libwebp's own animation decoder so that both give the same canvas.
inline void blendPixel(std::uint8_t* dst, const std::uint8_t* src)
{
    const std::uint32_t srcA = src[0];
    if (srcA == 0)
        return;
    const std::uint32_t dstFactorA = (std::uint32_t{dst[0]} * (256 - srcA)) >> 8;
    const std::uint32_t blendA = srcA + dstFactorA;
    const std::uint32_t scale = (1u << 24) / blendA;
    for (int c = 1; c < 4; ++c)
        dst[c] = static_cast<std::uint8_t>(((src[c] * srcA + dst[c] * dstFactorA) * scale) >> 24);
    dst[0] = static_cast<std::uint8_t>(blendA);
}

// How many pixels from `src` on (at most `count`) have alpha `alpha`.
inline std::uint32_t runOf(const std::uint8_t* src, std::uint32_t count, std::uint8_t alpha)
{
    std::uint32_t n = 0;
    while (n < count && src[4 * n] == alpha)
        ++n;
    return n;
}

void blendRow(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t count)
{
    // Frames are mostly runs of opaque pixels (copied as a block) and of transparent ones (which leave
    // the canvas as it is); only the pixels between are blended one by one.
    for (std::uint32_t i = 0; i < count;) {
        if (const std::uint32_t opaque = runOf(src + 4ull * i, count - i, 255)) {
            std::memcpy(dst + 4ull * i, src + 4ull * i, 4ull * opaque);
            i += opaque;
        } else if (const std::uint32_t clear = runOf(src + 4ull * i, count - i, 0)) {
            i += clear;
        } else {
            blendPixel(dst + 4ull * i, src + 4ull * i);
            ++i;
        }
    }
}

} // namespace

Result<std::unique_ptr<AnimationState>> AnimationState::open(std::shared_ptr<const std::uint8_t[]> bytes,
                                                             std::uint64_t size)
{
    const Problem unplayable = problem(Failure::Corrupt, "not a playable animation");
    if (!bytes || size == 0)
        return unplayable;
    const WebPData data{bytes.get(), static_cast<std::size_t>(size)};
    auto state = std::make_unique<AnimationState>();
    state->fileBytes = std::move(bytes);
    state->demuxer.reset(WebPDemux(&data));
    if (!state->demuxer || !WebPInitDecoderConfig(&state->config))
        return unplayable;
    WebPDemuxer* demux = state->demuxer.get();
    state->width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    state->height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    state->loops = WebPDemuxGetI(demux, WEBP_FF_LOOP_COUNT);
    state->background = WebPDemuxGetI(demux, WEBP_FF_BACKGROUND_COLOR);
    // The canvas is checked before any frame is looked at: a file of a few hundred bytes can declare
    // a canvas of many gigabytes.
    if (BudgetCheck check = CheckDecodeBudget(state->width, state->height, 4, kBuffersKept); !check)
        return problem(Failure::OverBudget, std::move(check.message));
    setViewingOptions(state->config.options);
    state->config.output.colorspace = MODE_ARGB;
    state->config.output.is_external_memory = 1;

    // The frame table is read once: looking a frame up in the demuxer walks all frames before it.
    WebPIterator iter{};
    if (WebPDemuxGetFrame(demux, 1, &iter)) {
        const IteratorGuard guard{&iter};
        state->frames.reserve(static_cast<std::size_t>(std::max(iter.num_frames, 0)));
        do {
            WebPFrameEntry f;
            f.bytes = iter.fragment.bytes;
            f.size = iter.fragment.size;
            f.x = static_cast<std::uint32_t>(std::max(iter.x_offset, 0));
            f.y = static_cast<std::uint32_t>(std::max(iter.y_offset, 0));
            f.width = static_cast<std::uint32_t>(std::max(iter.width, 0));
            f.height = static_cast<std::uint32_t>(std::max(iter.height, 0));
            f.duration = iter.duration;
            f.hasAlpha = iter.has_alpha != 0;
            f.blend = iter.blend_method == WEBP_MUX_BLEND;
            f.disposeToBackground = iter.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND;
            WebPBitstreamFeatures features;
            f.usable = WebPGetFeatures(f.bytes, f.size, &features) == VP8_STATUS_OK &&
                       static_cast<std::uint32_t>(features.width) == f.width &&
                       static_cast<std::uint32_t>(features.height) == f.height && f.width > 0 &&
                       f.height > 0 && std::uint64_t{f.x} + f.width <= state->width &&
                       std::uint64_t{f.y} + f.height <= state->height;
            // A frame off the canvas, larger than it, or whose bitstream disagrees with its
            // rectangle makes the whole file unreadable.
            if (!f.usable)
                return unplayable;
            state->frames.push_back(f);
        } while (WebPDemuxNextFrame(&iter));
    }
    if (state->frames.empty())
        return unplayable;

    // A frame is a key frame when it is the first, when it replaces the whole canvas, or when the
    // frame before it left a clear canvas behind (it covered the canvas, or was drawn on a clear one,
    // and was disposed to background).
    auto full = [&](const WebPFrameEntry& f) { return f.width == state->width && f.height == state->height; };
    state->keyBefore.resize(state->frames.size());
    for (std::size_t i = 0; i < state->frames.size(); ++i) {
        WebPFrameEntry& f = state->frames[i];
        if (i == 0) {
            f.keyFrame = true;
        } else {
            const WebPFrameEntry& prev = state->frames[i - 1];
            f.keyFrame = ((!f.hasAlpha || !f.blend) && full(f)) ||
                         (prev.disposeToBackground && (full(prev) || prev.keyFrame));
        }
        state->keyBefore[i] = f.keyFrame ? static_cast<std::int32_t>(i + 1) : state->keyBefore[i - 1];
    }
    return state;
}

bool AnimationState::show(std::int32_t number, DisplayBuffer& canvas)
{
    if (number < 1 || number > frameCount())
        return false;
    const bool kept = canvas.data && canvas.data.get() == lastCanvas &&
                      canvas.size == std::uint64_t{width} * height * 4;
    if (!kept) {
        forgetCanvas();
        canvas.reset();
        ensureDisplayBuffer(canvas, width, height);
    }
    return canvas && compose(number, canvas.data.get());
}

bool AnimationState::compose(std::int32_t number, std::uint8_t* canvas)
{
    if (!canvas || number < 1 || number > frameCount())
        return false;
    const std::int32_t key = keyFrameFor(number);
    std::int32_t start = key;
    bool fresh = true;
    if (canvas == lastCanvas && composed >= key && composed <= number) {
        if (composed == number)
            return true;
        start = composed + 1;
        fresh = false;
    }
    bool ok = true;
    for (std::int32_t n = start; n <= number; ++n)
        ok = drawFrame(n, fresh && n == start, canvas) && ok;
    lastCanvas = canvas;
    composed = number;
    return ok;
}

bool AnimationState::drawFrame(std::int32_t number, bool startsComposition, std::uint8_t* canvas)
{
    const WebPFrameEntry& f = frame(number);
    const std::uint32_t stride = width * 4;
    const bool replacesCanvas = f.width == width && f.height == height && (!f.hasAlpha || !f.blend);
    const WebPFrameEntry* prev = number > 1 ? &frame(number - 1) : nullptr;

    if (startsComposition) {
        if (!replacesCanvas)
            std::memset(canvas, 0, static_cast<std::size_t>(stride) * height);
    } else if (prev && prev->disposeToBackground && prev->usable) {
        for (std::uint32_t row = 0; row < prev->height; ++row)
            std::memset(canvas + static_cast<std::uint64_t>(prev->y + row) * stride + prev->x * 4ull, 0,
                        prev->width * 4ull);
    }
    if (!f.usable)
        return false;

    std::uint8_t* origin = canvas + static_cast<std::uint64_t>(f.y) * stride + f.x * 4ull;
    const std::uint64_t rowBytes = f.width * 4ull;
    if (f.keyFrame || !f.blend || !f.hasAlpha)
        return pixelsOf(number, origin, stride, static_cast<std::uint64_t>(stride) * (f.height - 1) + rowBytes);

    // A blended frame: decoded aside, then laid over the canvas. Inside the rectangle of a previous
    // frame that was disposed to background the canvas is clear, and the frame's pixels are taken as
    // they are.
    const std::uint64_t needed = rowBytes * f.height;
    const std::uint8_t* pixels = nullptr;
    if (number == predecodedNumber && predecoded && predecoded->size == needed) {
        pixels = predecoded->data.get(); // decoded beforehand: laid over from where it is
    } else {
        if (frameBufferSize < needed) {
            frameBuffer = allocZeroed<std::uint8_t>(needed);
            frameBufferSize = frameBuffer ? needed : 0;
            if (!frameBuffer)
                return false;
        }
        if (!decode(f, frameBuffer.get(), static_cast<std::uint32_t>(rowBytes), needed))
            return false;
        pixels = frameBuffer.get();
    }
    const bool clearedRect = prev && prev->disposeToBackground;
    for (std::uint32_t row = 0; row < f.height; ++row) {
        const std::uint32_t y = f.y + row;
        std::uint8_t* dst = origin + static_cast<std::uint64_t>(row) * stride;
        const std::uint8_t* src = pixels + row * rowBytes;
        // Columns [left, right) of this row lie in the cleared rectangle.
        std::uint32_t left = f.x, right = f.x;
        if (clearedRect && y >= prev->y && y < prev->y + prev->height) {
            left = std::clamp(prev->x, f.x, f.x + f.width);
            right = std::clamp(prev->x + prev->width, f.x, f.x + f.width);
        }
        blendRow(dst, src, left - f.x);
        std::memcpy(dst + (left - f.x) * 4ull, src + (left - f.x) * 4ull, (right - left) * 4ull);
        blendRow(dst + (right - f.x) * 4ull, src + (right - f.x) * 4ull, f.x + f.width - right);
    }
    return true;
}

bool AnimationState::pixelsOf(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size)
{
    const WebPFrameEntry& f = frame(number);
    const std::uint64_t rowBytes = f.width * 4ull;
    if (number != predecodedNumber || !predecoded || predecoded->size != rowBytes * f.height)
        return decode(f, out, stride, size);
    for (std::uint32_t row = 0; row < f.height; ++row)
        std::memcpy(out + std::uint64_t{row} * stride, predecoded->data.get() + row * rowBytes, rowBytes);
    return true;
}

bool AnimationState::decodeFragment(std::int32_t number, OwnedBytes& fragment) const
{
    if (number < 1 || number > frameCount() || !frame(number).usable)
        return false;
    const WebPFrameEntry& f = frame(number);
    ensureDisplayBuffer(fragment, f.width, f.height); // the frame lies on the canvas: in the budget
    if (!fragment)
        return false;
    // A configuration of its own: the state's one is in use by compose() on another thread.
    WebPDecoderConfig local;
    if (!WebPInitDecoderConfig(&local))
        return false;
    setViewingOptions(local.options);
    local.output.colorspace = MODE_ARGB;
    local.output.is_external_memory = 1;
    local.output.u.RGBA.rgba = fragment.data.get();
    local.output.u.RGBA.stride = static_cast<int>(f.width * 4);
    local.output.u.RGBA.size = static_cast<std::size_t>(fragment.size);
    if (WebPDecode(f.bytes, f.size, &local) == VP8_STATUS_OK)
        return true;
    fragment.reset();
    return false;
}

bool AnimationState::showDecoded(std::int32_t number, const OwnedBytes& fragment, DisplayBuffer& canvas)
{
    predecoded = &fragment;
    predecodedNumber = number;
    const bool ok = show(number, canvas);
    predecoded = nullptr;
    predecodedNumber = 0;
    return ok;
}

bool AnimationState::decode(const WebPFrameEntry& f, std::uint8_t* out, std::uint32_t stride, std::uint64_t size)
{
    config.output.u.RGBA.rgba = out;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = static_cast<std::size_t>(size);
    return WebPDecode(f.bytes, f.size, &config) == VP8_STATUS_OK;
}

bool AnimationState::standsAlone(std::int32_t number) const
{
    if (number < 1 || number > frameCount())
        return false;
    const WebPFrameEntry& f = frame(number);
    return f.usable && f.width == width && f.height == height && (!f.hasAlpha || !f.blend);
}

bool AnimationState::decodeNative(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size,
                                  bool& hasAlpha) const
{
    if (!out || !standsAlone(number) || std::uint64_t{stride} < std::uint64_t{width} * 4 ||
        std::uint64_t{stride} * height > size)
        return false;
    const WebPFrameEntry& f = frame(number);
    // A configuration of its own: the state's one is in use by compose() on another thread.
    WebPDecoderConfig local;
    if (!WebPInitDecoderConfig(&local))
        return false;
    setViewingOptions(local.options);
    // Native 32-bit words: B,G,R,A bytes on a little-endian machine, A,R,G,B on a big-endian one,
    // premultiplied after.
    constexpr bool little = std::endian::native == std::endian::little;
    local.output.colorspace = little ? MODE_BGRA : MODE_ARGB;
    local.output.is_external_memory = 1;
    local.output.u.RGBA.rgba = out;
    local.output.u.RGBA.stride = static_cast<int>(stride);
    local.output.u.RGBA.size = static_cast<std::size_t>(size);
    hasAlpha = f.hasAlpha;
    if (WebPDecode(f.bytes, f.size, &local) != VP8_STATUS_OK)
        return false;
    if (hasAlpha)
        for (std::uint32_t row = 0; row < height; ++row)
            premultiplyNative(reinterpret_cast<std::uint32_t*>(out + std::uint64_t{row} * stride), width);
    return true;
}

} // namespace quorvanta
