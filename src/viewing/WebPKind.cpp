#include "viewing/WebPKind.h"

#include "viewing/AnimationState.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

namespace quorvanta {

namespace {

WebPCoding codingOf(int format)
{
    switch (format) {
    case 1: return WebPCoding::Lossy;
    case 2: return WebPCoding::Lossless;
    default: return WebPCoding::Mixed;
    }
}

WebPCoding combined(WebPCoding a, WebPCoding b)
{
    return a == WebPCoding::Unknown || a == b ? b : WebPCoding::Mixed;
}

struct IteratorGuard {
    WebPIterator iterator{};
    bool held = false;
    ~IteratorGuard()
    {
        if (held)
            WebPDemuxReleaseIterator(&iterator);
    }
};

} // namespace

WebPKind describeWebP(std::span<const std::uint8_t> bytes)
{
    WebPKind kind;
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return kind;
    kind.alpha = features.has_alpha != 0;
    kind.animated = features.has_animation != 0;
    if (!kind.animated) {
        kind.coding = codingOf(features.format);
        kind.frames = 1;
        return kind;
    }
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPDemuxer, DemuxerDeleter> demuxer(WebPDemux(&data));
    IteratorGuard frames;
    if (!demuxer || !(frames.held = WebPDemuxGetFrame(demuxer.get(), 1, &frames.iterator) != 0))
        return kind;
    do {
        WebPBitstreamFeatures frame{};
        if (WebPGetFeatures(frames.iterator.fragment.bytes, frames.iterator.fragment.size, &frame) == VP8_STATUS_OK)
            kind.coding = combined(kind.coding, codingOf(frame.format));
        ++kind.frames;
    } while (WebPDemuxNextFrame(&frames.iterator));
    return kind;
}

} // namespace quorvanta
