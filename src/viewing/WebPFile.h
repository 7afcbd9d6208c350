#pragma once
// Reading a picture file once, sorting it by content, and decoding a still WebP into a display buffer.

#include "pictureview/Buffer.h"

#include <cstdint>
#include <span>
#include <string>

namespace quorvanta {

// The whole content of a file, read in one piece.
struct FileBytes {
    enum class Status {
        Read,        // `data` holds `size` bytes (no buffer when the file is empty)
        CantOpen,    // missing, no permission, or open failed otherwise
        NotRegular,  // a directory, device, FIFO or socket: never read
        ReadFailed,  // an I/O error, or the file changed size while it was read
        TooLarge,    // bigger than any WebP file can be; left for the picture import to judge
        NoMemory,    // the buffer could not be had
    };
    Status status = Status::CantOpen;
    Buffer<std::uint8_t> data;
    std::uint64_t size = 0;

    bool ok() const { return status == Status::Read; }
    std::span<const std::uint8_t> bytes() const { return {data.get(), static_cast<std::size_t>(data ? size : 0)}; }
};

// The largest file read whole: a RIFF container cannot describe more than 4 GiB plus its 8-byte header.
inline constexpr std::uint64_t kMaxWholeFileSize = 0xFFFFFFFFull + 8;

// Reads a regular file without blocking on special files and without trusting its size: a file that
// shrinks or grows while it is read is refused.
FileBytes ReadWholeFile(const std::string& path);

enum FileKind : int {
    KindNotWebP = -1,
    KindStill = 0,
    KindAnimated = 1,
};

// Sorts file content by asking libwebp for its features: -1 not WebP, 0 still, 1 animated.
int ClassifyFile(std::span<const std::uint8_t> bytes);

// What decoding a still WebP leaves for the display.
struct StillPicture {
    int result = -1; // 0 when a still picture was decoded, -1 otherwise
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerRow = 0;
    std::int32_t pixelFormat = 0;
    Buffer<std::uint8_t> pixels; // width * height * 4 bytes; all zero when the decode failed
    std::uint64_t size = 0;
    bool configured = false; // false when the decoder could not even be set up: nothing should change
};

// Decodes straight into a zero-filled buffer of width * height * 4 bytes: R,G,B rows (3 bytes a pixel)
// for an opaque picture, A,R,G,B rows for one with alpha. In-loop filtering is skipped and chroma is
// upsampled plainly, trading a little quality for speed.
StillPicture DecodeWebPStill(std::span<const std::uint8_t> bytes);

} // namespace quorvanta
