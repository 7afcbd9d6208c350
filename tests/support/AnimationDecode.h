#pragma once
// An animated WebP decoded with libwebp's own animation decoder: the canvas after every frame, as a
// player shows it, for comparisons with what was meant to be written.

#include <webp/demux.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport {

struct DecodedAnimation {
    bool ok = false;
    int width = 0;
    int height = 0;
    int loopCount = -1;
    std::uint32_t background = 0;
    std::vector<std::vector<std::uint32_t>> frames; // 0xAARRGGBB canvases
    std::vector<int> durations;
};

inline DecodedAnimation decodeAnimation(const std::vector<std::uint8_t>& bytes)
{
    DecodedAnimation out;
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    const WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) {
        WebPAnimDecoderDelete(decoder);
        return out;
    }
    WebPDemuxer* demux = WebPDemux(&data);
    out.ok = demux && (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG);
    WebPDemuxDelete(demux);
    out.width = int(info.canvas_width);
    out.height = int(info.canvas_height);
    out.loopCount = int(info.loop_count);
    out.background = info.bgcolor;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder, &pixels, &timestamp)) {
            out.ok = false;
            break;
        }
        std::vector<std::uint32_t> frame(std::size_t(out.width) * std::size_t(out.height));
        std::memcpy(frame.data(), pixels, frame.size() * 4);
        out.frames.push_back(std::move(frame));
        out.durations.push_back(timestamp - previous);
        previous = timestamp;
    }
    WebPAnimDecoderDelete(decoder);
    return out;
}

// A,R,G,B bytes (a display buffer's layout) as 0xAARRGGBB values; `count` pixels.
inline std::vector<std::uint32_t> argbBytesToPixels(const std::uint8_t* bytes, std::size_t count)
{
    std::vector<std::uint32_t> out(bytes ? count : 0);
    for (std::size_t i = 0; i < out.size(); ++i, bytes += 4)
        out[i] = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
    return out;
}

// Fully transparent pixels compare equal whatever colour they carry.
inline std::vector<std::uint32_t> clearTransparent(std::vector<std::uint32_t> pixels)
{
    for (auto& pixel : pixels)
        if ((pixel >> 24) == 0)
            pixel = 0;
    return pixels;
}

// Peak signal-to-noise ratio over the four channels; 99 for equal pictures.
inline double psnr4(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const double d = double((a[i] >> shift) & 255) - double((b[i] >> shift) & 255);
            sum += d * d;
        }
    const double mse = sum / double(a.size() * 4);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace testsupport
