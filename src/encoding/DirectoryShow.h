#pragma once
// An image directory shown as an animation: the frame list taken once when it is opened, and the
// picture of the frame that normally comes next imported ahead on a worker thread while one is on
// show, so that a tick of the clock costs no decode.

#include "core/PictureRecord.h"
#include "encoding/DirectoryList.h"

#include <cstdint>
#include <future>
#include <string>
#include <vector>

namespace quorvanta {

class DirectoryShow {
public:
    // Lists `path` (a directory, or a file that is then the one frame when encoded).
    explicit DirectoryShow(const std::string& path) : list(ListDirectory(path)) {}
    // Waits for an import still running.
    ~DirectoryShow() = default;
    DirectoryShow(const DirectoryShow&) = delete;
    DirectoryShow& operator=(const DirectoryShow&) = delete;

    std::int32_t frameCount() const { return CountDirectoryFiles(list); }
    const DirectoryListing& listing() const { return list; }

    // Imports the picture of frame `number` into `record`: the one imported ahead when it is that
    // frame, a fresh import otherwise. 1 on success, -1 for no such frame or a file that is no picture.
    int importFrame(std::int32_t number, PictureRecord& record);

    // Starts importing the picture of frame `number` in the background (any earlier one is dropped).
    void importAhead(std::int32_t number);

    // The files an animation is encoded from, in frame order.
    std::vector<std::string> files() const;

private:
    struct Imported {
        PictureRecord record;
        int result = -1;
    };

    DirectoryListing list;
    std::string aheadName;       // the file being imported ahead
    std::future<Imported> ahead; // its import; waited for before the show goes
};

} // namespace quorvanta
