#pragma once
// Owned, zero-filled heap buffers whose allocation failure is a value, not an exception.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace quorvanta {

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

// a * b, or nothing when the product does not fit in 64 bits.
inline std::optional<std::uint64_t> checkedMul(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t out = 0;
    if (__builtin_mul_overflow(a, b, &out))
        return std::nullopt;
    return out;
}

// a * b * c, or nothing on overflow.
inline std::optional<std::uint64_t> checkedMul(std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    const auto ab = checkedMul(a, b);
    return ab ? checkedMul(*ab, c) : std::nullopt;
}

// `count` zero-filled elements of T; null when the size overflows or memory is short.
template <class T>
Buffer<T> allocZeroed(std::uint64_t count)
{
    const auto bytes = checkedMul(count, sizeof(T));
    if (!bytes || *bytes == 0 || *bytes > SIZE_MAX)
        return Buffer<T>{};
    return Buffer<T>(static_cast<T*>(std::calloc(static_cast<std::size_t>(count), sizeof(T))));
}

} // namespace quorvanta
