#pragma once
// Reading a whole file into memory, safely: only regular files, never without bound.

#include "core/Buffer.h"
#include "core/Failure.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvanta {

// The whole content of a file, read in one piece.
struct FileBytes {
    // Empty once read; otherwise why not: CantOpen (missing, no permission), NotRegular (a directory,
    // device, FIFO or socket: never read), ReadFailed (an I/O error, or the file changed size while it
    // was read), TooLarge (bigger than the caller's limit) or NoMemory.
    std::optional<Failure> failure = Failure::CantOpen;
    int systemError = 0;       // the system's error number behind CantOpen and ReadFailed, when there is one
    Buffer<std::uint8_t> data; // `size` bytes (no buffer when the file is empty)
    std::uint64_t size = 0;

    bool ok() const { return !failure; }
    std::span<const std::uint8_t> bytes() const { return {data.get(), static_cast<std::size_t>(data ? size : 0)}; }
};

// The largest file read whole: a RIFF container cannot describe more than 4 GiB plus its 8-byte header.
inline constexpr std::uint64_t kMaxWholeFileSize = 0xFFFFFFFFull + 8;

// Reads a regular file without blocking on special files and without trusting its size: a file that
// shrinks or grows while it is read is refused.
FileBytes ReadWholeFile(const std::string& path, std::uint64_t maxSize = kMaxWholeFileSize);

// Why `file` could not be read, naming the file and giving the system's reason where there is one
// ("notes.txt can't be opened: Permission denied").
Problem readProblem(const FileBytes& file, const std::string& path);

} // namespace quorvanta
