#pragma once
// Reads a whole regular file into memory, refusing anything that is not one.

#include "pictureview/Buffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvanta {

// Files larger than this are not pictures we can hold.
inline constexpr std::uint64_t kMaxImportFileBytes = std::uint64_t(2) << 30;

struct FileBytes {
    Buffer<std::uint8_t> data;
    std::size_t size = 0;

    std::span<const std::uint8_t> bytes() const { return {data.get(), size}; }
};

// The bytes of the regular file at `path`, read exactly up to the size the file had when opened.
// Nothing for a missing file, a directory, a device or FIFO, an empty or oversized file, a read
// error, or a file whose length changes while it is read.
std::optional<FileBytes> ReadRegularFile(const std::string& path);

} // namespace quorvanta
