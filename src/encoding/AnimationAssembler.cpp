#include "encoding/AnimationAssembler.h"

#include "encoding/WebPHandles.h"

#include <webp/decode.h>

#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace quorvanta {

namespace {

constexpr int kMaxDurationMs = (1 << 24) - 1; // the container's 24-bit field

int stopWhenCancelled(int /*percent*/, const WebPPicture* picture)
{
    const auto* cancel = picture ? static_cast<const std::atomic<bool>*>(picture->user_data) : nullptr;
    return cancel && cancel->load() ? 0 : 1;
}

// WebPPictureFree on every way out; the argb plane lent to it stays ours.
class BorrowedPicture {
public:
    BorrowedPicture() { WebPPictureInit(&picture); }
    ~BorrowedPicture() { WebPPictureFree(&picture); }
    BorrowedPicture(const BorrowedPicture&) = delete;
    BorrowedPicture& operator=(const BorrowedPicture&) = delete;
    WebPPicture picture{};
};

// Reads a source's frames on a thread of its own, so that decoding the next frame overlaps encoding
// this one: at most kFramesAhead frames wait, and one more may be being read. The reader always ends
// with End or Failed, so take() never waits for a frame that will not come.
class FrameReadAhead {
public:
    static constexpr std::size_t kFramesAhead = 2;

    explicit FrameReadAhead(FrameSource& frames) : source(frames), worker([this] { work(); }) {}

    ~FrameReadAhead()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        worker.join(); // at most one frame read still under way
    }

    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // The next read in the source's order; its frame moves into `frame`.
    FrameSource::Read take(AnimationFrame& frame)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !ready.empty(); });
        auto [read, next] = std::move(ready.front());
        ready.pop_front();
        lock.unlock();
        changed.notify_all();
        frame = std::move(next);
        return read;
    }

private:
    void work()
    {
        for (;;) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return stopping || ready.size() < kFramesAhead; });
                if (stopping)
                    return;
            }
            AnimationFrame frame;
            const FrameSource::Read read = source.next(frame);
            {
                const std::lock_guard lock(mutex);
                ready.emplace_back(read, std::move(frame));
            }
            changed.notify_all();
            if (read == FrameSource::Read::End || read == FrameSource::Read::Failed)
                return;
        }
    }

    FrameSource& source;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<FrameSource::Read, AnimationFrame>> ready;
    bool stopping = false;
    std::thread worker; // last: starts once everything above is in place
};

} // namespace

AnimationSettings makeAnimationSettings(const EncodeSettings& encode, bool mixed, int loopCount,
                                        std::uint32_t backgroundColor)
{
    AnimationSettings settings;
    settings.lossless = encode.lossless;
    settings.quality = encode.quality;
    settings.method = encode.method;
    settings.filterStrength = encode.filterStrength;
    settings.filterSharpness = encode.filterSharpness;
    settings.mixed = mixed;
    settings.loopCount = loopCount;
    settings.backgroundColor = backgroundColor;
    return settings;
}

AnimationAssembler::AnimationAssembler(std::uint32_t canvasWidth, std::uint32_t canvasHeight,
                                       const AnimationSettings& chosen, const std::atomic<bool>* cancelFlag)
    : width(canvasWidth), height(canvasHeight), settings(chosen), cancel(cancelFlag)
{
    if (!WebPConfigInit(&config))
        return;
    config.lossless = settings.lossless;
    config.quality = static_cast<float>(settings.quality);
    config.method = settings.method;
    config.filter_strength = settings.filterStrength;
    config.filter_sharpness = settings.filterSharpness;
    config.thread_level = settings.threadLevel;
    if (!WebPValidateConfig(&config) || settings.loopCount < 0 || settings.loopCount > 65535) {
        error = "invalid encoder settings";
        return;
    }
    if (width == 0 || height == 0 || width > 16383 || height > 16383) {
        error = "invalid canvas size";
        return;
    }
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        return;
    options.anim_params.loop_count = settings.loopCount;
    options.anim_params.bgcolor = settings.backgroundColor;
    options.allow_mixed = settings.mixed && !settings.lossless ? 1 : 0;
    options.kmin = settings.keyFrameMax > 0 ? settings.keyFrameMin : 0; // kmin 0 disables key frames
    options.kmax = settings.keyFrameMax > 0 ? settings.keyFrameMax : 0;
    canvas = allocZeroed<std::uint32_t>(std::uint64_t(width) * height);
    if (!canvas) {
        error = "out of memory";
        return;
    }
    encoder.reset(WebPAnimEncoderNew(int(width), int(height), &options));
    if (!encoder)
        error = "the animation encoder could not be created";
}

