#include "encoding/WebPMetadata.h"

#include "encoding/WebPHandles.h"
#include "import/Orientation.h"

#include <utility>

namespace quorvanta {

SourceMetadata SelectMetadata(const SourceMetadata& source, KeepMetadata keep, bool pixelsTurned)
{
    SourceMetadata kept;
    if (keep == KeepMetadata::None)
        return kept;
    kept.icc = source.icc;
    if (keep == KeepMetadata::ColourProfile)
        return kept;
    kept.xmp = source.xmp;
    kept.exif = source.exif;
    kept.orientation = source.orientation;
    if (pixelsTurned && !kept.exif.empty()) {
        if (!ResetExifOrientation(kept.exif))
            kept.exif.clear();
        kept.orientation = 1;
    }
    return kept;
}

std::optional<std::vector<std::uint8_t>> AddWebPMetadata(std::span<const std::uint8_t> webp,
                                                         const SourceMetadata& metadata)
{
    if (metadata.empty())
        return std::vector<std::uint8_t>(webp.begin(), webp.end());
    const WebPData file{webp.data(), webp.size()};
    const MuxHandle mux(WebPMuxCreate(&file, 0));
    if (!mux)
        return std::nullopt;
    const std::pair<const char*, const std::vector<std::uint8_t>*> chunks[] = {
        {"ICCP", &metadata.icc}, {"EXIF", &metadata.exif}, {"XMP ", &metadata.xmp}};
    for (const auto& [fourcc, bytes] : chunks) {
        if (bytes->empty())
            continue;
        const WebPData chunk{bytes->data(), bytes->size()};
        if (WebPMuxSetChunk(mux.get(), fourcc, &chunk, 0) != WEBP_MUX_OK)
            return std::nullopt;
    }
    OwnedWebPData assembled;
    if (WebPMuxAssemble(mux.get(), assembled.get()) != WEBP_MUX_OK)
        return std::nullopt;
    return std::vector<std::uint8_t>((*assembled).bytes, (*assembled).bytes + (*assembled).size);
}

std::optional<std::vector<std::uint8_t>> AddWebPMetadata(std::span<const std::uint8_t> webp,
                                                         const SourceMetadata& source, KeepMetadata keep,
                                                         bool pixelsTurned)
{
    return AddWebPMetadata(webp, SelectMetadata(source, keep, pixelsTurned));
}

std::vector<std::uint8_t> ReadWebPIccProfile(std::span<const std::uint8_t> webp)
{
    return ReadWebPMetadata(webp).icc;
}

} // namespace quorvanta
