#pragma once
// State kept for the image directory on show: the frame list taken when it was opened, and the
// next frame imported ahead of its tick.

#include "encoding/DirectoryList.h"
#include "pictureview/PictureRecord.h"

#include <future>
#include <string>

namespace quorvanta {

struct DirectoryState {
    struct Imported {
        PictureRecord record;
        int result = -1;
    };

    DirectoryListing listing;
    std::string aheadName;           // the file being imported ahead
    std::future<Imported> ahead;     // its import; waited for before the state goes
};

} // namespace quorvanta