bool AnimationAssembler::add(const FramePixels& frame, int durationMs)
{
    if (!ok() || cancelled() || !frame.data || frame.width == 0 || frame.height == 0)
        return false;
    if (durationMs < 0 || durationMs > kMaxDurationMs || timestampMs + durationMs > INT_MAX) {
        error = "invalid frame duration";
        return false;
    }
    BorrowedPicture borrowed;
    WebPPicture& picture = borrowed.picture;
    picture.use_argb = 1;
    picture.width = int(width);
    picture.height = int(height);
    picture.argb_stride = int(width);
    // A frame that covers the canvas in native order is lent as it is; any other is composed first.
    const std::size_t stride = frame.strideBytes ? frame.strideBytes : std::size_t(frame.width) * 4;
    if (frame.order == PixelOrder::Argb32 && frame.width == width && frame.height == height &&
        stride == std::size_t(width) * 4) {
        picture.argb = static_cast<std::uint32_t*>(const_cast<void*>(frame.data));
    } else {
        ComposeOntoCanvas(frame, canvas.get(), width, height);
        picture.argb = canvas.get();
    }
    picture.progress_hook = stopWhenCancelled;
    picture.user_data = const_cast<std::atomic<bool>*>(cancel);
    if (!WebPAnimEncoderAdd(encoder.get(), &picture, int(timestampMs), &config)) {
        if (!cancelled())
            error = WebPAnimEncoderGetError(encoder.get());
        picture.argb = nullptr; // not libwebp's to free
        return false;
    }
    picture.argb = nullptr;
    timestampMs += durationMs;
    ++added;
    return true;
}

std::vector<std::uint8_t> AnimationAssembler::finish()
{
    if (!ok() || added == 0 || cancelled())
        return {};
    OwnedWebPData assembled;
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, int(timestampMs), nullptr) ||
        !WebPAnimEncoderAssemble(encoder.get(), assembled.get())) {
        error = WebPAnimEncoderGetError(encoder.get());
        return {};
    }
    return {(*assembled).bytes, (*assembled).bytes + (*assembled).size};
}

AnimationResult EncodeAnimation(FrameSource& source, const AnimationSettings& settings,
                                const AnimationProgress& progress, const std::atomic<bool>* cancel)
{
    AnimationResult result;
    AnimationAssembler assembler(source.canvasWidth(), source.canvasHeight(), settings, cancel);
    if (!assembler.ok()) {
        result.error = assembler.errorText();
        return result;
    }
    const int total = source.frameCount();
    int done = 0;
    FrameReadAhead frames(source);
    for (;;) {
        if (assembler.cancelled()) {
            result.cancelled = true;
            return result;
        }
        AnimationFrame frame;
        const FrameSource::Read read = frames.take(frame);
        if (read == FrameSource::Read::End)
            break;
        if (read == FrameSource::Read::Failed) {
            result.error = "a frame could not be read";
            return result;
        }
        if (read == FrameSource::Read::Frame && !assembler.add(frame.view(), frame.durationMs)) {
            result.cancelled = assembler.cancelled();
            result.error = assembler.errorText();
            return result;
        }
        ++done;
        if (progress)
            progress(done, total);
    }
    result.framesEncoded = assembler.framesAdded();
    result.bytes = assembler.finish();
    result.cancelled = assembler.cancelled();
    if (result.bytes.empty() && result.error.empty())
        result.error = assembler.errorText();
    return result;
}

} // namespace quorvanta
