#pragma once
// WebP files put together in code: RIFF chunks by hand (so that a test can write what no encoder
// would, such as frames outside the canvas), tiny lossless frames from libwebp's encoder, animations
// assembled with libwebp's mux, and the chunk boundaries of a file.

#include <QByteArray>
#include <QList>

#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace webpbuild {

inline QByteArray le(std::uint32_t value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// A chunk: tag, little-endian size, payload and the pad byte an odd payload needs.
inline QByteArray chunk(const char* tag, const QByteArray& payload)
{
    QByteArray out = QByteArray(tag, 4) + le(std::uint32_t(payload.size()), 4) + payload;
    if (payload.size() % 2)
        out.append('\0');
    return out;
}

inline QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le(std::uint32_t(chunks.size() + 4), 4) + "WEBP" + chunks;
}

enum Vp8xFlags : std::uint8_t { kAnimation = 0x02, kAlpha = 0x10 };

inline QByteArray vp8x(std::uint8_t flags, std::uint32_t canvasWidth, std::uint32_t canvasHeight)
{
    return chunk("VP8X", QByteArray(1, char(flags)) + QByteArray(3, '\0') + le(canvasWidth - 1, 3) +
                             le(canvasHeight - 1, 3));
}

// Loop count and background colour of an animation.
inline QByteArray anim(std::uint16_t loops = 0, std::uint32_t background = 0)
{
    return chunk("ANIM", le(background, 4) + le(loops, 2));
}

// A frame of an animation: offsets (even), size, duration, dispose to background, blend, and the
// frame's own chunks.
inline QByteArray anmf(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height,
                       std::uint32_t duration, bool dispose, bool blend, const QByteArray& frameChunks)
{
    const char flags = char((dispose ? 1 : 0) | (blend ? 0 : 2));
    return chunk("ANMF", le(x / 2, 3) + le(y / 2, 3) + le(width - 1, 3) + le(height - 1, 3) + le(duration, 3) +
                             QByteArray(1, flags) + frameChunks);
}

struct WebPFreeDeleter {
    void operator()(std::uint8_t* p) const { WebPFree(p); }
};

// A complete lossless WebP file of one colour (0xAARRGGBB), with varied alpha when `alpha`.
inline QByteArray losslessFile(int width, int height, std::uint32_t argb, bool alpha = false)
{
    std::vector<std::uint32_t> bgra(std::size_t(width) * std::size_t(height), argb);
    if (alpha)
        for (std::size_t i = 0; i < bgra.size(); i += 2)
            bgra[i] = (argb & 0x00FFFFFF) | 0x40000000;
    std::uint8_t* raw = nullptr;
    const std::size_t size = WebPEncodeLosslessBGRA(reinterpret_cast<const std::uint8_t*>(bgra.data()), width,
                                                    height, width * 4, &raw);
    const std::unique_ptr<std::uint8_t, WebPFreeDeleter> owned(raw);
    return size ? QByteArray(reinterpret_cast<const char*>(raw), qsizetype(size)) : QByteArray();
}

// The image chunk of a simple-format file (everything after the RIFF header).
inline QByteArray imageChunk(const QByteArray& simpleFile)
{
    return simpleFile.mid(12);
}

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

struct MuxFrame {
    QByteArray file; // a complete still WebP file
    int x = 0, y = 0, duration = 10;
    bool dispose = false, blend = true;
};

// An animation assembled by libwebp's mux; empty when the mux refuses it.
inline QByteArray muxAnimation(const std::vector<MuxFrame>& frames, int canvasWidth, int canvasHeight,
                               int loops = 0, std::uint32_t background = 0xFFFFFFFF)
{
    const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    if (!mux)
        return {};
    for (const MuxFrame& f : frames) {
        WebPMuxFrameInfo info{};
        info.bitstream = {reinterpret_cast<const std::uint8_t*>(f.file.constData()), std::size_t(f.file.size())};
        info.x_offset = f.x;
        info.y_offset = f.y;
        info.duration = f.duration;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = f.dispose ? WEBP_MUX_DISPOSE_BACKGROUND : WEBP_MUX_DISPOSE_NONE;
        info.blend_method = f.blend ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        if (WebPMuxPushFrame(mux.get(), &info, 0) != WEBP_MUX_OK) // the frames outlive the mux
            return {};
    }
    const WebPMuxAnimParams params{background, loops};
    if (WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK ||
        WebPMuxSetCanvasSize(mux.get(), canvasWidth, canvasHeight) != WEBP_MUX_OK)
        return {};
    WebPData out{};
    if (WebPMuxAssemble(mux.get(), &out) != WEBP_MUX_OK)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(out.bytes), qsizetype(out.size));
    WebPDataClear(&out);
    return bytes;
}

// Every offset where a chunk (or, inside a frame, a sub-chunk) begins or where a chunk header
// ends, plus the first bytes of the RIFF header: the places where a cut file is most telling.
inline QList<qsizetype> chunkBoundaries(const QByteArray& file)
{
    QList<qsizetype> cuts{1, 4, 8, 12};
    const auto walk = [&](qsizetype from, qsizetype to, auto&& self) -> void {
        qsizetype at = from;
        while (at + 8 <= to) {
            const std::uint32_t size = std::uint32_t(std::uint8_t(file[at + 4])) |
                                       std::uint32_t(std::uint8_t(file[at + 5])) << 8 |
                                       std::uint32_t(std::uint8_t(file[at + 6])) << 16 |
                                       std::uint32_t(std::uint8_t(file[at + 7])) << 24;
            cuts << at << at + 8;
            if (file.mid(at, 4) == "ANMF" && at + 24 <= to)
                self(at + 24, std::min<qsizetype>(to, at + 8 + qsizetype(size)), self);
            at += 8 + qsizetype(size) + qsizetype(size % 2);
        }
    };
    walk(12, file.size(), walk);
    QList<qsizetype> inside;
    for (qsizetype cut : cuts)
        if (cut > 0 && cut < file.size() && !inside.contains(cut))
            inside << cut;
    return inside;
}

} // namespace webpbuild
