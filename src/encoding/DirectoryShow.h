#pragma once
// An image directory shown as an animation: the frame list taken once when it is opened, and the
// picture of the frame that normally comes next imported ahead on a worker thread while one is on
// show, so that a tick of the clock costs no decode.
//
// The frames shown are the frames "Encode animation" writes: every picture is placed at the top-left
// corner of a canvas of the largest width and height of all pictures, the rest transparent
// (ComposeOntoCanvas). The sizes are probed when the directory is opened; files that are not
// pictures are left out of the list then, and a file that fails to import later is left out when it
// is first shown, each named by one line on standard error.

#include "core/PictureRecord.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace quorvanta {

class DirectoryShow {
public:
    // Whether a frame asked for waits for its import (a frame is always there when asked for) or
    // is imported in the background while the caller goes on (the caller never waits for a decode).
    enum class Imports { Wait, Background };

    // Lists `path` (a directory, or a file that is then the one frame when encoded) and probes the
    // size of every file in it, on several threads. `arrived`, when given, is called on the worker
    // thread each time a background import ends. `upright`: every picture is turned as its EXIF
    // orientation says, in the show and in the encoding alike.
    explicit DirectoryShow(const std::string& path, Imports imports = Imports::Wait,
                           std::function<void()> arrived = {}, bool upright = true);
    // Stops an import still running and waits for it.
    ~DirectoryShow();
    DirectoryShow(const DirectoryShow&) = delete;
    DirectoryShow& operator=(const DirectoryShow&) = delete;

    std::int32_t frameCount() const { return CountDirectoryFiles(list); }
    const DirectoryListing& listing() const { return list; }
    std::uint32_t canvasWidth() const { return width; }
    std::uint32_t canvasHeight() const { return height; }

    // Whether importFrame(number) can answer at once. Always true with Imports::Wait. Otherwise true
    // once the picture of frame `number` has been imported; until then its import is started (after
    // the one running, if that is for another frame) and `arrived` tells when to ask again.
    bool frameReady(std::int32_t number);

    // Imports the picture of frame `number` into `record`, placed on the canvas: the one imported
    // ahead when it is that frame, a fresh import otherwise. 1 on success, -1 for no such frame or a
    // file that is no picture. `icc`, when given, receives the picture's colour profile.
    int importFrame(std::int32_t number, PictureRecord& record, std::vector<std::uint8_t>* icc = nullptr);

    // What showing a frame came to.
    struct Shown {
        int result = -1;         // importFrame's
        std::int32_t frame = 0;  // the frame shown: the one asked for, or 1 when the files from there
                                 // to the end were all left out
        bool listChanged = false; // files were left out: frameCount() is smaller
        std::vector<std::uint8_t> icc; // the colour profile of the picture shown; empty for none
    };
    // Frame `number` for the preview: a file in range that fails to import is left out of the list
    // (one line on standard error names it) and the file that takes its number is shown instead.
    Shown showFrame(std::int32_t number, PictureRecord& record);

    // Starts importing the picture of frame `number` in the background (any earlier one is dropped;
    // with Imports::Background one still running is left to end first).
    void importAhead(std::int32_t number);

    // The files an animation is encoded from, in frame order.
    std::vector<std::string> files() const;

    // For the encoder: the sizes probed when the directory was opened (a file not among them is no
    // picture), and the import that matches them, turning pictures upright as the show does. Holds its
    // own copy: safe on any thread, for as long as it is kept.
    DirectoryPictures pictures() const;

private:
    struct Imported {
        PictureRecord record;
        int result = -1;
        std::vector<std::uint8_t> icc;
    };
    struct Size {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
    };

    void leaveOut(std::size_t index);
    void measureCanvas();
    std::string fileOf(std::int32_t number) const;
    bool aheadRunning() const;
    void startImport(std::string name);

    DirectoryListing list;
    std::vector<Size> pictureSizes; // of each name in the list
    Size single;                    // of the file given as the directory
    std::uint32_t width = 0;        // the canvas
    std::uint32_t height = 0;
    Imports imports;
    bool upright = true;
    std::function<void()> arrived;
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::string aheadName;       // the file being imported ahead
    std::future<Imported> ahead; // its picture, ready before `arrived` is called
    std::future<void> worker;    // the thread importing it; waited for before the show goes
};

} // namespace quorvanta
