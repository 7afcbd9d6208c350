#include "encoding/ImportAhead.h"

namespace quorvanta {

ImportPipeline::ImportPipeline(const std::vector<std::string>& files, const PictureImporter& importer,
                               unsigned threads, std::size_t first)
    : files(files), importer(importer), window(threads + 1), slots(files.size()), nextToImport(first),
      nextToTake(first)
{
    workers.reserve(threads);
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back([this] { work(); });
}

ImportPipeline::~ImportPipeline()
{
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    workCv.notify_all();
    for (auto& worker : workers)
        worker.join();
}

bool ImportPipeline::take(std::size_t index, PictureRecord& out)
{
    Slot& slot = slots[index];
    std::unique_lock lock(mutex);
    doneCv.wait(lock, [&slot] { return slot.done; });
    out = std::move(slot.record);
    nextToTake = index + 1;
    lock.unlock();
    workCv.notify_all();
    return slot.ok;
}

void ImportPipeline::work()
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex);
            workCv.wait(lock, [this] {
                return stopping || nextToImport >= files.size() || nextToImport < nextToTake + window;
            });
            if (stopping || nextToImport >= files.size())
                return;
            index = nextToImport++;
        }
        PictureRecord record;
        const bool ok = importer && importer(files[index], record) == 1 && record.pixels;
        {
            const std::lock_guard lock(mutex);
            slots[index].ok = ok;
            slots[index].record = std::move(record);
            slots[index].done = true;
        }
        doneCv.notify_all();
    }
}

} // namespace quorvanta
