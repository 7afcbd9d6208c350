// Fuzzes the animated GIF reader: the walk through the records, the budget check, and every frame
// composed with its disposal, cut to the screen, interlaced or not. Every canvas handed out is read
// back so the sanitizers see a short buffer, and the reader's promises are checked.

#include "core/DecodeBudget.h"
#include "import/GifReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Enough frames to reach the disposals of later frames without making one input slow.
constexpr int kMaxFrames = 64;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Canvases of a few megapixels at most: larger ones are refused the same way, only sooner.
    quorvanta::SetDecodeBudgetMiB(48);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvanta;
    GifAnimationReader reader(std::span<const std::uint8_t>(data, size));
    if (!reader.ok()) {
        AnimationFrame frame;
        if (reader.next(frame) != FrameSource::Read::End)
            std::abort();
        return 0;
    }
    if (reader.loopCount() < 0 || reader.loopCount() > 65535 || !reader.refusal().empty())
        std::abort();
    int read = 0;
    for (; read < kMaxFrames; ++read) {
        AnimationFrame frame;
        const FrameSource::Read result = reader.next(frame);
        if (result != FrameSource::Read::Frame)
            break;
        if (frame.width != reader.canvasWidth() || frame.height != reader.canvasHeight() || !frame.pixels ||
            frame.durationMs < 20)
            std::abort();
        std::uint32_t sum = 0;
        for (std::uint64_t i = 0; i < std::uint64_t(frame.width) * frame.height; ++i)
            sum += frame.pixels[i];
        volatile std::uint32_t sink = sum;
        (void)sink;
    }
    if (read > reader.frameCount() || (read < reader.frameCount() && read < kMaxFrames && !reader.damaged()))
        std::abort();
    return 0;
}
