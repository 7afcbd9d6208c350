#include "import/BmpHeaderWidening.h"

#include "import/ByteCursor.h"

#include <algorithm>

namespace quorvanta {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kV4HeaderSize = 108;

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

} // namespace

std::optional<WidenedBmp> WidenBmpInfoHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kFileHeaderSize + 56 || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    ByteCursor in(bytes, 10);
    const std::uint32_t pixelOffset = in.le32();
    const std::uint32_t headerSize = in.le32();
    if ((headerSize != 52 && headerSize != 56) || pixelOffset < kFileHeaderSize + headerSize ||
        pixelOffset > bytes.size())
        return std::nullopt;

    const std::size_t grow = kV4HeaderSize - headerSize;
    WidenedBmp out;
    out.size = bytes.size() + grow;
    out.data = allocZeroed<std::uint8_t>(out.size);
    if (!out.data)
        return std::nullopt;
    std::uint8_t* p = out.data.get();
    const std::size_t headersEnd = kFileHeaderSize + headerSize;
    std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(headersEnd), p);
    std::copy(bytes.begin() + std::ptrdiff_t(headersEnd), bytes.end(), p + headersEnd + grow);
    putLe32(p + 2, std::uint32_t(std::min<std::size_t>(out.size, UINT32_MAX)));
    putLe32(p + 10, pixelOffset + std::uint32_t(grow));
    putLe32(p + kFileHeaderSize, kV4HeaderSize);
    return out;
}

} // namespace quorvanta
