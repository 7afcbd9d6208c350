#include "import/TgaReader.h"

#include "import/ByteCursor.h"

#include <vector>

namespace quorvanta {

namespace {

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t colorMapFirst = 0;
    std::uint16_t colorMapLength = 0;
    std::uint8_t colorMapDepth = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t depth = 0;
    std::uint8_t descriptor = 0;

    bool rle() const { return imageType >= 9; }
    bool colorMapped() const { return (imageType & 7) == 1; }
    bool grey() const { return (imageType & 7) == 3; }
    unsigned alphaBits() const { return descriptor & 0x0F; }
    bool rightToLeft() const { return descriptor & 0x10; }
    bool topToBottom() const { return descriptor & 0x20; }
};

TgaHeader readHeader(ByteCursor& in)
{
    TgaHeader h;
    h.idLength = in.u8();
    h.colorMapType = in.u8();
    h.imageType = in.u8();
    h.colorMapFirst = in.le16();
    h.colorMapLength = in.le16();
    h.colorMapDepth = in.u8();
    in.le16(); // x origin
    in.le16(); // y origin
    h.width = in.le16();
    h.height = in.le16();
    h.depth = in.u8();
    h.descriptor = in.u8();
    return h;
}

bool isEntryDepth(unsigned bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

bool headerIsConsistent(const TgaHeader& h)
{
    const bool knownType = (h.imageType >= 1 && h.imageType <= 3) || (h.imageType >= 9 && h.imageType <= 11);
    if (!knownType || h.width == 0 || h.height == 0)
        return false;
    if (h.colorMapType > 1 || (h.descriptor & 0xC0) != 0)
        return false;
    if (h.colorMapType == 1) {
        if (h.colorMapLength == 0 || !isEntryDepth(h.colorMapDepth))
            return false;
    } else if (h.colorMapFirst != 0 || h.colorMapLength != 0 ||
               (h.colorMapDepth != 0 && !isEntryDepth(h.colorMapDepth))) {
        return false;
    }
    unsigned maxAlpha = 0;
    if (h.colorMapped()) {
        if (h.colorMapType != 1 || h.depth != 8)
            return false;
        maxAlpha = h.colorMapDepth == 32 ? 8 : (h.colorMapDepth == 16 ? 1 : 0);
    } else if (h.grey()) {
        if (h.depth != 8)
            return false;
    } else {
        if (!isEntryDepth(h.depth))
            return false;
        maxAlpha = h.depth == 32 ? 8 : (h.depth == 16 ? 1 : 0);
    }
    return h.alphaBits() <= maxAlpha;
}

// One colour value of `bits` bits (15, 16, 24 or 32) as 0xAARRGGBB; alpha only when the file has it.
std::uint32_t colorOf(std::span<const std::uint8_t> p, unsigned bits, bool alpha)
{
    if (bits == 15 || bits == 16) {
        const unsigned v = p[0] | (p[1] << 8);
        const auto expand = [](unsigned c) { return (c << 3) | (c >> 2); };
        const unsigned a = (bits == 16 && alpha) ? ((v & 0x8000) ? 255 : 0) : 255;
        return argb(a, expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31));
    }
    const unsigned a = (bits == 32 && alpha) ? p[3] : 255;
    return argb(a, p[2], p[1], p[0]);
}

// Reads pixel values (palette indices or packed colours) one at a time from raw or RLE data.
class PixelSource {
public:
    PixelSource(ByteCursor& in, unsigned bytesPerPixel, bool rle)
        : m_in(in), m_bytes(bytesPerPixel), m_rle(rle)
    {
    }

    // The next pixel's bytes, or an empty span when the data ends or lies.
    std::span<const std::uint8_t> next()
    {
        if (!m_rle)
            return m_in.take(m_bytes);
        if (m_left == 0) {
            const std::uint8_t packet = m_in.u8();
            if (!m_in.ok())
                return {};
            m_left = (packet & 0x7F) + 1;
            m_repeat = packet & 0x80;
            if (m_repeat)
                m_value = m_in.take(m_bytes);
        }
        --m_left;
        return m_repeat ? m_value : m_in.take(m_bytes);
    }

private:
    ByteCursor& m_in;
    unsigned m_bytes;
    bool m_rle;
    unsigned m_left = 0;
    bool m_repeat = false;
    std::span<const std::uint8_t> m_value;
};

} // namespace

bool LooksLikeTga(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes);
    const TgaHeader h = readHeader(in);
    return in.ok() && headerIsConsistent(h);
}

DecodedPicture DecodeTga(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes);
    const TgaHeader h = readHeader(in);
    if (!in.ok() || !headerIsConsistent(h))
        return DecodedPicture::unreadable();
    in.skip(h.idLength);

    const bool alpha = h.alphaBits() > 0;
    std::vector<std::uint32_t> palette;
    if (h.colorMapType == 1) {
        const unsigned entryBytes = (h.colorMapDepth + 7) / 8;
        const auto map = in.take(std::size_t(h.colorMapLength) * entryBytes);
        if (!in.ok())
            return DecodedPicture::unreadable();
        palette.reserve(h.colorMapLength);
        for (std::size_t i = 0; i < h.colorMapLength; ++i)
            palette.push_back(colorOf(map.subspan(i * entryBytes, entryBytes), h.colorMapDepth, alpha));
    }

    // Refuse a header that claims more pixels than the data could possibly hold, before allocating.
    const unsigned bytesPerPixel = (h.depth + 7) / 8;
    const std::uint64_t count = std::uint64_t(h.width) * h.height;
    const std::uint64_t leastData =
        h.rle() ? (count + 127) / 128 * (1 + bytesPerPixel) : count * bytesPerPixel;
    if (leastData > in.remaining())
        return DecodedPicture::unreadable();

    // Data enough for the pixels it claims, checked above, but maybe too many to hold.
    if (auto refused = DecodedPicture::overBudget(h.width, h.height))
        return std::move(*refused);
    auto canvas = allocCanvas(h.width, h.height);
    if (!canvas)
        return DecodedPicture::noMemory(h.width, h.height);
    std::uint32_t* out = canvas->get();

    PixelSource source(in, bytesPerPixel, h.rle());
    for (std::uint32_t row = 0; row < h.height; ++row) {
        const std::uint32_t y = h.topToBottom() ? row : h.height - 1 - row;
        for (std::uint32_t col = 0; col < h.width; ++col) {
            const auto p = source.next();
            if (p.size() != bytesPerPixel)
                return DecodedPicture::unreadable();
            std::uint32_t value = 0;
            if (h.colorMapped()) {
                const unsigned index = p[0];
                if (index < h.colorMapFirst || index - h.colorMapFirst >= palette.size())
                    return DecodedPicture::unreadable();
                value = palette[index - h.colorMapFirst];
            } else if (h.grey()) {
                value = argb(255, p[0], p[0], p[0]);
            } else {
                value = colorOf(p, h.depth, alpha);
            }
            const std::uint32_t x = h.rightToLeft() ? h.width - 1 - col : col;
            out[std::uint64_t(y) * h.width + x] = value;
        }
    }
    return DecodedPicture::decoded(h.width, h.height, std::move(*canvas));
}

} // namespace quorvanta
