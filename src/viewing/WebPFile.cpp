#include "viewing/WebPFile.h"

#include <webp/decode.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvanta {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// Reads up to `count` bytes, retrying after signals; the number read, or -1 on an error.
std::int64_t readFully(int fd, std::uint8_t* out, std::uint64_t count)
{
    std::uint64_t done = 0;
    while (done < count) {
        const std::uint64_t chunk = std::min<std::uint64_t>(count - done, 1u << 30);
        const ssize_t got = ::read(fd, out + done, static_cast<std::size_t>(chunk));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::uint64_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

// Frees libwebp's own output buffer (nothing when the output lives in our memory).
struct DecBufferGuard {
    WebPDecBuffer* buffer;
    ~DecBufferGuard() { WebPFreeDecBuffer(buffer); }
};

} // namespace

FileBytes ReadWholeFile(const std::string& path)
{
    FileBytes out;
    // Non-blocking so that opening a FIFO does not wait for a writer; it is refused below anyway.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return out;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        out.status = FileBytes::Status::ReadFailed;
        return out;
    }
    if (!S_ISREG(info.st_mode)) {
        out.status = FileBytes::Status::NotRegular;
        return out;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxWholeFileSize) {
        out.status = FileBytes::Status::TooLarge;
        return out;
    }
    if (size > 0) {
        out.data = allocZeroed<std::uint8_t>(size);
        if (!out.data) {
            out.status = FileBytes::Status::NoMemory;
            return out;
        }
        if (readFully(fd.get(), out.data.get(), size) != static_cast<std::int64_t>(size)) {
            out.data.reset();
            out.status = FileBytes::Status::ReadFailed;
            return out;
        }
    }
    // One byte more than the size said means the file grew while it was read (or is a pseudo file
    // that reports no size): refused rather than read without bound.
    std::uint8_t extra = 0;
    if (readFully(fd.get(), &extra, 1) != 0) {
        out.data.reset();
        out.status = FileBytes::Status::ReadFailed;
        return out;
    }
    out.size = size;
    out.status = FileBytes::Status::Read;
    return out;
}

int ClassifyFile(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return KindNotWebP;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return KindNotWebP;
    return features.has_animation ? KindAnimated : KindStill;
}

StillPicture DecodeWebPStill(std::span<const std::uint8_t> bytes)
{
    StillPicture out;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return out;
    out.configured = true;
    config.options.bypass_filtering = 1;
    config.options.no_fancy_upsampling = 1;
    config.options.dithering_strength = 0;

    const VP8StatusCode featureStatus = WebPGetFeatures(bytes.data(), bytes.size(), &config.input);
    const bool alpha = config.input.has_alpha == 1;
    out.width = static_cast<std::uint32_t>(std::max(config.input.width, 0));
    out.height = static_cast<std::uint32_t>(std::max(config.input.height, 0));
    out.pixelFormat = alpha ? 2 : 0;
    const std::uint32_t bytesPerPixel = alpha ? 4 : 3;
    out.bytesPerRow = out.width * bytesPerPixel; // at most 16383 * 4

    // The decoder writes every byte of the picture's rows, so only the rest of the 4-byte-a-pixel
    // buffer is cleared here (clearing it all would cost a pass over the whole buffer).
    const auto total = checkedMul(out.width, out.height, 4);
    const std::uint64_t pictureBytes = std::uint64_t{out.bytesPerRow} * out.height;
    if (total && *total > 0 && *total <= SIZE_MAX) {
        out.pixels.reset(static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(*total))));
        out.size = out.pixels ? *total : 0;
        if (out.pixels)
            std::memset(out.pixels.get() + pictureBytes, 0, static_cast<std::size_t>(*total - pictureBytes));
    }
    VP8StatusCode decodeStatus = VP8_STATUS_OUT_OF_MEMORY;
    if (out.pixels && featureStatus == VP8_STATUS_OK) {
        // Decoded straight into the display buffer: no second copy.
        config.output.colorspace = alpha ? MODE_ARGB : MODE_RGB;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = out.pixels.get();
        config.output.u.RGBA.stride = static_cast<int>(out.bytesPerRow);
        config.output.u.RGBA.size = static_cast<std::size_t>(out.bytesPerRow) * out.height;
        const DecBufferGuard guard{&config.output};
        decodeStatus = WebPDecode(bytes.data(), bytes.size(), &config);
    }
    if (out.pixels && decodeStatus != VP8_STATUS_OK)
        std::memset(out.pixels.get(), 0, static_cast<std::size_t>(pictureBytes)); // no half picture
    out.result = featureStatus == VP8_STATUS_OK && decodeStatus == VP8_STATUS_OK && !config.input.has_animation
                     ? 0
                     : -1;
    return out;
}

} // namespace quorvanta
