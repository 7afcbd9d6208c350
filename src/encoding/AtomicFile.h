#pragma once
// Replaces a file only when everything meant for it was written: the bytes go to a fresh unnamed file
// in the target's directory, which commit() syncs and puts in place. Until then the target keeps its
// old bytes; a writer that is destroyed without commit(), or a program that is killed, leaves nothing.
// Only where the file system takes no unnamed file is a hidden named file used, removed on discard.

#include "core/Failure.h"

#include <cstddef>
#include <optional>
#include <string>

namespace quorvanta {

class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. Refused (CantWrite, with the reason) when the target exists and is
    // not a regular file (a directory, a device), when a link cannot be resolved, or when its
    // directory is not writable; DiskFull when there is no room for a new file.
    Status open();
    // Appends bytes; false on any write error, after which commit() fails with its reason.
    bool write(const void* data, std::size_t size);
    // Syncs the temporary file and renames it over the target; a failure leaves the target as it was.
    // DiskFull when the disk, the quota or the file size limit ran out; CantWrite otherwise.
    Status commit();

    // The file that is replaced: the target, or the file a link at the target leads to.
    const std::string& finalPath() const { return resolved; }

private:
    void discard() noexcept;
    Problem failure(int error) const;
    // The hidden named file, where no unnamed one can be had: 0, or the errno of the last attempt.
    int openNamed(const std::string& directory);


    std::string target;
    std::string resolved;
    std::string temporary; // the named temporary file; empty while the file has no name
    int fd = -1;
    bool failed = false;
    int writeError = 0; // errno of the write that failed
};

// Writes `size` bytes to `path` through an AtomicFile; succeeds when the target now holds them.
Status writeFileAtomically(const std::string& path, const void* data, std::size_t size);

} // namespace quorvanta
