#include "encoding/DirectoryShow.h"

#include "core/AnimationFrames.h"
#include "encoding/AnimationEncoder.h"
#include "import/ImportPictureFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>

namespace quorvanta {

namespace {

using ProbedSize = std::optional<std::pair<std::uint32_t, std::uint32_t>>;

// The size of each file's picture, probed on a few threads at once: reading headers is mostly
// waiting for the disk.
std::vector<ProbedSize> probeAll(const std::vector<std::string>& paths, bool upright)
{
    std::vector<ProbedSize> sizes(paths.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            std::uint32_t w = 0;
            std::uint32_t h = 0;
            if (ProbeUprightPictureFile(paths[i], w, h, upright) && w > 0 && h > 0)
                sizes[i] = std::pair{w, h};
        }
    };
    const std::size_t threads = std::min<std::size_t>({std::max(2u, std::thread::hardware_concurrency()), 8,
                                                       (paths.size() + 15) / 16});
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    work();
    for (auto& helper : helpers)
        helper.join();
    return sizes;
}

// The picture in `record` on a canvas of `width` x `height` at its top-left corner. A record already
// placed on another canvas is placed again: the part beyond its picture is transparent either way.
void placeOnCanvas(PictureRecord& record, std::uint32_t width, std::uint32_t height)
{
    if (!record.pixels || (record.width == width && record.height == height) || width == 0 || height == 0)
        return;
    Buffer<std::uint32_t> canvas = allocZeroed<std::uint32_t>(std::uint64_t(width) * height);
    if (!canvas) {
        record.releasePixels();
        return;
    }
    ComposeOntoCanvas({record.pixels.get(), record.width, record.height, 0, PixelOrder::Argb32}, canvas.get(),
                      width, height);
    record.pixels = std::move(canvas);
    record.size = std::uint64_t(width) * height * 4;
    record.width = width;
    record.height = height;
}

int importPlaced(const std::string& path, PictureRecord& record, std::uint32_t width, std::uint32_t height,
                 const std::atomic<bool>* stop, bool upright, std::vector<std::uint8_t>* icc)
{
    if (ImportUprightPictureFile(path, record, upright, icc, stop) != 1)
        return -1;
    placeOnCanvas(record, width, height);
    return record.pixels ? 1 : -1;
}

} // namespace

DirectoryShow::DirectoryShow(const std::string& path, Imports imports, std::function<void()> arrived, bool upright)
    : list(ListDirectory(path)), imports(imports), upright(upright), arrived(std::move(arrived))
{
    std::vector<std::string> paths = directoryFiles(list);
    if (list.pathIsFile)
        paths.push_back(list.directory);
    const std::vector<ProbedSize> probed = probeAll(paths, upright);
    if (list.pathIsFile && probed.back())
        single = {probed.back()->first, probed.back()->second};
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < list.names.size(); ++i) {
        if (probed[i]) {
            kept.push_back(std::move(list.names[i]));
            pictureSizes.push_back({probed[i]->first, probed[i]->second});
        } else {
            ReportLeftOut(paths[i]);
        }
    }
    list.names = std::move(kept);
    measureCanvas();
}

DirectoryShow::~DirectoryShow()
{
    stop->store(true);
    if (worker.valid())
        worker.wait();
}

std::string DirectoryShow::fileOf(std::int32_t number) const
{
    std::string name;
    GetDirectoryFileName(list, number, name);
    return name;
}

