#include "import/TruncationChecks.h"

#include "import/ByteCursor.h"

#include <cstring>

namespace quorvanta {

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, const char* magic, std::size_t length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

// Skips a run of GIF data sub-blocks up to and including the empty one.
void skipSubBlocks(ByteCursor& in)
{
    for (std::uint8_t n = in.u8(); in.ok() && n != 0; n = in.u8())
        in.skip(n);
}

// Header, colour tables and extensions up to the first image, and that image's data.
bool gifFirstImageComplete(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes, 10);
    const std::uint8_t flags = in.u8();
    in.skip(2);
    if (flags & 0x80)
        in.skip(3u << ((flags & 7) + 1));
    while (in.ok()) {
        const std::uint8_t block = in.u8();
        if (block == 0x21) { // extension: label, then sub-blocks
            in.skip(1);
            skipSubBlocks(in);
        } else if (block == 0x2C) { // image descriptor
            in.skip(8);
            const std::uint8_t imageFlags = in.u8();
            if (imageFlags & 0x80)
                in.skip(3u << ((imageFlags & 7) + 1));
            in.skip(1); // LZW minimum code size
            skipSubBlocks(in);
            return in.ok();
        } else {
            return false; // trailer or garbage before any image
        }
    }
    return false;
}

// Uncompressed BMP rows must all be there; compressed ones are left to Qt.
bool bmpRowsComplete(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes, 10);
    const std::uint32_t offset = in.le32();
    const std::uint32_t headerSize = in.le32();
    if (!in.ok() || headerSize < 40)
        return true; // old OS/2 headers: Qt judges
    const std::uint32_t width = in.le32();
    const auto height = static_cast<std::int32_t>(in.le32());
    in.skip(2);
    const std::uint16_t bits = in.le16();
    const std::uint32_t compression = in.le32();
    if (!in.ok() || (compression != 0 && compression != 3 && compression != 6))
        return true;
    const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
    const std::uint64_t rows = height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
    return std::uint64_t(offset) + rowBytes * rows <= bytes.size();
}

// Walks the marker segments to the first scan, then looks for the end marker after it.
bool jpegHasEnd(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes, 2);
    while (in.ok()) {
        if (in.u8() != 0xFF)
            return false;
        std::uint8_t marker = in.u8();
        while (marker == 0xFF && in.ok())
            marker = in.u8();
        if (marker == 0xD9)
            return true;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue;
        const std::uint16_t length = in.be16();
        if (length < 2)
            return false;
        in.skip(length - 2u);
        if (marker == 0xDA) {
            const auto rest = bytes.subspan(in.ok() ? in.position() : bytes.size());
            for (std::size_t i = 0; i + 1 < rest.size(); ++i)
                if (rest[i] == 0xFF && rest[i + 1] == 0xD9)
                    return true;
            return false;
        }
    }
    return false;
}

} // namespace

bool LooksComplete(std::span<const std::uint8_t> bytes)
{
    if (startsWith(bytes, "GIF87a", 6) || startsWith(bytes, "GIF89a", 6))
        return gifFirstImageComplete(bytes);
    if (startsWith(bytes, "BM", 2))
        return bmpRowsComplete(bytes);
    if (startsWith(bytes, "\xFF\xD8\xFF", 3))
        return jpegHasEnd(bytes);
    return true;
}

bool PngChunksFit(std::span<const std::uint8_t> bytes)
{
    if (!startsWith(bytes, "\x89PNG\r\n\x1a\n", 8))
        return true;
    std::uint64_t at = 8;
    while (at + 8 <= bytes.size()) {
        const std::uint64_t length = std::uint64_t(bytes[at]) << 24 | std::uint64_t(bytes[at + 1]) << 16 |
                                     std::uint64_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (at + 12 + length > bytes.size())
            return false;
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0)
            return true;
        at += 12 + length;
    }
    return false;
}

} // namespace quorvanta
