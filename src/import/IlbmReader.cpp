#include "import/IlbmReader.h"

#include "import/ByteCursor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace quorvanta {

namespace {

constexpr std::uint32_t kCamgExtraHalfBrite = 0x80;
constexpr std::uint32_t kCamgHam = 0x800;

enum Masking : std::uint8_t { MaskNone = 0, MaskPlane = 1, MaskTransparentColor = 2, MaskLasso = 3 };

bool hasId(std::span<const std::uint8_t> id, const char* text)
{
    return id.size() == 4 && std::memcmp(id.data(), text, 4) == 0;
}

struct BitmapHeader {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t planes = 0;
    std::uint8_t masking = 0;
    std::uint8_t compression = 0;
    std::uint16_t transparentColor = 0;
};

struct IlbmChunks {
    bool chunky = false; // FORM PBM: one byte per pixel
    std::optional<BitmapHeader> header;
    std::span<const std::uint8_t> colorMap;
    std::uint32_t viewModes = 0;
    std::optional<std::span<const std::uint8_t>> body;
};

std::optional<IlbmChunks> readChunks(std::span<const std::uint8_t> bytes)
{
    ByteCursor in(bytes);
    const bool isForm = hasId(in.take(4), "FORM");
    const std::uint64_t formEnd = std::uint64_t(in.be32()) + 8;
    const auto type = in.take(4);
    if (!in.ok() || !isForm || (!hasId(type, "ILBM") && !hasId(type, "PBM ")) || formEnd > bytes.size())
        return std::nullopt;

    IlbmChunks chunks;
    chunks.chunky = hasId(type, "PBM ");
    ByteCursor form(bytes.first(std::size_t(formEnd)), 12);
    while (form.remaining() >= 8) {
        const auto id = form.take(4);
        const auto data = form.take(form.be32());
        if (!form.ok())
            return std::nullopt; // a chunk that runs past the end of the form
        if (data.size() % 2 == 1 && form.remaining() > 0)
            form.skip(1);
        if (hasId(id, "BMHD") && data.size() >= 20) {
            ByteCursor c(data);
            BitmapHeader h;
            h.width = c.be16();
            h.height = c.be16();
            c.skip(4); // position
            h.planes = c.u8();
            h.masking = c.u8();
            h.compression = c.u8();
            c.skip(1);
            h.transparentColor = c.be16();
            chunks.header = h;
        } else if (hasId(id, "CMAP")) {
            chunks.colorMap = data;
        } else if (hasId(id, "CAMG") && data.size() >= 4) {
            chunks.viewModes = ByteCursor(data).be32();
        } else if (hasId(id, "BODY")) {
            chunks.body = data;
        }
    }
    return chunks;
}

bool isHam(const IlbmChunks& c)
{
    return (c.viewModes & kCamgHam) != 0;
}

bool headerIsUsable(const IlbmChunks& c)
{
    if (!c.header || !c.body)
        return false;
    const BitmapHeader& h = *c.header;
    if (h.width == 0 || h.height == 0 || h.compression > 1 || h.masking > MaskLasso)
        return false;
    if (c.chunky)
        return h.planes == 8 && h.masking != MaskPlane;
    if (isHam(c))
        return h.planes == 6 || h.planes == 8;
    return (h.planes >= 1 && h.planes <= 8) || h.planes == 24 || h.planes == 32;
}

// Unpacks a ByteRun1 (or plain) body line by line; runs may cross line ends.
class BodyReader {
public:
    BodyReader(std::span<const std::uint8_t> body, bool packed) : m_in(body), m_packed(packed) {}

    bool fill(std::span<std::uint8_t> line)
    {
        if (!m_packed) {
            const auto s = m_in.take(line.size());
            std::copy(s.begin(), s.end(), line.begin());
            return m_in.ok();
        }
        for (std::uint8_t& out : line) {
            while (m_left == 0) {
                const auto n = static_cast<std::int8_t>(m_in.u8());
                if (n >= 0) {
                    m_left = unsigned(n) + 1;
                    m_literal = true;
                } else if (n != -128) {
                    m_left = unsigned(-n) + 1;
                    m_literal = false;
                    m_value = m_in.u8();
                }
                if (!m_in.ok())
                    return false;
            }
            --m_left;
            out = m_literal ? m_in.u8() : m_value;
            if (!m_in.ok())
                return false;
        }
        return true;
    }

private:
    ByteCursor m_in;
    bool m_packed;
    unsigned m_left = 0;
    bool m_literal = false;
    std::uint8_t m_value = 0;
};

// Colours for indexed pictures: the colour map, the darker half for Extra-Half-Brite, or a grey
// ramp when the file has no colour map.
std::array<std::uint32_t, 256> paletteOf(const IlbmChunks& c)
{
    std::array<std::uint32_t, 256> palette{};
    const unsigned planes = std::min<unsigned>(c.header->planes, 8);
    const std::size_t entries = std::min<std::size_t>(c.colorMap.size() / 3, 256);
    if (entries == 0) {
        const unsigned top = (1u << planes) - 1;
        for (unsigned i = 0; i <= top; ++i) {
            const unsigned v = top ? i * 255 / top : 0;
            palette[i] = argb(255, v, v, v);
        }
        return palette;
    }
    for (std::size_t i = 0; i < entries; ++i) {
        const auto rgb = c.colorMap.subspan(i * 3, 3);
        palette[i] = argb(255, rgb[0], rgb[1], rgb[2]);
    }
    const bool halfBrite = !isHam(c) && planes == 6 &&
                           ((c.viewModes & kCamgExtraHalfBrite) != 0 || entries == 32);
    if (halfBrite) {
        for (unsigned i = 32; i < 64; ++i)
            palette[i] = 0xFF000000u | ((palette[i - 32] >> 1) & 0x7F7F7Fu);
    }
    return palette;
}

// Turns one unpacked line into pixels: the raw value of each pixel is gathered from the planes.
class LineConverter {
public:
    explicit LineConverter(const IlbmChunks& c) : m_c(c), m_h(*c.header), m_palette(paletteOf(c)) {}

