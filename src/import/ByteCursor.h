#pragma once
// Bounds-checked reading of a file held in memory. A read past the end yields zeros and makes the
// cursor fail for good, so parsers check ok() once after a group of reads.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvanta {

class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes, std::size_t position = 0)
        : m_bytes(bytes), m_pos(position), m_ok(position <= bytes.size())
    {
    }

    bool ok() const { return m_ok; }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_ok ? m_bytes.size() - m_pos : 0; }

    std::uint8_t u8()
    {
        const auto s = take(1);
        return s.empty() ? 0 : s[0];
    }
    std::uint16_t le16()
    {
        const auto s = take(2);
        return s.empty() ? 0 : std::uint16_t(s[0] | (s[1] << 8));
    }
    std::uint32_t le32()
    {
        const auto s = take(4);
        return s.empty() ? 0 : std::uint32_t(s[0]) | (std::uint32_t(s[1]) << 8) |
                                   (std::uint32_t(s[2]) << 16) | (std::uint32_t(s[3]) << 24);
    }
    std::uint16_t be16()
    {
        const auto s = take(2);
        return s.empty() ? 0 : std::uint16_t((s[0] << 8) | s[1]);
    }
    std::uint32_t be32()
    {
        const auto s = take(4);
        return s.empty() ? 0 : (std::uint32_t(s[0]) << 24) | (std::uint32_t(s[1]) << 16) |
                                   (std::uint32_t(s[2]) << 8) | s[3];
    }

    // The next n bytes, or an empty span (and a failed cursor) when fewer remain.
    std::span<const std::uint8_t> take(std::size_t n)
    {
        if (!m_ok || n > m_bytes.size() - m_pos) {
            m_ok = false;
            return {};
        }
        const auto s = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return s;
    }
    void skip(std::size_t n) { take(n); }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

} // namespace quorvanta
