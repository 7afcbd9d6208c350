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

// A problem as the system names it: ENOSPC "No space left on device".
std::string systemReason(int error)
{
    return std::system_category().message(error);
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

Problem AtomicFile::failure(int error) const
{
    const std::string name = displayName(target);
    switch (error) {
    case ENOSPC: return problemWith(name, Failure::DiskFull);
    case EDQUOT: return problemWith(name, Failure::DiskFull, "the disk quota is used up");
    case EFBIG: return problemWith(name, Failure::DiskFull, "the file size limit was reached");
    default: return problemWith(name, Failure::CantWrite, error ? systemReason(error) : std::string());
    }
}

Status AtomicFile::open()
{
    if (target.empty())
        return problem(Failure::CantWrite, "no file name was given");
    if (fd >= 0)
        return problemWith(displayName(target), Failure::CantWrite, "it is being written already");
    // Going over the file size limit must fail the write, not end the program.
    static std::once_flag ignoreSizeSignal;
    std::call_once(ignoreSizeSignal, [] { std::signal(SIGXFSZ, SIG_IGN); });
    // A link at the target is followed so that the file it names is replaced and the link stays.
    resolved = target;
    struct stat linkInfo {};
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        std::error_code error;
        const auto real = std::filesystem::canonical(target, error);
        if (error) // a dangling link or a loop: nothing sensible to replace
            return problemWith(displayName(target), Failure::CantWrite, "a link that leads nowhere: " + error.message());
        resolved = real.string();
    }
    struct stat existing {};
    const bool exists = ::stat(resolved.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return problemWith(displayName(target), Failure::CantWrite,
                           S_ISDIR(existing.st_mode) ? "it is a folder" : "it is not a regular file");
    if (!exists && errno != ENOENT)
        return failure(errno);

    const std::string directory = directoryOf(resolved);
    // An unnamed file first: nothing of it is left if the program dies before commit().
    fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return failure(errno); // no permission, a read-only folder, no space: a named file would fail alike
    if (fd < 0) {
        if (const int error = openNamed(directory); error != 0)
            return failure(error);
    }
    // A replaced file keeps its permission bits; a new one gets the usual 0666 less the umask.
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        const int error = errno;
        discard();
        return failure(error);
    }
    failed = false;
    writeError = 0;
    return {};
}

int AtomicFile::openNamed(const std::string& directory)
{
    // Where the file system takes no unnamed file: a hidden name beside the target.
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryNameIn(directory, resolved);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        error = fd < 0 ? errno : 0;
        if (fd < 0 && error != EEXIST)
            break;
    }
    if (fd < 0)
        temporary.clear();
    return error;
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
            writeError = written < 0 ? errno : ENOSPC; // nothing written and no error: no room
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

Status AtomicFile::commit()
{
    if (fd < 0 || failed) {
        discard();
        return failed ? failure(writeError) : problemWith(displayName(target), Failure::CantWrite, "it was not opened");
    }
    // A file system that allocates late reports a full disk only here.
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (error == 0 && temporary.empty()) {
        // The unnamed file is put in place: under the target's name when it is free; over an existing
        // file through a hidden name renamed over it, which leaves that name only for the instant
        // between the two calls.
        if (!linkUnnamed(fd, resolved)) {
            error = errno;
            for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
                temporary = temporaryNameIn(directoryOf(resolved), resolved);
                error = linkUnnamed(fd, temporary) ? 0 : errno;
                if (error != 0)
                    temporary.clear();
            }
            if (error == 0 && ::rename(temporary.c_str(), resolved.c_str()) != 0)
                error = errno;
        }
    } else if (error == 0 && ::rename(temporary.c_str(), resolved.c_str()) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    fd = -1;
    if (error != 0) {
        discard();
        return failure(error);
    }
    temporary.clear();
    syncDirectory(directoryOf(resolved));
    return {};
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

Status writeFileAtomically(const std::string& path, const void* data, std::size_t size)
{
    AtomicFile file(path);
    if (Status opened = file.open(); !opened)
        return opened;
    file.write(data, size); // a failed write makes the commit fail with its reason
    return file.commit();
}

} // namespace quorvanta
