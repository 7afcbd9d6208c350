#include "encoding/AnimationSplice.h"

#include <webp/demux.h>

#include <memory>

namespace quorvanta {

namespace {

constexpr long long kMaxDurationMs = (1 << 24) - 1;

struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const noexcept { WebPDemuxDelete(demuxer); }
};
struct IteratorGuard {
    WebPIterator iterator{};
    ~IteratorGuard() { WebPDemuxReleaseIterator(&iterator); }
};

// One frame of a piece, pointing into that piece's bytes.
struct SplicedFrame {
    const std::uint8_t* payload = nullptr; // ALPH + VP8, or VP8L, with their chunk headers
    std::size_t size = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    long long startMs = 0;
    bool disposeToBackground = false;
    bool noBlend = false;
};

void putLE(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putTag(std::vector<std::uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// Collects the frames of `piece`, leaving out its lead-in; `pieceStartMs` is when its first frame
// (the lead-in, when it has one) starts in the whole animation. False when the bytes are no WebP.
bool collectFrames(const EncodedPiece& piece, long long pieceStartMs, std::vector<SplicedFrame>& frames,
                   bool& anyAlpha)
{
    const WebPData data{piece.bytes.data(), piece.bytes.size()};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    if (!demuxer)
        return false;
    IteratorGuard guard;
    WebPIterator& it = guard.iterator;
    if (!WebPDemuxGetFrame(demuxer.get(), 1, &it))
        return false;
    long long startMs = pieceStartMs;
    bool first = true;
    do {
        if (!(first && piece.leadIn)) {
            frames.push_back({it.fragment.bytes, it.fragment.size, it.x_offset, it.y_offset, it.width, it.height,
                              startMs, it.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND,
                              it.blend_method == WEBP_MUX_NO_BLEND});
            anyAlpha = anyAlpha || it.has_alpha;
        }
        first = false;
        startMs += it.duration;
    } while (WebPDemuxNextFrame(&it));
    return true;
}

} // namespace

std::vector<std::uint8_t> SpliceAnimation(const std::vector<EncodedPiece>& pieces, const AnimationLayout& layout,
                                          std::string& error)
{
    std::vector<SplicedFrame> frames;
    bool anyAlpha = false;
    long long keptUntilMs = 0; // where the pictures of the pieces so far end
    for (const EncodedPiece& piece : pieces) {
        const long long startMs = keptUntilMs - (piece.leadIn ? piece.leadInMs : 0);
        if (!collectFrames(piece, startMs, frames, anyAlpha)) {
            error = "a piece of the animation is no WebP file";
            return {};
        }
        keptUntilMs += piece.keptMs;
    }
    if (frames.empty()) {
        error = "no frame to join";
        return {};
    }

    // The layout libwebp's muxer writes: RIFF, VP8X, ANIM, then one ANMF chunk per frame.
    std::vector<std::uint8_t> out;
    putTag(out, "RIFF");
    putLE(out, 0, 4); // the size, filled in at the end
    putTag(out, "WEBP");
    putTag(out, "VP8X");
    putLE(out, 10, 4);
    putLE(out, 0x02u | (anyAlpha ? 0x10u : 0u), 4); // animation, alpha; three reserved bytes
    putLE(out, layout.width - 1, 3);
    putLE(out, layout.height - 1, 3);
    putTag(out, "ANIM");
    putLE(out, 6, 4);
    putLE(out, layout.background, 4);
    putLE(out, static_cast<std::uint32_t>(layout.loopCount), 2);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const SplicedFrame& frame = frames[i];
        const long long endMs = i + 1 < frames.size() ? frames[i + 1].startMs : keptUntilMs;
        const long long durationMs = endMs - frame.startMs;
        if (durationMs < 0 || durationMs > kMaxDurationMs) {
            error = "a joined frame would last longer than a WebP frame can";
            return {};
        }
        putTag(out, "ANMF");
        putLE(out, 16 + frame.size + (frame.size & 1), 4);
        putLE(out, std::uint32_t(frame.x / 2), 3);
        putLE(out, std::uint32_t(frame.y / 2), 3);
        putLE(out, std::uint32_t(frame.width - 1), 3);
        putLE(out, std::uint32_t(frame.height - 1), 3);
        putLE(out, std::uint64_t(durationMs), 3);
        out.push_back(static_cast<std::uint8_t>((frame.noBlend ? 2 : 0) | (frame.disposeToBackground ? 1 : 0)));
        out.insert(out.end(), frame.payload, frame.payload + frame.size);
        if (frame.size & 1)
            out.push_back(0);
    }
    const std::uint64_t riffSize = out.size() - 8;
    if (riffSize > 0xFFFFFFF6u) {
        error = "the joined animation is too large for a WebP file";
        return {};
    }
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    return out;
}

} // namespace quorvanta
