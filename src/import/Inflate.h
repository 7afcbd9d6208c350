#pragma once
// A small zlib/deflate decompressor with a hard cap on what it produces, for the compressed metadata
// of PNG files (iCCP, compressed iTXt). A few hundred bytes of hostile input can claim gigabytes; this
// one stops at the cap instead of growing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvanta {

// The data of a zlib stream (RFC 1950 header, deflate blocks, Adler-32 checksum), or nothing when the
// stream is damaged, truncated, uses a preset dictionary, fails its checksum, or would grow past
// `maxOutput` bytes. Bytes after the checksum are ignored.
std::optional<std::vector<std::uint8_t>> InflateZlib(std::span<const std::uint8_t> stream, std::size_t maxOutput);

} // namespace quorvanta
