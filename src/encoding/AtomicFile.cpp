#include "encoding/AtomicFile.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <random>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvanta {

namespace {

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix();

std::string temporaryNameIn(const std::string& directory, const std::string& target)
{
    return directory + "/." + nameOf(target) + "." + randomSuffix() + ".part";
}

// Gives the unnamed file open as `fd` the name `path`; fails when `path` exists.
bool linkUnnamed(int fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // Without /proc: the descriptor itself, which needs a privilege most users lack.
    return errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0 &&
           ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

std::string randomSuffix()
{
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdef";
    std::string suffix(12, '0');
    std::uint64_t bits = generator();
    for (char& c : suffix) {
        c = digits[bits & 15];
        bits >>= 4;
    }
    return suffix;
}

bool syncDirectory(const std::string& directory)
{
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    const bool ok = ::fsync(dirFd) == 0 || errno == EINVAL; // some file systems cannot sync a directory
    ::close(dirFd);
    return ok;
}

} // namespace

AtomicFile::AtomicFile(std::string targetPath) : target(std::move(targetPath)) {}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open()
{
    if (target.empty() || fd >= 0)
        return false;
    // Going over the file size limit must fail the write, not end the program.
    static std::once_flag ignoreSizeSignal;
    std::call_once(ignoreSizeSignal, [] { std::signal(SIGXFSZ, SIG_IGN); });
    // A link at the target is followed so that the file it names is replaced and the link stays.
    resolved = target;
    struct stat linkInfo {};
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        std::error_code error;
        const auto real = std::filesystem::canonical(target, error);
        if (error)
            return false; // a dangling link or a loop: nothing sensible to replace
        resolved = real.string();
    }
    struct stat existing {};
    const bool exists = ::stat(resolved.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false;
    if (!exists && errno != ENOENT)
        return false;

    const std::string directory = directoryOf(resolved);
    // An unnamed file first: nothing of it is left if the program dies before commit().
    fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return false; // no permission, a read-only folder, no space: a named file would fail the same way
    if (fd < 0 && !openNamed(directory))
        return false;
    // A replaced file keeps its permission bits; a new one gets the usual 0666 less the umask.
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        discard();
        return false;
    }
    failed = false;
    return true;
}

bool AtomicFile::openNamed(const std::string& directory)
{
    // Where the file system takes no unnamed file: a hidden name beside the target.
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryNameIn(directory, resolved);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        temporary.clear();
    return fd >= 0;
}

bool AtomicFile::write(const void* data, std::size_t size)
{
    if (fd < 0 || failed)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failed = true;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AtomicFile::commit()
{
    if (fd < 0 || failed) {
        discard();
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    bool placed = synced;
    if (placed && temporary.empty()) {
        // The unnamed file is put in place: under the target's name when it is free; over an existing
        // file through a hidden name renamed over it, which leaves that name only for the instant
        // between the two calls.
        placed = linkUnnamed(fd, resolved);
        if (!placed && errno == EEXIST) {
            for (int attempt = 0; attempt < 16 && !placed; ++attempt) {
                temporary = temporaryNameIn(directoryOf(resolved), resolved);
                placed = linkUnnamed(fd, temporary);
                if (!placed) {
                    const bool taken = errno == EEXIST;
                    temporary.clear();
                    if (!taken)
                        break;
                }
            }
            placed = placed && ::rename(temporary.c_str(), resolved.c_str()) == 0;
        }
    } else if (placed) {
        placed = ::rename(temporary.c_str(), resolved.c_str()) == 0;
    }
    const bool closed = ::close(fd) == 0;
    fd = -1;
    if (!placed || !closed) {
        discard();
        return false;
    }
    temporary.clear();
    syncDirectory(directoryOf(resolved));
    return true;
}

void AtomicFile::discard() noexcept
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!temporary.empty()) {
        ::unlink(temporary.c_str());
        temporary.clear();
    }
}

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size)
{
    AtomicFile file(path);
    return file.open() && file.write(data, size) && file.commit();
}

} // namespace quorvanta
