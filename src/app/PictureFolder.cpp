#include "app/PictureFolder.h"

#include "encoding/DirectoryList.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace quorvanta {

namespace {

// The extensions of the "Open ..." dialog's pattern.
constexpr std::array<std::string_view, 15> kExtensions{"webp", "iff", "bmp", "png",  "jpg", "jpeg", "tif", "tiff",
                                                       "ilbm", "gif", "pcx", "pnm", "ppm", "pgm",  "tga"};

bool openable(const std::filesystem::path& name)
{
    std::string extension = name.extension().string();
    if (extension.size() < 2)
        return false;
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kExtensions.begin(), kExtensions.end(), std::string_view(extension).substr(1)) !=
           kExtensions.end();
}

} // namespace

std::vector<std::string> picturesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (it->is_regular_file(kindError) && openable(it->path().filename()))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    for (std::string& name : names)
        name = (std::filesystem::path(folder) / name).string();
    return names;
}

std::optional<std::string> neighbourPicture(const std::string& path, int step)
{
    const std::filesystem::path current(path);
    if (step == 0 || !current.has_filename())
        return std::nullopt;
    const std::string name = current.filename().string();
    const std::string folder = current.has_parent_path() ? current.parent_path().string() : std::string(".");
    const std::vector<std::string> pictures = picturesIn(folder);
    auto nameOf = [](const std::string& p) { return std::filesystem::path(p).filename().string(); };
    // Where the current name stands among them, whether or not it is one of them.
    const auto after = std::upper_bound(pictures.begin(), pictures.end(), name, [&](const std::string& n, const std::string& p) {
        return naturalLess(n, nameOf(p));
    });
    const auto at = std::find_if(pictures.begin(), after, [&](const std::string& p) { return nameOf(p) == name; });
    const std::ptrdiff_t here = after - pictures.begin();
    const std::ptrdiff_t target = step > 0 ? here + step - 1 : (at != after ? at - pictures.begin() : here) + step;
    if (target < 0 || target >= static_cast<std::ptrdiff_t>(pictures.size()))
        return std::nullopt;
    return pictures[static_cast<std::size_t>(target)];
}

} // namespace quorvanta
