#pragma once
// Joining a directory and a name into a path.

#include <string>

namespace quorvanta {

// `directory` + "/" + `name`, without the "/" after a directory that already ends in one or after a
// volume name ("RAM:", a name ending in ":" with no "/" in it). A colon inside a real directory path
// ("/tmp/x:", "/tmp/a:/b") is just a character. A directory alone (empty name) keeps the separator:
// "Work:Frames" gives "Work:Frames/".
inline std::string joinPath(const std::string& directory, const std::string& name)
{
    const bool volumeRoot = directory.ends_with(':') && directory.find('/') == std::string::npos;
    const bool separator = !volumeRoot && !directory.ends_with('/');
    return separator ? directory + "/" + name : directory + name;
}

} // namespace quorvanta
