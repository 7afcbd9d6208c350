#pragma once
// Replaces a file only when everything meant for it was written: the bytes go to a fresh unnamed file
// in the target's directory, which commit() syncs and puts in place. Until then the target keeps its
// old bytes; a writer that is destroyed without commit(), or a program that is killed, leaves nothing.
// Only where the file system takes no unnamed file is a hidden named file used, removed on discard.

#include <cstddef>
#include <string>

namespace quorvanta {

class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. Fails when the target exists and is not a regular file (a
    // directory, a device), when a link cannot be resolved, or when its directory is not writable.
    bool open();
    // Appends bytes; false on any write error (disk full, file size limit), after which commit fails.
    bool write(const void* data, std::size_t size);
    // Syncs the temporary file and renames it over the target; false leaves the target as it was.
    bool commit();

    // The file that is replaced: the target, or the file a link at the target leads to.
    const std::string& finalPath() const { return resolved; }

private:
    bool openNamed(const std::string& directory);
    void discard() noexcept;

    std::string target;
    std::string resolved;
    std::string temporary; // the named temporary file; empty while the file has no name
    int fd = -1;
    bool failed = false;
};

// Writes `size` bytes to `path` through an AtomicFile; true when the target now holds them.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size);

} // namespace quorvanta