    std::size_t lineBytes() const
    {
        if (m_c.chunky)
            return std::size_t(m_h.width) + (m_h.width & 1);
        return planeBytes() * (m_h.planes + (m_h.masking == MaskPlane ? 1 : 0));
    }

    void convert(std::span<const std::uint8_t> line, std::uint32_t* out) const
    {
        std::uint32_t held = m_palette[0]; // HAM starts every line from colour 0
        for (std::uint32_t x = 0; x < m_h.width; ++x) {
            const std::uint32_t raw = m_c.chunky ? line[x] : gather(line, x, 0, m_h.planes);
            std::uint32_t color = 0;
            if (m_h.planes >= 24) {
                const unsigned a = m_h.planes == 32 ? (raw >> 24) & 0xFF : 255;
                color = argb(a, raw & 0xFF, (raw >> 8) & 0xFF, (raw >> 16) & 0xFF);
            } else if (isHam(m_c)) {
                held = holdAndModify(held, raw);
                color = held;
            } else {
                color = m_palette[raw & 0xFF];
                if (m_h.masking == MaskTransparentColor && raw == m_h.transparentColor)
                    color &= 0x00FFFFFFu;
            }
            if (m_h.masking == MaskPlane && gather(line, x, m_h.planes, 1) == 0)
                color &= 0x00FFFFFFu;
            out[x] = color;
        }
    }

private:
    std::size_t planeBytes() const { return (std::size_t(m_h.width) + 15) / 16 * 2; }

    // Bits of pixel x from `count` planes starting at plane `first`; plane first + k gives bit k.
    std::uint32_t gather(std::span<const std::uint8_t> line, std::uint32_t x, unsigned first,
                         unsigned count) const
    {
        const std::size_t stride = planeBytes();
        const unsigned shift = 7 - x % 8;
        std::uint32_t value = 0;
        for (unsigned k = 0; k < count; ++k)
            value |= std::uint32_t((line[(first + k) * stride + x / 8] >> shift) & 1u) << k;
        return value;
    }

    std::uint32_t holdAndModify(std::uint32_t held, std::uint32_t raw) const
    {
        const unsigned valueBits = m_h.planes - 2;
        const unsigned control = raw >> valueBits;
        const unsigned v = raw & ((1u << valueBits) - 1);
        if (control == 0)
            return m_palette[v];
        const unsigned shift = control == 1 ? 0 : (control == 2 ? 16 : 8); // blue, red, green
        // The value replaces the upper bits of the component; the lower bits stay as they were.
        const unsigned lowMask = (1u << (8 - valueBits)) - 1;
        const unsigned component = (v << (8 - valueBits)) | ((held >> shift) & lowMask);
        return (held & ~(0xFFu << shift)) | (component << shift);
    }

    const IlbmChunks& m_c;
    const BitmapHeader& m_h;
    std::array<std::uint32_t, 256> m_palette;
};

} // namespace

bool LooksLikeIlbm(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 12 && hasId(bytes.first(4), "FORM") &&
           (hasId(bytes.subspan(8, 4), "ILBM") || hasId(bytes.subspan(8, 4), "PBM "));
}

DecodedPicture DecodeIlbm(std::span<const std::uint8_t> bytes)
{
    const auto chunks = readChunks(bytes);
    if (!chunks || !headerIsUsable(*chunks))
        return DecodedPicture::unreadable();
    const BitmapHeader& h = *chunks->header;
    const std::span<const std::uint8_t> body = *chunks->body;

    const LineConverter converter(*chunks);
    const std::size_t lineBytes = converter.lineBytes();
    // A ByteRun1 run yields at most 128 bytes from 2, so a header claiming more is lying.
    const std::uint64_t total = std::uint64_t(lineBytes) * h.height;
    const std::uint64_t leastData = h.compression == 1 ? (total + 127) / 128 * 2 : total;
    if (leastData > body.size())
        return DecodedPicture::unreadable();

    // Data enough for the pixels it claims, checked above, but maybe too many to hold.
    if (auto refused = DecodedPicture::overBudget(h.width, h.height))
        return std::move(*refused);
    auto canvas = allocCanvas(h.width, h.height);
    auto line = allocZeroed<std::uint8_t>(lineBytes);
    if (!canvas || !line)
        return DecodedPicture::noMemory(h.width, h.height);

    BodyReader reader(body, h.compression == 1);
    const std::span<std::uint8_t> lineSpan(line.get(), lineBytes);
    for (std::uint32_t y = 0; y < h.height; ++y) {
        if (!reader.fill(lineSpan))
            return DecodedPicture::unreadable();
        converter.convert(lineSpan, canvas->get() + std::uint64_t(y) * h.width);
    }
    return DecodedPicture::decoded(h.width, h.height, std::move(*canvas));
}

} // namespace quorvanta
