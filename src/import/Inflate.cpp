#include "import/Inflate.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quorvanta {

namespace {

constexpr int kMaxBits = 15;      // longest Huffman code in deflate
constexpr int kMaxLengths = 286;  // literal/length codes
constexpr int kMaxDistances = 30; // distance codes
constexpr int kFixedLengths = 288;

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Huffman {
    std::array<std::uint16_t, kMaxBits + 1> count{};
    std::array<std::uint16_t, kFixedLengths> symbol{};
};

// Builds the code from per-symbol lengths. Negative when the lengths over-subscribe the code space,
// 0 for a complete code, positive for an incomplete one.
int buildHuffman(Huffman& h, const std::uint8_t* lengths, int n)
{
    h.count.fill(0);
    for (int s = 0; s < n; ++s)
        ++h.count[lengths[s]];
    if (h.count[0] == n)
        return 0; // no codes at all: complete, and any use of it fails in decode
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0)
            return left;
    }
    std::array<std::uint16_t, kMaxBits + 1> offsets{};
    for (int len = 1; len < kMaxBits; ++len)
        offsets[len + 1] = std::uint16_t(offsets[len] + h.count[len]);
    for (int s = 0; s < n; ++s)
        if (lengths[s] != 0)
            h.symbol[offsets[lengths[s]]++] = std::uint16_t(s);
    return left;
}

class Inflater {
public:
    Inflater(std::span<const std::uint8_t> in, std::size_t maxOutput) : in(in), maxOutput(maxOutput) {}

    // Decodes deflate blocks up to and including the final one.
    bool blocks()
    {
        bool last = false;
        while (!last) {
            last = bits(1) == 1;
            const std::uint32_t type = bits(2);
            bool ok = false;
            if (type == 0)
                ok = stored();
            else if (type == 1)
                ok = fixed();
            else if (type == 2)
                ok = dynamic();
            if (!ok || failed)
                return false;
        }
        return true;
    }

    // Where the bytes after the deflate data start: everything read into the bit buffer belongs to it.
    std::size_t position() const { return pos; }
    std::vector<std::uint8_t> out;

private:
    std::uint32_t bits(int need)
    {
        std::uint32_t value = bitBuffer;
        while (bitCount < need) {
            if (pos >= in.size()) {
                failed = true;
                return 0;
            }
            value |= std::uint32_t(in[pos++]) << bitCount;
            bitCount += 8;
        }
        bitBuffer = value >> need;
        bitCount -= need;
        return value & ((1u << need) - 1);
    }

    bool put(std::uint8_t byte)
    {
        if (out.size() >= maxOutput)
            return false;
        out.push_back(byte);
        return true;
    }

    bool stored()
    {
        bitBuffer = 0; // the rest of the current byte is padding
        bitCount = 0;
        if (in.size() - pos < 4)
            return false;
        const unsigned length = in[pos] | (in[pos + 1] << 8);
        const unsigned complement = in[pos + 2] | (in[pos + 3] << 8);
        pos += 4;
        if (length != (~complement & 0xFFFFu) || in.size() - pos < length || maxOutput - out.size() < length)
            return false;
        out.insert(out.end(), in.begin() + std::ptrdiff_t(pos), in.begin() + std::ptrdiff_t(pos + length));
        pos += length;
        return true;
    }

