#include "encoding/AnimationEncoder.h"

#include "encoding/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quorvanta {

bool EncodeFrameBitstream(const std::string& path, const FrameSettings& settings,
                          const PictureImporter& importer, MemoryWriter& out, const ProgressReport* progress)
{
    PictureRecord record;
    if (!importer || importer(path, record) != 1)
        return false;
    // Memory mode: no file name is needed and none is opened.
    const bool encoded = EncodeStillWebP({}, record, settings.encode, out.get(), 1, progress) == 1;
    record.releasePixels();
    return encoded;
}

namespace {

WebPMuxFrameInfo frameInfo(const MemoryWriter& bitstream, const FrameSettings& settings)
{
    WebPMuxFrameInfo info{};
    info.bitstream.bytes = bitstream.data();
    info.bitstream.size = bitstream.size();
    info.x_offset = 0;
    info.y_offset = 0;
    info.duration = settings.durationMs;
    info.id = WEBP_CHUNK_ANMF;
    info.dispose_method = WEBP_MUX_DISPOSE_NONE;
    info.blend_method = WEBP_MUX_BLEND;
    return info;
}

int pushFrame(WebPMux* mux, const MemoryWriter& bitstream, const FrameSettings& settings)
{
    const WebPMuxFrameInfo info = frameInfo(bitstream, settings);
    return WebPMuxPushFrame(mux, &info, 1);
}

// Frames in flight between the workers and the thread that pushes them into the mux.
class FramePipeline {
public:
    FramePipeline(const std::vector<std::string>& files, const FrameSettings& settings,
                  const PictureImporter& importer, unsigned threads)
        : files(files), settings(settings), importer(importer),
          window(threads + 1), slots(files.size())
    {
        workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i)
            workers.emplace_back([this] { work(); });
    }

    ~FramePipeline()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        workCv.notify_all();
        for (auto& worker : workers)
            worker.join();
    }

    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Waits for frame `index`, reporting its progress meanwhile, and hands over its bitstream. The
    // frame's slot is released so that a further frame may start.
    bool take(std::size_t index, MemoryWriter& out, const ProgressReport& progress)
    {
        Slot& slot = slots[index];
        int shown = -1;
        std::unique_lock lock(mutex);
        while (!slot.done) {
            const int percent = slot.percent.load(std::memory_order_relaxed);
            if (percent != shown && progress) {
                shown = percent;
                lock.unlock();
                progress(percent);
                lock.lock();
                continue;
            }
            doneCv.wait(lock);
        }
        const bool ok = slot.ok;
        out = std::move(slot.bitstream);
        nextToPush = index + 1;
        lock.unlock();
        workCv.notify_all();
        if (progress && shown != 100)
            progress(100);
        return ok;
    }

private:
    struct Slot {
        std::atomic<int> percent{0};
        bool done = false;
        bool ok = false;
        MemoryWriter bitstream;
    };

    void work()
    {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex);
                workCv.wait(lock, [this] {
                    return stopping || nextToTake >= files.size() || nextToTake < nextToPush + window;
                });
                if (stopping || nextToTake >= files.size())
                    return;
                index = nextToTake++;
            }
            Slot& slot = slots[index];
            const ProgressReport report = [this, &slot](int percent) {
                slot.percent.store(percent, std::memory_order_relaxed);
                doneCv.notify_all();
            };
            MemoryWriter bitstream;
            const bool ok = EncodeFrameBitstream(files[index], settings, importer, bitstream, &report);
            {
                const std::lock_guard lock(mutex);
                slot.ok = ok;
                slot.bitstream = std::move(bitstream);
                slot.done = true;
            }
            doneCv.notify_all();
        }
    }

    const std::vector<std::string>& files;
    const FrameSettings& settings;
    const PictureImporter& importer;
    const std::size_t window; // frames imported or encoded but not yet pushed, at most
    std::deque<Slot> slots;

    std::mutex mutex;
    std::condition_variable workCv;
    std::condition_variable doneCv;
    std::size_t nextToTake = 0;
    std::size_t nextToPush = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace

int EncodeFrameFile(const std::string& path, WebPMux* mux, const FrameSettings& settings,
                    const PictureImporter& importer, const ProgressReport* progress)
{
    MemoryWriter bitstream;
    if (!mux || !EncodeFrameBitstream(path, settings, importer, bitstream, progress))
        return -1;
    return pushFrame(mux, bitstream, settings);
}

EncodeOutcome EncodeDirectoryFrames(const std::vector<std::string>& files, WebPMux* mux,
                                    const FrameSettings& settings, const PictureImporter& importer,
                                    const ProgressReport& progress, unsigned threads)
{
    EncodeOutcome outcome;
    if (!mux || files.empty())
        return outcome;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, files.size()));

    const auto count = [&outcome](int result) {
        outcome.lastResult = result;
        if (result == WEBP_MUX_OK)
            ++outcome.framesPushed;
    };
    if (threads <= 1) {
        for (const auto& file : files) {
            if (progress)
                progress(0);
            count(EncodeFrameFile(file, mux, settings, importer, &progress));
        }
        return outcome;
    }

    FramePipeline pipeline(files, settings, importer, threads);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (progress)
            progress(0);
        MemoryWriter bitstream;
        count(pipeline.take(i, bitstream, progress) ? pushFrame(mux, bitstream, settings) : -1);
    }
    return outcome;
}

std::uint32_t packBackgroundColor(const std::array<std::uint32_t, 3>& rgb)
{
    return 0xFF000000u | ((rgb[0] >> 24) << 16) | ((rgb[1] >> 24) << 8) | (rgb[2] >> 24);
}

bool WriteAnimation(WebPMux* mux, const std::string& path, int loopCount, std::uint32_t backgroundColor)
{
    if (!mux)
        return false;
    WebPMuxAnimParams params{};
    params.bgcolor = backgroundColor;
    params.loop_count = loopCount;
    WebPMuxSetAnimationParams(mux, &params);
    OwnedWebPData assembled;
    if (WebPMuxAssemble(mux, assembled.get()) != WEBP_MUX_OK)
        return false;
    return writeFileAtomically(path, (*assembled).bytes, (*assembled).size);
}

} // namespace quorvanta
