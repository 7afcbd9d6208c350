#pragma once
// Pictures imported ahead of the animation encoder: worker threads import files into numbered slots,
// a few ahead of the one the encoder waits for, so that reading and decoding overlap encoding.

#include "core/PictureRecord.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvanta {

// Fills a PictureRecord from a file: 1 on success, -1 on failure. Must be safe to call from several
// threads at once on different records.
using PictureImporter = std::function<int(const std::string& path, PictureRecord& record)>;

class ImportPipeline {
public:
    // Imports files[first], files[first + 1], ... on `threads` workers, at most threads + 1 ahead of
    // the one taken last.
    ImportPipeline(const std::vector<std::string>& files, const PictureImporter& importer, unsigned threads,
                   std::size_t first = 0);
    ~ImportPipeline();
    ImportPipeline(const ImportPipeline&) = delete;
    ImportPipeline& operator=(const ImportPipeline&) = delete;

    // Waits for picture `index` (taken in increasing order) and hands it over; false when it failed.
    bool take(std::size_t index, PictureRecord& out);

private:
    struct Slot {
        bool done = false;
        bool ok = false;
        PictureRecord record;
    };

    void work();

    const std::vector<std::string>& files;
    const PictureImporter& importer;
    const std::size_t window;
    std::deque<Slot> slots;

    std::mutex mutex;
    std::condition_variable workCv;
    std::condition_variable doneCv;
    std::size_t nextToImport = 0;
    std::size_t nextToTake = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

// Imports file after file, on a pipeline or (one thread) on the calling thread.
class FileImports {
public:
    FileImports(const std::vector<std::string>& files, const PictureImporter& importer, unsigned threads)
        : files(files), importer(importer)
    {
        if (threads > 1)
            pipeline = std::make_unique<ImportPipeline>(files, importer, threads);
    }
    bool take(std::size_t index, PictureRecord& out)
    {
        if (pipeline)
            return pipeline->take(index, out);
        return importer && importer(files[index], out) == 1 && out.pixels;
    }

private:
    const std::vector<std::string>& files;
    const PictureImporter& importer;
    std::unique_ptr<ImportPipeline> pipeline;
};

} // namespace quorvanta
