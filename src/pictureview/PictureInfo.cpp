// What the window tells about the picture or frame on show: the file, its size and kind, and where
// a frame stands in its animation or directory.

#include "pictureview/PictureView.h"

#include "encoding/DirectoryShow.h"
#include "core/PlayableAnimation.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace quorvanta {

namespace {

std::string extensionInCapitals(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension;
}

std::uint64_t sizeOnDisk(const std::string& path)
{
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    return error ? 0 : bytes;
}

bool anyTransparent(const PictureRecord& record)
{
    const std::uint64_t count = record.pixels ? record.size / 4 : 0;
    for (std::uint64_t i = 0; i < count; ++i)
        if ((record.pixels[i] >> 24) != 0xFF)
            return true;
    return false;
}

} // namespace

PictureInfo PictureView::describeShown()
{
    PictureInfo info;
    info.mode = d.mode;
    info.path = d.path;
    info.width = d.width;
    info.height = d.height;
    if (d.mode == Mode::Still || d.mode == Mode::Animated) {
        // The file's headers are read once for each file.
        if (kindOf != d.fileData.get()) {
            kind = d.fileData ? describeWebP({d.fileData.get(), static_cast<std::size_t>(d.fileSize)}) : WebPKind{};
            kindOf = d.fileData.get();
        }
        info.coding = kind.coding;
        info.alpha = kind.alpha;
        info.fileSize = d.fileSize;
    } else {
        if (d.mode == Mode::Directory && directory)
            GetDirectoryFileName(directory->listing(), d.currentFrame, info.path);
        info.format = extensionInCapitals(info.path);
        info.alpha = anyTransparent(d.importBuffer);
        info.fileSize = sizeOnDisk(info.path);
    }

    if (d.mode == Mode::Animated && animation && d.currentFrame >= 1 && d.currentFrame <= animation->frameCount()) {
        info.frame = d.currentFrame;
        info.frameCount = animation->frameCount();
        for (std::int32_t n = 1; n < d.currentFrame; ++n)
            info.frameStartMs += animation->frameDuration(n);
        info.frameDurationMs = animation->frameDuration(d.currentFrame);
    } else if (d.mode == Mode::Directory && d.frameCount > 0) {
        info.frame = d.currentFrame;
        info.frameCount = d.frameCount;
        info.frameDurationMs = d.frameDelay / 1000;
        info.frameStartMs = std::int64_t{d.currentFrame - 1} * info.frameDurationMs;
    }
    return info;
}

} // namespace quorvanta
