#include "import/DeclaredSize.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quorvanta {

namespace {

using Size = std::pair<std::uint64_t, std::uint64_t>;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A decimal number at `at` (after spaces and, for PNM, '#' comments); nothing when there is none.
std::optional<std::uint64_t> number(std::string_view text, std::size_t& at, bool comments)
{
    for (;;) {
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (!comments || at >= text.size() || text[at] != '#')
            break;
        while (at < text.size() && text[at] != '\n')
            ++at;
    }
    const std::size_t start = at;
    std::uint64_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 12)
        value = value * 10 + std::uint64_t(text[at++] - '0');
    if (at == start)
        return std::nullopt;
    return value;
}

std::optional<Size> pnm(std::string_view text)
{
    if (text.size() < 3 || text[0] != 'P' || text[1] < '1' || text[1] > '6' || !isSpace(text[2]))
        return std::nullopt;
    std::size_t at = 2;
    const auto w = number(text, at, true);
    const auto h = w ? number(text, at, true) : std::nullopt;
    return h ? std::optional<Size>(Size{*w, *h}) : std::nullopt;
}

std::optional<Size> bmp(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    const auto le32 = [&bytes](std::size_t at) {
        return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
               std::uint32_t(bytes[at + 3]) << 24;
    };
    const std::uint32_t header = le32(14);
    if (header < 40)
        return std::nullopt; // the old core header holds 16-bit sizes only
    const auto height = std::int32_t(le32(22));
    return Size{le32(18), height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height)};
}

std::optional<Size> xbm(std::string_view text)
{
    if (text.substr(0, 7) != "#define")
        return std::nullopt;
    const auto after = [&text](std::string_view key) -> std::optional<std::uint64_t> {
        std::size_t at = text.find(key);
        if (at == std::string_view::npos)
            return std::nullopt;
        at += key.size();
        return number(text, at, false);
    };
    const auto w = after("_width ");
    const auto h = after("_height ");
    return w && h ? std::optional<Size>(Size{*w, *h}) : std::nullopt;
}

std::optional<Size> xpm(std::string_view text)
{
    if (text.substr(0, 9) != "/* XPM */")
        return std::nullopt;
    std::size_t at = text.find('"');
    if (at == std::string_view::npos)
        return std::nullopt;
    ++at;
    const auto w = number(text, at, false);
    const auto h = w ? number(text, at, false) : std::nullopt;
    return h ? std::optional<Size>(Size{*w, *h}) : std::nullopt;
}

} // namespace

std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredPictureSize(std::span<const std::uint8_t> bytes)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 4096));
    if (auto size = pnm(text))
        return size;
    if (auto size = bmp(bytes))
        return size;
    if (auto size = xbm(text))
        return size;
    return xpm(text);
}

} // namespace quorvanta
