#pragma once
// State kept for the image directory on show.

namespace quorvanta {

struct DirectoryState {
};

} // namespace quorvanta