bool DirectoryShow::aheadRunning() const
{
    return ahead.valid() && ahead.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void DirectoryShow::startImport(std::string name)
{
    if (worker.valid())
        worker.wait(); // the previous thread has handed its picture over and is about to end
    aheadName = std::move(name);
    auto promise = std::make_shared<std::promise<Imported>>();
    ahead = promise->get_future();
    worker = std::async(std::launch::async, [promise, name = aheadName, w = width, h = height, stop = stop,
                                             arrived = arrived, upright = upright] {
        Imported imported;
        imported.result = importPlaced(name, imported.record, w, h, stop.get(), upright, &imported.icc);
        promise->set_value(std::move(imported));
        if (arrived)
            arrived();
    });
}

bool DirectoryShow::frameReady(std::int32_t number)
{
    if (imports == Imports::Wait)
        return true;
    const std::string name = fileOf(number);
    if (name.empty())
        return true; // no such frame: answered at once
    if (aheadRunning())
        return false; // this frame's import, or one to be ended first
    if (ahead.valid() && aheadName == name)
        return true;
    if (ahead.valid())
        ahead.get(); // an import nobody took
    startImport(name);
    return false;
}

void DirectoryShow::measureCanvas()
{
    width = single.width;
    height = single.height;
    for (const Size& size : pictureSizes) {
        width = std::max(width, size.width);
        height = std::max(height, size.height);
    }
}

void DirectoryShow::leaveOut(std::size_t index)
{
    std::string name;
    GetDirectoryFileName(list, std::int32_t(index + 1), name);
    ReportLeftOut(name);
    list.names.erase(list.names.begin() + std::ptrdiff_t(index));
    pictureSizes.erase(pictureSizes.begin() + std::ptrdiff_t(index));
    measureCanvas();
}

int DirectoryShow::importFrame(std::int32_t number, PictureRecord& record, std::vector<std::uint8_t>* icc)
{
    std::string name = fileOf(number);
    if (name.empty() && imports == Imports::Background)
        return -1; // never waits for the import running
    int result = -1;
    if (ahead.valid()) {
        Imported imported = ahead.get();
        if (!name.empty() && aheadName == name) {
            record = std::move(imported.record);
            result = imported.result;
            if (icc)
                *icc = std::move(imported.icc);
            // Placed for the canvas as it was when the import started.
            placeOnCanvas(record, width, height);
            name.clear(); // already imported
        }
    }
    if (!name.empty())
        result = importPlaced(name, record, width, height, stop.get(), upright, icc);
    return result;
}

DirectoryShow::Shown DirectoryShow::showFrame(std::int32_t number, PictureRecord& record)
{
    Shown shown;
    shown.frame = number;
    if (number < 1 || number > frameCount())
        return shown;
    // Each failure shortens the list by one: this ends.
    while (shown.frame <= frameCount()) {
        shown.result = importFrame(shown.frame, record, &shown.icc);
        if (shown.result == 1)
            break;
        leaveOut(std::size_t(shown.frame - 1));
        shown.listChanged = true;
        // The files from here to the end failed: playback goes on with the first.
        if (shown.frame > frameCount())
            shown.frame = 1;
    }
    return shown;
}

void DirectoryShow::importAhead(std::int32_t number)
{
    if (imports == Imports::Background && aheadRunning())
        return;
    if (ahead.valid())
        ahead.get(); // an import nobody took
    aheadName.clear();
    startImport(fileOf(number));
}

std::vector<std::string> DirectoryShow::files() const
{
    std::vector<std::string> out = directoryFiles(list);
    if (list.pathIsFile)
        out.push_back(list.directory); // a file given as the directory is its one frame
    return out;
}

DirectoryPictures DirectoryShow::pictures() const
{
    auto known = std::make_shared<std::unordered_map<std::string, Size>>();
    const std::vector<std::string> paths = files();
    for (std::size_t i = 0; i < list.names.size(); ++i)
        (*known)[paths[i]] = pictureSizes[i];
    if (list.pathIsFile && single.width > 0)
        (*known)[list.directory] = single;
    PictureProber prober = [known = std::shared_ptr<const std::unordered_map<std::string, Size>>(known)](
                               const std::string& path, std::uint32_t& w, std::uint32_t& h) {
        const auto found = known->find(path);
        if (found == known->end())
            return false;
        w = found->second.width;
        h = found->second.height;
        return true;
    };
    PictureImporter importer = [upright = upright](const std::string& path, PictureRecord& record) {
        return ImportUprightPictureFile(path, record, upright);
    };
    return {std::move(prober), std::move(importer)};
}

} // namespace quorvanta
