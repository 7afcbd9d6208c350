#include "encoding/AnimationEncoder.h"

#include "encoding/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
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
    const bool encoded = EncodeStillWebP({}, record, settings.encode, out.get(), 1, progress).ok();
    record.releasePixels();
    return encoded;
}

namespace {

WebPMuxFrameInfo frameInfo(const MemoryWriter& bitstream, const FrameSettings& settings)
{
    WebPMuxFrameInfo info{};
    info.bitstream.bytes = bitstream.data();
    info.bitstream.size = bitstream.size();
    info.duration = settings.durationMs;
    info.id = WEBP_CHUNK_ANMF;
    info.dispose_method = WEBP_MUX_DISPOSE_NONE;
    info.blend_method = WEBP_MUX_BLEND;
    return info;
}

// Pictures imported ahead of the animation encoder: workers import files into numbered slots, at most
// `window` of them ahead of the one the encoder waits for.
class ImportPipeline {
public:
    ImportPipeline(const std::vector<std::string>& files, const PictureImporter& importer, unsigned threads)
        : files(files), importer(importer), window(threads + 1), slots(files.size())
    {
        workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i)
            workers.emplace_back([this] { work(); });
    }

    ~ImportPipeline()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        workCv.notify_all();
        for (auto& worker : workers)
            worker.join();
    }

    ImportPipeline(const ImportPipeline&) = delete;
    ImportPipeline& operator=(const ImportPipeline&) = delete;

    // Waits for picture `index` and hands it over; its slot is freed for a further import.
    bool take(std::size_t index, PictureRecord& out)
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

private:
    struct Slot {
        bool done = false;
        bool ok = false;
        PictureRecord record;
    };

    void work()
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

// Imports file after file, on the pipeline or (one thread) on the calling thread.
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

unsigned threadCount(unsigned threads, std::size_t files)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(threads, files));
}

struct FileEncoding {
    AnimationResult result;
    bool lastImported = false;
};

// The largest width and height of the pictures; `usable` says which files are pictures.
void measureCanvas(const std::vector<std::string>& files, const PictureImporter& importer,
                   const PictureProber& prober, unsigned threads, std::vector<bool>& usable,
                   std::uint32_t& width, std::uint32_t& height)
{
    usable.assign(files.size(), false);
    width = height = 0;
    std::unique_ptr<FileImports> imports;
    if (!prober)
        imports = std::make_unique<FileImports>(files, importer, threads);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (prober) {
            usable[i] = prober(files[i], w, h) && w > 0 && h > 0;
        } else {
            PictureRecord record;
            usable[i] = imports->take(i, record);
            w = record.width;
            h = record.height;
        }
        if (usable[i]) {
            width = std::max(width, w);
            height = std::max(height, h);
        }
    }
}

FileEncoding encodeFiles(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                         const PictureImporter& importer, const PictureProber& prober,
                         const std::function<void(std::size_t, bool)>& afterFile,
                         const std::atomic<bool>* cancel, unsigned threads)
{
    FileEncoding out;
    threads = threadCount(threads, files.size());
    std::vector<bool> usable;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    measureCanvas(files, importer, prober, threads, usable, width, height);
    if (width == 0 || height == 0) {
        out.result.error = "no picture to encode";
        return out;
    }
    std::vector<std::string> pictures;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (usable[i])
            pictures.push_back(files[i]);

    AnimationAssembler assembler(width, height, settings, cancel);
    if (!assembler.ok()) {
        out.result.error = assembler.errorText();
        return out;
    }
    FileImports imports(pictures, importer, threads);
    std::size_t picture = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        bool encoded = false;
        if (usable[i]) {
            PictureRecord record;
            if (imports.take(picture++, record)) {
                const FramePixels pixels{record.pixels.get(), record.width, record.height,
                                         std::size_t(record.width) * 4, PixelOrder::Argb32};
                encoded = assembler.add(pixels, durationMs);
                if (!encoded && (assembler.cancelled() || !assembler.errorText().empty())) {
                    out.result.cancelled = assembler.cancelled();
                    out.result.error = assembler.errorText();
                    return out;
                }
            }
        }
        out.lastImported = encoded;
        if (afterFile)
            afterFile(i, encoded);
    }
    out.result.framesEncoded = assembler.framesAdded();
    out.result.bytes = assembler.finish();
    out.result.cancelled = assembler.cancelled();
    out.result.error = assembler.errorText();
    return out;
}