    int decode(const Huffman& h)
    {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= int(bits(1));
            if (failed)
                return -1;
            const int count = h.count[len];
            if (code - count < first)
                return h.symbol[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1; // a code the tables do not hold
    }

    bool codes(const Huffman& lengthCode, const Huffman& distanceCode)
    {
        static constexpr std::uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr std::uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static constexpr std::uint16_t distanceBase[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static constexpr std::uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int symbol = decode(lengthCode);
            if (symbol < 0)
                return false;
            if (symbol < 256) {
                if (!put(std::uint8_t(symbol)))
                    return false;
                continue;
            }
            if (symbol == 256)
                return true;
            symbol -= 257;
            if (symbol >= 29)
                return false;
            const std::size_t length = lengthBase[symbol] + bits(lengthExtra[symbol]);
            const int d = decode(distanceCode);
            if (d < 0 || d >= 30)
                return false;
            const std::size_t distance = distanceBase[d] + bits(distanceExtra[d]);
            if (failed || distance > out.size() || maxOutput - out.size() < length)
                return false;
            for (std::size_t i = 0; i < length; ++i)
                out.push_back(out[out.size() - distance]);
        }
    }

    bool fixed()
    {
        static const auto tables = [] {
            std::pair<Huffman, Huffman> t;
            std::array<std::uint8_t, kFixedLengths> lengths{};
            for (int s = 0; s < kFixedLengths; ++s)
                lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            buildHuffman(t.first, lengths.data(), kFixedLengths);
            lengths.fill(5);
            buildHuffman(t.second, lengths.data(), kMaxDistances);
            return t;
        }();
        return codes(tables.first, tables.second);
    }

    bool dynamic()
    {
        static constexpr std::uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const int lengthCount = int(bits(5)) + 257;
        const int distanceCount = int(bits(5)) + 1;
        const int codeCount = int(bits(4)) + 4;
        if (failed || lengthCount > kMaxLengths || distanceCount > kMaxDistances)
            return false;

        std::array<std::uint8_t, kMaxLengths + kMaxDistances> lengths{};
        for (int i = 0; i < codeCount; ++i)
            lengths[order[i]] = std::uint8_t(bits(3));
        Huffman lengthLengths;
        if (failed || buildHuffman(lengthLengths, lengths.data(), 19) != 0)
            return false;

        lengths.fill(0);
        const int total = lengthCount + distanceCount;
        for (int index = 0; index < total;) {
            const int symbol = decode(lengthLengths);
            if (symbol < 0)
                return false;
            if (symbol < 16) {
                lengths[index++] = std::uint8_t(symbol);
                continue;
            }
            std::uint8_t value = 0;
            int repeat = 0;
            if (symbol == 16) {
                if (index == 0)
                    return false;
                value = lengths[index - 1];
                repeat = 3 + int(bits(2));
            } else {
                repeat = symbol == 17 ? 3 + int(bits(3)) : 11 + int(bits(7));
            }
            if (failed || index + repeat > total)
                return false;
            while (repeat--)
                lengths[index++] = value;
        }
        if (lengths[256] == 0)
            return false; // no end-of-block code

        // An incomplete code is allowed only when it holds a single code of one bit.
        Huffman lengthCode, distanceCode;
        int err = buildHuffman(lengthCode, lengths.data(), lengthCount);
        if (err < 0 || (err > 0 && lengthCount - lengthCode.count[0] != 1))
            return false;
        err = buildHuffman(distanceCode, lengths.data() + lengthCount, distanceCount);
        if (err < 0 || (err > 0 && distanceCount - distanceCode.count[0] != 1))
            return false;
        return codes(lengthCode, distanceCode);
    }

    std::span<const std::uint8_t> in;
    std::size_t maxOutput = 0;
    std::size_t pos = 0;
    std::uint32_t bitBuffer = 0;
    int bitCount = 0;
    bool failed = false;
};

std::uint32_t adler32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 1, b = 0;
    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t end = std::min(data.size(), i + 5552); // the most bytes before b can overflow
        for (; i < end; ++i) {
            a += data[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}

} // namespace

std::optional<std::vector<std::uint8_t>> InflateZlib(std::span<const std::uint8_t> stream, std::size_t maxOutput)
{
    if (stream.size() < 6)
        return std::nullopt;
    const unsigned cmf = stream[0], flg = stream[1];
    const bool deflate = (cmf & 0x0F) == 8 && (cmf >> 4) <= 7;
    if (!deflate || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20))
        return std::nullopt;

    Inflater inflater(stream.subspan(2), maxOutput);
    if (!inflater.blocks())
        return std::nullopt;
    const std::size_t at = 2 + inflater.position();
    if (stream.size() - at < 4)
        return std::nullopt;
    const std::uint32_t expected = (std::uint32_t(stream[at]) << 24) | (std::uint32_t(stream[at + 1]) << 16) |
                                   (std::uint32_t(stream[at + 2]) << 8) | stream[at + 3];
    if (adler32(inflater.out) != expected)
        return std::nullopt;
    return std::move(inflater.out);
}

} // namespace quorvanta
