#include "encoding/DirectoryList.h"

#include "core/Paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quorvanta {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

unsigned char folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Compares two digit runs by value: leading zeros skipped, then the longer run is larger, then digit
// by digit. Returns <0, 0 or >0.
int compareNumbers(std::string_view a, std::string_view b)
{
    const auto strip = [](std::string_view s) {
        const auto first = s.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view{} : s.substr(first);
    };
    a = strip(a);
    b = strip(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool naturalLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            if (const int order = compareNumbers(a.substr(i, endA - i), b.substr(j, endB - j)))
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        const unsigned char ca = folded(a[i]);
        const unsigned char cb = folded(b[j]);
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size(); // the one that ran out first comes first
    return a < b;
}

DirectoryListing ListDirectory(const std::string& path)
{
    namespace fs = std::filesystem;
    DirectoryListing listing;
    listing.directory = path;
    std::error_code error;
    const fs::path dir(path);
    const auto status = fs::status(dir, error);
    if (error)
        return listing;
    if (fs::is_regular_file(status)) {
        listing.pathIsFile = true;
        return listing;
    }
    if (!fs::is_directory(status))
        return listing;
    fs::directory_iterator it(dir, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        // Subdirectories, and links that lead to one, are not frames.
        if (it->is_directory(typeError))
            continue;
        listing.names.push_back(it->path().filename().string());
    }
    if (error)
        listing.names.clear(); // a directory that could not be read to its end lists nothing
    std::sort(listing.names.begin(), listing.names.end(),
              [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    return listing;
}

std::int32_t CountDirectoryFiles(const DirectoryListing& listing)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(listing.names.size(), INT32_MAX));
}

void GetDirectoryFileName(const DirectoryListing& listing, std::int32_t n, std::string& out)
{
    if (n < 1 || static_cast<std::size_t>(n) > listing.names.size())
        return;
    out = joinPath(listing.directory, listing.names[static_cast<std::size_t>(n - 1)]);
}

std::vector<std::string> directoryFiles(const DirectoryListing& listing)
{
    std::vector<std::string> files;
    files.reserve(listing.names.size());
    for (const auto& name : listing.names)
        files.push_back(joinPath(listing.directory, name));
    return files;
}

} // namespace quorvanta