// Copies every frame of an assembled animation, as it is, into `mux`. When all the pictures came out
// as one frame covering the canvas, libwebp wrote a still picture: it becomes one frame of
// `durationMs`.
bool copyFrames(const std::vector<std::uint8_t>& file, WebPMux* mux, int durationMs)
{
    const WebPData data{file.data(), file.size()};
    const MuxHandle source(WebPMuxCreate(&data, 0));
    int width = 0;
    int height = 0;
    int frames = 0;
    if (!source || WebPMuxGetCanvasSize(source.get(), &width, &height) != WEBP_MUX_OK ||
        WebPMuxNumChunks(source.get(), WEBP_CHUNK_ANMF, &frames) != WEBP_MUX_OK)
        return false;
    if (frames == 0) {
        WebPMuxFrameInfo still{};
        if (WebPMuxGetFrame(source.get(), 1, &still) != WEBP_MUX_OK)
            return false;
        const OwnedWebPData bytes(still.bitstream);
        still.id = WEBP_CHUNK_ANMF;
        still.x_offset = still.y_offset = 0;
        still.duration = durationMs;
        still.dispose_method = WEBP_MUX_DISPOSE_NONE;
        still.blend_method = WEBP_MUX_NO_BLEND;
        if (WebPMuxPushFrame(mux, &still, 1) != WEBP_MUX_OK)
            return false;
    }
    for (int n = 1; n <= frames; ++n) {
        WebPMuxFrameInfo frame{};
        if (WebPMuxGetFrame(source.get(), std::uint32_t(n), &frame) != WEBP_MUX_OK)
            return false;
        const OwnedWebPData bytes(frame.bitstream);
        if (WebPMuxPushFrame(mux, &frame, 1) != WEBP_MUX_OK)
            return false;
    }
    return WebPMuxSetCanvasSize(mux, width, height) == WEBP_MUX_OK;
}

} // namespace

AnimationResult EncodeAnimationFiles(const std::vector<std::string>& files, const AnimationSettings& settings,
                                     int durationMs, const PictureImporter& importer, const PictureProber& prober,
                                     const AnimationProgress& progress, const std::atomic<bool>* cancel,
                                     unsigned threads)
{
    const int total = static_cast<int>(files.size());
    const auto afterFile = [&progress, total](std::size_t index, bool) {
        if (progress)
            progress(static_cast<int>(index) + 1, total);
    };
    return encodeFiles(files, settings, durationMs, importer, prober, afterFile, cancel, threads).result;
}

int EncodeFrameFile(const std::string& path, WebPMux* mux, const FrameSettings& settings,
                    const PictureImporter& importer, const ProgressReport* progress)
{
    MemoryWriter bitstream;
    if (!mux || !EncodeFrameBitstream(path, settings, importer, bitstream, progress))
        return -1;
    const WebPMuxFrameInfo info = frameInfo(bitstream, settings);
    return WebPMuxPushFrame(mux, &info, 1);
}

EncodeOutcome EncodeDirectoryFrames(const std::vector<std::string>& files, WebPMux* mux,
                                    const FrameSettings& settings, const PictureImporter& importer,
                                    const ProgressReport& progress, unsigned threads)
{
    EncodeOutcome outcome;
    if (!mux || files.empty())
        return outcome;
    if (progress)
        progress(0);
    const auto afterFile = [&progress, &files](std::size_t index, bool) {
        if (!progress)
            return;
        progress(100);
        if (index + 1 < files.size())
            progress(0);
    };
    // Loop count and background are set when the mux is written.
    const AnimationSettings animation = makeAnimationSettings(settings.encode, false, 0, 0xFFFFFFFF);
    const FileEncoding encoded =
        encodeFiles(files, animation, settings.durationMs, importer, {}, afterFile, nullptr, threads);
    outcome.lastResult = encoded.lastImported ? 1 : -1;
    if (!encoded.result.bytes.empty() && copyFrames(encoded.result.bytes, mux, settings.durationMs))
        outcome.framesPushed = encoded.result.framesEncoded;
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
    return writeFileAtomically(path, (*assembled).bytes, (*assembled).size).ok();
}

} // namespace quorvanta
