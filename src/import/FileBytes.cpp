#include "import/FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvanta {

namespace {

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// read() until `out` is full or the file ends; the number of bytes read, or nothing on an error.
std::optional<std::size_t> readFully(int fd, std::uint8_t* out, std::size_t wanted)
{
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::read(fd, out + done, wanted - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

} // namespace

std::optional<FileBytes> ReadRegularFile(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO from blocking the open; fstat then refuses it.
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (info.st_size <= 0 || std::uint64_t(info.st_size) > kMaxImportFileBytes)
        return std::nullopt;

    FileBytes result;
    result.size = std::size_t(info.st_size);
    result.data = allocZeroed<std::uint8_t>(result.size + 1); // one spare byte detects growth
    if (!result.data)
        return std::nullopt;
    const auto got = readFully(file.fd, result.data.get(), result.size + 1);
    if (!got || *got != result.size)
        return std::nullopt; // read error, or the file shrank or grew while we read it
    return result;
}

} // namespace quorvanta
