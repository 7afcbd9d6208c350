#include "import/SourceMetadata.h"

#include "import/ByteCursor.h"
#include "import/Inflate.h"
#include "import/TiffStructure.h"

#include <webp/demux.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvanta {

namespace {

using Bytes = std::span<const std::uint8_t>;

bool startsWith(Bytes bytes, std::string_view prefix)
{
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

void note(SourceMetadata& meta, const char* what)
{
    if (meta.problem.empty())
        meta.problem = what;
}

void keepIcc(SourceMetadata& meta, Bytes icc)
{
    if (icc.size() > kMaxMetadataBlockBytes || !LooksLikeIccProfile(icc))
        return note(meta, "the colour profile is damaged");
    const std::uint32_t declared = (std::uint32_t(icc[0]) << 24) | (icc[1] << 16) | (icc[2] << 8) | icc[3];
    meta.icc.assign(icc.begin(), icc.begin() + declared);
}

// Keeps a TIFF-structured EXIF block (a leading "Exif\0\0", which some writers put in PNG and WebP
// too, is dropped) and reads its orientation.
void keepExif(SourceMetadata& meta, Bytes exif)
{
    if (startsWith(exif, std::string_view("Exif\0\0", 6)))
        exif = exif.subspan(6);
    const TiffReader reader(exif);
    if (!reader.readIfd(reader.firstIfd()) || exif.size() > kMaxMetadataBlockBytes)
        return note(meta, "the EXIF block is damaged");
    meta.exif.assign(exif.begin(), exif.end());
    meta.orientation = ReadTiffOrientation(reader);
}

void keepXmp(SourceMetadata& meta, Bytes xmp)
{
    if (xmp.empty() || xmp.size() > kMaxMetadataBlockBytes)
        return note(meta, "the XMP packet is damaged");
    meta.xmp.assign(xmp.begin(), xmp.end());
}

// --- JPEG: APP1 "Exif", APP1 XMP, APP2 "ICC_PROFILE" in numbered pieces, all before the scan data.

void readJpeg(Bytes bytes, SourceMetadata& meta)
{
    static constexpr std::string_view kExif("Exif\0\0", 6);
    static constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
    static constexpr std::string_view kIcc("ICC_PROFILE\0", 12);
    std::array<Bytes, 256> iccPieces{};
    int iccTotal = 0;
    bool iccBroken = false;

    // Damage ends the walk; what was read before it still counts.
    ByteCursor in(bytes, 2);
    while (in.remaining() > 0) {
        if (in.u8() != 0xFF) {
            note(meta, "the JPEG markers are damaged");
            break;
        }
        std::uint8_t marker = 0xFF;
        while (in.ok() && marker == 0xFF) // fill bytes
            marker = in.u8();
        if (!in.ok() || marker == 0xD9 || marker == 0xDA) // end of picture, or the scan: no metadata after
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) // markers without a length
            continue;
        const std::uint16_t length = in.be16();
        const Bytes payload = in.take(length >= 2 ? length - 2u : bytes.size());
        if (!in.ok()) {
            note(meta, "a JPEG segment runs past the end of the file");
            break;
        }
        if (marker == 0xE1 && startsWith(payload, kExif) && meta.exif.empty()) {
            keepExif(meta, payload.subspan(kExif.size()));
        } else if (marker == 0xE1 && startsWith(payload, kXmp) && meta.xmp.empty()) {
            keepXmp(meta, payload.subspan(kXmp.size()));
        } else if (marker == 0xE2 && startsWith(payload, kIcc)) {
            const Bytes rest = payload.subspan(kIcc.size());
            const int sequence = rest.size() >= 2 ? rest[0] : 0;
            const int total = rest.size() >= 2 ? rest[1] : 0;
            if (sequence < 1 || sequence > total || (iccTotal && total != iccTotal) || !iccPieces[sequence].empty())
                iccBroken = true;
            else
                iccPieces[sequence] = rest.subspan(2);
            iccTotal = total;
        }
    }
    if (iccTotal == 0 && !iccBroken)
        return;
    std::vector<std::uint8_t> icc;
    for (int i = 1; i <= iccTotal && !iccBroken; ++i) {
        iccBroken = iccPieces[i].empty() || icc.size() + iccPieces[i].size() > kMaxMetadataBlockBytes;
        icc.insert(icc.end(), iccPieces[i].begin(), iccPieces[i].end());
    }
    if (iccBroken)
        return note(meta, "the pieces of the JPEG colour profile do not fit together");
    keepIcc(meta, icc);
}

// --- PNG: iCCP (compressed), eXIf, iTXt "XML:com.adobe.xmp" (compressed or not).

// The text after a NUL-terminated field, or nothing when there is no NUL.
std::optional<Bytes> afterNul(Bytes bytes)
{
    if (bytes.empty())
        return std::nullopt;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(bytes.data(), 0, bytes.size()));
    if (!nul)
        return std::nullopt;
    return bytes.subspan(std::size_t(nul - bytes.data()) + 1);
}

