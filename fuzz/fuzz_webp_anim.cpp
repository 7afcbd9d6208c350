// Fuzzes the animated WebP path: demuxing the frame table, then composing frames onto a canvas in
// order, in an order drawn from the input itself (as the slider jumps), and into a second canvas (as
// after a new display buffer). Every canvas byte is read back so the sanitizers see stray writes.

#include "core/Buffer.h"
#include "viewing/AnimationState.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <algorithm>
#include <random>

namespace {

// Canvases larger than this are demuxed but not composed (a 16383 x 16383 canvas is 1 GiB).
constexpr std::uint64_t kMaxFuzzPixels = 4u << 20;
// Enough frame draws to reach deep into the composition without making one input slow.
constexpr int kMaxSteps = 48;

void touch(const std::uint8_t* canvas, std::uint64_t size)
{
    std::uint32_t sum = 0;
    for (std::uint64_t i = 0; i < size; ++i)
        sum += canvas[i];
    volatile std::uint32_t sink = sum;
    (void)sink;
}

// A seed made from the bytes, so a crash replays with the same frame order.
std::uint32_t seedOf(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvanta;
    // The state keeps its own copy alive; the fuzzer's buffer is only lent for this call.
    const auto copy = std::make_shared<std::uint8_t[]>(size ? size : 1);
    std::copy(data, data + size, copy.get());
    auto opened = AnimationState::open(copy, size);
    if (!opened)
        return 0;
    const std::unique_ptr<AnimationState> animation = std::move(opened).value();
    const std::int32_t count = animation->frameCount();
    if (count < 1)
        std::abort();
    for (std::int32_t n = 1; n <= count; ++n)
        if (animation->keyFrameFor(n) < 1 || animation->keyFrameFor(n) > n)
            std::abort();
    const auto bytes = checkedMul(animation->canvasWidth(), animation->canvasHeight(), 4);
    if (!bytes || *bytes == 0 || *bytes / 4 > kMaxFuzzPixels)
        return 0;
    Buffer<std::uint8_t> canvas = allocZeroed<std::uint8_t>(*bytes);
    Buffer<std::uint8_t> other = allocZeroed<std::uint8_t>(*bytes);
    if (!canvas || !other)
        return 0;

    int steps = 0;
    for (std::int32_t n = 1; n <= count && steps < kMaxSteps / 2; ++n, ++steps)
        animation->compose(n, canvas.get());
    touch(canvas.get(), *bytes);

    std::minstd_rand random(seedOf(data, size));
    std::uniform_int_distribution<std::int32_t> pick(0, count + 1); // one outside each end too
    for (; steps < kMaxSteps; ++steps) {
        std::uint8_t* target = random() % 4 == 0 ? other.get() : canvas.get();
        animation->compose(pick(random), target);
    }
    touch(canvas.get(), *bytes);
    touch(other.get(), *bytes);
    return 0;
}
