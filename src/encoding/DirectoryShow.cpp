#include "encoding/DirectoryShow.h"

#include "import/ImportPictureFile.h"

#include <chrono>

namespace quorvanta {

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
    worker = std::async(std::launch::async, [promise, name = aheadName, stop = stop, arrived = arrived] {
        Imported imported;
        imported.result = ImportPictureFileWith(name, imported.record, nullptr, stop.get());
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

int DirectoryShow::importFrame(std::int32_t number, PictureRecord& record)
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
            name.clear(); // already imported
        }
    }
    if (!name.empty())
        result = ImportPictureFileWith(name, record, nullptr, stop.get());
    return result;
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

} // namespace quorvanta
