#include "core/FileBytes.h"

#include <algorithm>
#include <system_error>
#include <cerrno>
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

} // namespace

FileBytes ReadWholeFile(const std::string& path, std::uint64_t maxSize)
{
    FileBytes out;
    // Non-blocking so that opening a FIFO does not wait for a writer; it is refused below anyway.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        out.systemError = errno;
        return out;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        out.systemError = errno;
        out.failure = Failure::ReadFailed;
        return out;
    }
    if (!S_ISREG(info.st_mode)) {
        out.failure = Failure::NotRegular;
        return out;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxSize) {
        out.failure = Failure::TooLarge;
        return out;
    }
    if (size > 0) {
        out.data = allocZeroed<std::uint8_t>(size);
        if (!out.data) {
            out.failure = Failure::NoMemory;
            return out;
        }
        const std::int64_t got = readFully(fd.get(), out.data.get(), size);
        if (got != static_cast<std::int64_t>(size)) {
            out.systemError = got < 0 ? errno : 0; // a short read is a file that shrank, no error
            out.data.reset();
            out.failure = Failure::ReadFailed;
            return out;
        }
    }
    // One byte more than the size said means the file grew while it was read (or is a pseudo file
    // that reports no size): refused rather than read without bound.
    std::uint8_t extra = 0;
    const std::int64_t more = readFully(fd.get(), &extra, 1);
    if (more != 0) {
        out.systemError = more < 0 ? errno : 0;
        out.data.reset();
        out.failure = Failure::ReadFailed;
        return out;
    }
    out.size = size;
    out.failure.reset();
    return out;
}

Problem readProblem(const FileBytes& file, const std::string& path)
{
    const Failure failure = file.failure.value_or(Failure::ReadFailed);
    std::string reason;
    if (file.systemError != 0)
        reason = std::system_category().message(file.systemError);
    else if (failure == Failure::ReadFailed)
        reason = "it changed while it was read";
    return problemWith(displayName(path), failure, std::move(reason));
}

} // namespace quorvanta