void readPngText(Bytes data, SourceMetadata& meta)
{
    static constexpr std::string_view kXmpKey("XML:com.adobe.xmp\0", 18);
    if (!startsWith(data, kXmpKey) || !meta.xmp.empty())
        return;
    Bytes rest = data.subspan(kXmpKey.size());
    if (rest.size() < 2)
        return note(meta, "the XMP packet is damaged");
    const bool compressed = rest[0] != 0;
    const auto translatedKeyword = afterNul(rest.subspan(2)); // after the language tag
    const auto text = translatedKeyword ? afterNul(*translatedKeyword) : std::nullopt;
    if (!text)
        return note(meta, "the XMP packet is damaged");
    if (!compressed)
        return keepXmp(meta, *text);
    const auto inflated = rest[1] == 0 ? InflateZlib(*text, kMaxMetadataBlockBytes) : std::nullopt;
    if (!inflated)
        return note(meta, "the XMP packet is damaged");
    keepXmp(meta, *inflated);
}

void readPng(Bytes bytes, SourceMetadata& meta)
{
    ByteCursor in(bytes, 8);
    while (in.remaining() > 0) {
        const std::uint32_t length = in.be32();
        const Bytes type = in.take(4);
        const Bytes data = in.take(length);
        in.skip(4); // CRC
        if (!in.ok())
            return note(meta, "a PNG chunk runs past the end of the file");
        if (startsWith(type, "IEND")) {
            break;
        } else if (startsWith(type, "iCCP") && meta.icc.empty()) {
            const auto method = afterNul(data);
            const auto inflated = method && !method->empty() && (*method)[0] == 0
                                      ? InflateZlib(method->subspan(1), kMaxMetadataBlockBytes)
                                      : std::nullopt;
            if (!inflated)
                note(meta, "the colour profile is damaged");
            else
                keepIcc(meta, *inflated);
        } else if (startsWith(type, "eXIf") && meta.exif.empty()) {
            keepExif(meta, data);
        } else if (startsWith(type, "iTXt")) {
            readPngText(data, meta);
        }
    }
}

// --- TIFF: the ICC and XMP tags of the first directory; EXIF rebuilt from its descriptive tags.

void readTiff(Bytes bytes, SourceMetadata& meta)
{
    const TiffReader reader(bytes);
    const auto entries = reader.readIfd(reader.firstIfd());
    if (!entries)
        return note(meta, "the TIFF directory is damaged");
    if (const TiffEntry* icc = FindTiffEntry(*entries, tiff::kIccProfile))
        keepIcc(meta, reader.value(*icc));
    if (const TiffEntry* xmp = FindTiffEntry(*entries, tiff::kXmp))
        keepXmp(meta, reader.value(*xmp));
    meta.exif = BuildExifFromTiff(reader, kMaxMetadataBlockBytes);
    meta.orientation = ReadTiffOrientation(reader);
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const noexcept { WebPDemuxDelete(demuxer); }
};

class ChunkIterator {
public:
    ChunkIterator(const WebPDemuxer* demuxer, const char* fourcc)
        : found(WebPDemuxGetChunk(demuxer, fourcc, 1, &iterator) != 0)
    {
    }
    ~ChunkIterator() { WebPDemuxReleaseChunkIterator(&iterator); }
    ChunkIterator(const ChunkIterator&) = delete;
    ChunkIterator& operator=(const ChunkIterator&) = delete;

    std::optional<Bytes> bytes() const
    {
        if (!found)
            return std::nullopt;
        return Bytes(iterator.chunk.bytes, iterator.chunk.size);
    }

private:
    WebPChunkIterator iterator{};
    bool found = false;
};

} // namespace

bool LooksLikeIccProfile(std::span<const std::uint8_t> icc)
{
    if (icc.size() < 132)
        return false;
    const std::uint32_t declared = (std::uint32_t(icc[0]) << 24) | (icc[1] << 16) | (icc[2] << 8) | icc[3];
    return declared >= 132 && declared <= icc.size() && std::memcmp(icc.data() + 36, "acsp", 4) == 0;
}

SourceMetadata ReadWebPMetadata(std::span<const std::uint8_t> bytes)
{
    SourceMetadata meta;
    if (bytes.size() < 12 || !startsWith(bytes, "RIFF") || std::memcmp(bytes.data() + 8, "WEBP", 4) != 0)
        return meta;
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    if (!demuxer) {
        note(meta, "the WebP container is damaged");
        return meta;
    }
    if (const auto icc = ChunkIterator(demuxer.get(), "ICCP").bytes())
        keepIcc(meta, *icc);
    if (const auto exif = ChunkIterator(demuxer.get(), "EXIF").bytes())
        keepExif(meta, *exif);
    if (const auto xmp = ChunkIterator(demuxer.get(), "XMP ").bytes())
        keepXmp(meta, *xmp);
    return meta;
}

SourceMetadata ReadSourceMetadata(std::span<const std::uint8_t> bytes)
{
    SourceMetadata meta;
    if (startsWith(bytes, "\xFF\xD8\xFF"))
        readJpeg(bytes, meta);
    else if (startsWith(bytes, "\x89PNG\r\n\x1A\n"))
        readPng(bytes, meta);
    else if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)))
        readTiff(bytes, meta);
    else
        return ReadWebPMetadata(bytes);
    return meta;
}

} // namespace quorvanta
