#pragma once
// The frame list of an image directory: its entries that are not directories, listed once, in
// natural name order, so that the same list is played and encoded and the order is the same on
// every machine.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvanta {

struct DirectoryListing {
    std::string directory;
    std::vector<std::string> names; // entry names, natural order
    bool pathIsFile = false;        // the path named a file rather than a directory
};

// True when `a` comes before `b`: letters compared without case (ASCII), runs of digits by their
// numeric value, and names that still tie by their exact bytes.
bool naturalLess(std::string_view a, std::string_view b);

// Lists the directory once. A path that cannot be read, or that is not a directory, lists nothing.
DirectoryListing ListDirectory(const std::string& path);

// Number of frames of the listing.
std::int32_t CountDirectoryFiles(const DirectoryListing& listing);

// The full name of frame n (from 1) into `out`; `out` is left as it was when there is no frame n.
void GetDirectoryFileName(const DirectoryListing& listing, std::int32_t n, std::string& out);

// Every frame's full name, in frame order.
std::vector<std::string> directoryFiles(const DirectoryListing& listing);

} // namespace quorvanta
