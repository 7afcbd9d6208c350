#include "import/PcxReader.h"

#include "import/ByteCursor.h"

#include <array>
#include <vector>

namespace quorvanta {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPalette256Size = 769; // marker 0x0C and 256 RGB triples

struct PcxHeader {
    std::uint8_t manufacturer = 0;
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::uint8_t bitsPerPixel = 0;
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::span<const std::uint8_t> palette16;
    std::uint8_t reserved = 0;
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;

    std::uint32_t width() const { return std::uint32_t(xMax) - xMin + 1; }
    std::uint32_t height() const { return std::uint32_t(yMax) - yMin + 1; }
    bool paletteAtEnd() const { return bitsPerPixel == 8 && planes == 1; }
};

PcxHeader readHeader(ByteCursor& in)
{
    PcxHeader h;
    h.manufacturer = in.u8();
    h.version = in.u8();
    h.encoding = in.u8();
    h.bitsPerPixel = in.u8();
    h.xMin = in.le16();
    h.yMin = in.le16();
    h.xMax = in.le16();
    h.yMax = in.le16();
    in.skip(4); // resolution
    h.palette16 = in.take(48);
    h.reserved = in.u8();
    h.planes = in.u8();
    h.bytesPerLine = in.le16();
    in.skip(kHeaderSize - 68);
    return h;
}

bool headerIsConsistent(const PcxHeader& h)
{
    if (h.manufacturer != 0x0A || h.encoding > 1 || h.reserved != 0)
        return false;
    if (h.version != 0 && h.version != 2 && h.version != 3 && h.version != 4 && h.version != 5)
        return false;
    if (h.xMax < h.xMin || h.yMax < h.yMin)
        return false;
    const unsigned bpp = h.bitsPerPixel;
    const unsigned planes = h.planes;
    const bool layoutKnown = (bpp == 1 && planes >= 1 && planes <= 4) ||
                             ((bpp == 2 || bpp == 4) && planes == 1) ||
                             (bpp == 8 && (planes == 1 || planes == 3 || planes == 4));
    return layoutKnown && std::uint64_t(h.bytesPerLine) * 8 >= std::uint64_t(h.width()) * bpp;
}

// Unpacks the run-length (or plain) scan-line stream; runs may cross line ends.
class ScanLineReader {
public:
    ScanLineReader(std::span<const std::uint8_t> data, bool rle) : m_in(data), m_rle(rle) {}

    bool fill(std::span<std::uint8_t> line)
    {
        for (std::uint8_t& out : line) {
            while (m_runLeft == 0) { // a run of length 0 is legal and writes nothing
                const std::uint8_t c = m_in.u8();
                if (m_rle && (c & 0xC0) == 0xC0) {
                    m_runLeft = c & 0x3F;
                    m_value = m_in.u8();
                } else {
                    m_runLeft = 1;
                    m_value = c;
                }
                if (!m_in.ok())
                    return false;
            }
            --m_runLeft;
            out = m_value;
        }
        return true;
    }

private:
    ByteCursor m_in;
    bool m_rle;
    unsigned m_runLeft = 0;
    std::uint8_t m_value = 0;
};

std::array<std::uint32_t, 256> paletteOf(const PcxHeader& h, std::span<const std::uint8_t> bytes)
{
    std::array<std::uint32_t, 256> palette{};
    if (h.bitsPerPixel == 1 && h.planes == 1) {
        palette[0] = argb(255, 0, 0, 0);
        palette[1] = argb(255, 255, 255, 255);
        return palette;
    }
    std::span<const std::uint8_t> rgb = h.palette16;
    if (h.paletteAtEnd())
        rgb = bytes.subspan(bytes.size() - kPalette256Size + 1);
    for (std::size_t i = 0; i * 3 + 2 < rgb.size(); ++i)
        palette[i] = argb(255, rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    return palette;
}

void convertLine(const PcxHeader& h, std::span<const std::uint8_t> line,
                 const std::array<std::uint32_t, 256>& palette, std::uint32_t* out)
{
    const std::size_t bpl = h.bytesPerLine;
    const std::uint32_t width = h.width();
    for (std::uint32_t x = 0; x < width; ++x) {
        if (h.bitsPerPixel == 8 && h.planes >= 3) {
            const unsigned a = h.planes == 4 ? line[3 * bpl + x] : 255;
            out[x] = argb(a, line[x], line[bpl + x], line[2 * bpl + x]);
        } else if (h.bitsPerPixel == 8) {
            out[x] = palette[line[x]];
        } else if (h.bitsPerPixel == 1) {
            unsigned index = 0;
            for (unsigned plane = 0; plane < h.planes; ++plane)
                index |= ((line[plane * bpl + x / 8] >> (7 - x % 8)) & 1u) << plane;
            out[x] = palette[index];
        } else {
            const unsigned bits = h.bitsPerPixel;
            const std::uint64_t bit = std::uint64_t(x) * bits;
            const unsigned shift = 8 - bits - unsigned(bit % 8);
            out[x] = palette[(line[bit / 8] >> shift) & ((1u << bits) - 1)];
        }
    }
}

} // namespace

bool LooksLikePcx(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes);
    const PcxHeader h = readHeader(in);
    return in.ok() && headerIsConsistent(h);
}

DecodedPicture DecodePcx(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes);
    const PcxHeader h = readHeader(in);
    if (!in.ok() || !headerIsConsistent(h))
        return DecodedPicture::unreadable();

    std::size_t dataEnd = bytes.size();
    if (h.paletteAtEnd()) {
        if (bytes.size() < kHeaderSize + kPalette256Size || bytes[bytes.size() - kPalette256Size] != 0x0C)
            return DecodedPicture::unreadable();
        dataEnd -= kPalette256Size;
    }
    const auto data = bytes.subspan(kHeaderSize, dataEnd - kHeaderSize);

    // A run yields at most 63 bytes from 2, so a header claiming more than that is lying.
    const std::uint64_t lineBytes = std::uint64_t(h.bytesPerLine) * h.planes;
    const std::uint64_t total = lineBytes * h.height();
    const std::uint64_t leastData = h.encoding == 1 ? (total + 62) / 63 * 2 : total;
    if (leastData > data.size())
        return DecodedPicture::unreadable();

    const std::uint32_t width = h.width();
    const std::uint32_t height = h.height();
    // Data enough for the pixels it claims, checked above, but maybe too many to hold.
    if (auto refused = DecodedPicture::overBudget(h.width(), h.height()))
        return std::move(*refused);
    auto canvas = allocCanvas(width, height);
    auto line = allocZeroed<std::uint8_t>(lineBytes);
    if (!canvas || !line)
        return DecodedPicture::noMemory(width, height);

    const auto palette = paletteOf(h, bytes);
    ScanLineReader reader(data, h.encoding == 1);
    const std::span<std::uint8_t> lineSpan(line.get(), lineBytes);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (!reader.fill(lineSpan))
            return DecodedPicture::unreadable();
        convertLine(h, lineSpan, palette, canvas->get() + std::uint64_t(y) * width);
    }
    return DecodedPicture::decoded(width, height, std::move(*canvas));
}

} // namespace quorvanta
