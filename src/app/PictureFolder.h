#pragma once
// The pictures beside the one on show: the files of its folder that "Open ..." lists (by their
// names' extensions, in any case), in natural name order.

#include <optional>
#include <string>
#include <vector>

namespace quorvanta {

// The openable pictures of `folder`, whole paths in natural order; nothing for a folder that can't
// be read.
std::vector<std::string> picturesIn(const std::string& folder);

// The picture `step` places after `path` (before it, for a negative step) in the folder that holds
// it; none past either end. `path` itself need not be one of them.
std::optional<std::string> neighbourPicture(const std::string& path, int step);

} // namespace quorvanta
