#pragma once
// An image directory shown as an animation: the frame list taken once when it is opened, and the
// picture of the frame that normally comes next imported ahead on a worker thread while one is on
// show, so that a tick of the clock costs no decode.

#include "core/PictureRecord.h"
#include "encoding/DirectoryList.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace quorvanta {

class DirectoryShow {
public:
    // Whether a frame asked for waits for its import (a frame is always there when asked for) or
    // is imported in the background while the caller goes on (the caller never waits for a decode).
    enum class Imports { Wait, Background };

    // Lists `path` (a directory, or a file that is then the one frame when encoded). `arrived`, when
    // given, is called on the worker thread each time a background import ends.
    explicit DirectoryShow(const std::string& path, Imports imports = Imports::Wait,
                           std::function<void()> arrived = {})
        : list(ListDirectory(path)), imports(imports), arrived(std::move(arrived))
    {
    }
    // Stops an import still running and waits for it.
    ~DirectoryShow();
    DirectoryShow(const DirectoryShow&) = delete;
    DirectoryShow& operator=(const DirectoryShow&) = delete;

    std::int32_t frameCount() const { return CountDirectoryFiles(list); }
    const DirectoryListing& listing() const { return list; }

    // Whether importFrame(number) can answer at once. Always true with Imports::Wait. Otherwise true
    // once the picture of frame `number` has been imported; until then its import is started (after
    // the one running, if that is for another frame) and `arrived` tells when to ask again.
    bool frameReady(std::int32_t number);

    // Imports the picture of frame `number` into `record`: the one imported ahead when it is that
    // frame, a fresh import otherwise. 1 on success, -1 for no such frame or a file that is no picture.
    int importFrame(std::int32_t number, PictureRecord& record);

    // Starts importing the picture of frame `number` in the background (any earlier one is dropped;
    // with Imports::Background one still running is left to end first).
    void importAhead(std::int32_t number);

    // The files an animation is encoded from, in frame order.
    std::vector<std::string> files() const;

private:
    struct Imported {
        PictureRecord record;
        int result = -1;
    };

    std::string fileOf(std::int32_t number) const;
    bool aheadRunning() const;
    void startImport(std::string name);

    DirectoryListing list;
    Imports imports;
    std::function<void()> arrived;
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::string aheadName;       // the file being imported ahead
    std::future<Imported> ahead; // its picture, ready before `arrived` is called
    std::future<void> worker;    // the thread importing it; waited for before the show goes
};

} // namespace quorvanta
