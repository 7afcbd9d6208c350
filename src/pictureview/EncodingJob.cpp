#include "pictureview/EncodingJob.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace quorvanta {

namespace {

std::mutex probeMutex;
std::function<void(int)> progressProbe;

void probe(int percent)
{
    std::function<void(int)> copy;
    {
        const std::lock_guard lock(probeMutex);
        copy = progressProbe;
    }
    if (copy)
        copy(percent);
}

} // namespace

std::string sizeText(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1000)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1e3);
    else if (bytes < 1000ull * 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1e9);
    return text;
}

std::string savedMessage(const Saved& saved)
{
    std::string out = "Saved " + displayName(saved.path) + ", ";
    if (saved.frames > 0)
        out += std::to_string(saved.frames) + (saved.frames == 1 ? " frame, " : " frames, ");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", double(saved.elapsed.count()) / 1000.0);
    return out + sizeText(saved.bytes) + ", " + seconds + (saved.note.empty() ? "" : ", " + saved.note);
}

void EncodeProgress::percent(int percent)
{
    current = std::clamp(percent, 0, 100);
    show();
}

void EncodeProgress::frames(int done, int total)
{
    framesDone = std::max(done, 0);
    framesTotal = std::max(total, 0);
    current = 0;
    show();
}

void EncodeProgress::show()
{
    // Within an animation each frame has its share of the bar, filled by the encoder's percentage.
    const int value = framesTotal > 0 ? std::min(100, (framesDone * 100 + current) / framesTotal) : current;
    if (value <= shown)
        return;
    shown = value;
    probe(value);
    if (sink)
        sink(value);
}

std::function<Result<Saved>()> encodeJob(EncodeWork work, std::shared_ptr<std::atomic<bool>> stop,
                                         EncodeProgress::Sink sink)
{
    return [work = std::move(work), stop = std::move(stop), sink = std::move(sink)]() -> Result<Saved> {
        const auto started = std::chrono::steady_clock::now();
        EncodeProgress progress(sink);
        Result<Saved> result = work(progress, *stop);
        if (result)
            result->elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        return result;
    };
}

void setEncodeProgressProbe(std::function<void(int percent)> probeFunction)
{
    const std::lock_guard lock(probeMutex);
    progressProbe = std::move(probeFunction);
}

} // namespace quorvanta
