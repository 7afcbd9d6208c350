#include "viewing/FramesAhead.h"

#include "core/DecodeBudget.h"
#include "viewing/StandaloneFrames.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace quorvanta {

namespace {

// A value no other frames had: frames are told apart by it across animations.
std::uint64_t newGeneration()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

// How far `to` lies after `from` when playback runs round the `count` frames.
std::int32_t stepsAfter(std::int32_t from, std::int32_t to, std::int32_t count)
{
    return count > 0 ? ((to - from) % count + count) % count : 0;
}

} // namespace

std::uint64_t FramesAhead::defaultCacheBytes()
{
    return std::min<std::uint64_t>(96 * kMiB, DecodeBudgetBytes() / 4);
}

FramesAhead::FramesAhead(std::unique_ptr<PlayableAnimation> played, Threads threads, std::uint64_t cacheBytes,
                         std::uint32_t reducedBy)
    : animation(std::move(played)), threads(threads), generation(newGeneration())
{
    direct = dynamic_cast<StandaloneFrames*>(animation.get());
    width = animation->canvasWidth();
    height = animation->canvasHeight();
    reduction = reducedBy >= 2 && width / reducedBy >= 1 && height / reducedBy >= 1 ? reducedBy : 1;
    keptWidth = width / reduction;
    keptHeight = height / reduction;
    loops = animation->loopCount();
    background = animation->backgroundColor();
    count = std::max(animation->frameCount(), 0);
    durations.resize(static_cast<std::size_t>(count));
    for (std::int32_t n = 1; n <= count; ++n)
        durations[static_cast<std::size_t>(n - 1)] = animation->frameDuration(n);
    const auto frameBytes = checkedMul(keptWidth, keptHeight, 4);
    if (frameBytes && *frameBytes > 0)
        framesKept = static_cast<std::int32_t>(std::clamp<std::uint64_t>(
            cacheBytes / *frameBytes, 1, std::numeric_limits<std::int32_t>::max()));
    if (threads == Threads::Worker)
        for (int i = 0; i < kWorkers; ++i)
            workers.emplace_back([this] { work(); });
}

FramesAhead::~FramesAhead()
{
    {
        std::lock_guard lock(stateLock);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

std::int32_t FramesAhead::window() const
{
    return std::min({kAhead + 1, framesKept, count});
}

bool FramesAhead::inWindow(std::int32_t number) const
{
    return stepsAfter(wanted, number, count) < window();
}

bool FramesAhead::standsAlone(std::int32_t number) const
{
    return direct && direct->standsAlone(number);
}

std::int32_t FramesAhead::nextToCompose() const
{
    if (threads == Threads::Inline || stopping || count == 0 || wanted == 0)
        return 0;
    // A frame drawn on the canvas needs every frame since the last that stands alone drawn first.
    // When the canvas has fallen behind the frame wanted, it goes on from where it is (or from the
    // latest frame that stands alone, when one lies between), the frames taken in order so that both
    // workers decode their bitstreams: starting over at the frame wanted would draw all those frames
    // on one thread. The frames drawn late are shown late, rather than never.
    std::int32_t from = wanted;
    if (direct && canvasAt != 0 && canvasAt != wanted && stepsAfter(wanted, canvasAt, count) >= window()) {
        from = canvasAt % count + 1;
        for (std::int32_t k = wanted, looked = 0; k != canvasAt && looked < kStandaloneSearch; ++looked) {
            if (standsAlone(k)) {
                from = k;
                break;
            }
            k = k > 1 ? k - 1 : count;
        }
    }
    const std::int32_t catchUp = stepsAfter(from, wanted, count);
    for (std::int32_t step = 0; step < catchUp + window(); ++step) {
        const std::int32_t n = (from - 1 + step) % count + 1;
        if (kept.contains(n) || composing.contains(n) || n == asked || n == held || n == returning)
            continue;
        if (step < catchUp && standsAlone(n))
            continue; // passed already, and not needed by the frames after it
        // Frames drawn on the canvas are taken in order, so that each builds on the one before. When
        // their bitstreams decode apart, both workers take them (each decodes its own, then waits for
        // the canvas to show the frame before); otherwise one at a time.
        if (standsAlone(n) || direct || onCanvas.empty())
            return n;
    }
    return 0;
}

void FramesAhead::work()
{
    OwnedBytes scratch, fragment;
    std::unique_lock lock(stateLock);
    for (;;) {
        changed.wait(lock, [this] { return stopping || nextToCompose() != 0; });
        if (stopping)
            return;
        const std::int32_t n = nextToCompose();
        const bool canvasFrame = !standsAlone(n);
        composing.insert(n);
        if (canvasFrame) {
            onCanvas.insert(n);
            canvasAt = n;
        }
        const std::uint64_t startedIn = generation;
        lock.unlock();
        ComposedFrame composed = compose(n, scratch, fragment);
        lock.lock();
        composing.erase(n);
        onCanvas.erase(n);
        if (composed && composed.generation == startedIn) {
            keep(std::move(composed));
            if (keptCallback && kept.contains(n))
                keptCallback(n);
        }
        else if (composed)
            recycle(std::move(composed.pixels));
        else if (n <= count)
            stopping = true; // no memory for a frame: compose nothing more ahead
        changed.notify_all();
    }
}

bool FramesAhead::decodeStandalone(std::int32_t number, ComposedFrame& frame, OwnedBytes& scratch)
{
    bool hasAlpha = true;
    if (reduction == 1) {
        if (!direct->decodeStandalone(number, frame.pixels.data.get(), width * 4, frame.pixels.size, hasAlpha))
            return false;
    } else {
        // Decoded whole into a buffer of this thread's, then reduced into the frame.
        ensureDisplayBuffer(scratch, width, height);
        if (!scratch || !direct->decodeStandalone(number, scratch.data.get(), width * 4, scratch.size, hasAlpha))
            return false;
        reduceNative(reinterpret_cast<const std::uint32_t*>(scratch.data.get()), width, height, reduction,
                     reinterpret_cast<std::uint32_t*>(frame.pixels.data.get()));
    }
    // A frame with an alpha channel is often opaque all the same; drawn as such it costs no blending.
    frame.opaque = !hasAlpha || allOpaque(reinterpret_cast<const std::uint32_t*>(frame.pixels.data.get()),
                                          std::uint64_t{keptWidth} * keptHeight);
    frame.whole = true;
    return true;
}

ComposedFrame FramesAhead::compose(std::int32_t number, OwnedBytes& scratch, OwnedBytes& fragment)
{
    const auto bytes = checkedMul(keptWidth, keptHeight, 4);
    std::uint64_t madeIn = 0;
    {
        std::lock_guard lock(stateLock);
        madeIn = generation;
    }
    if (standsAlone(number) && bytes) {
        ComposedFrame frame;
        frame.pixels = frameBuffer(*bytes);
        if (!frame.pixels)
            return {};
        if (decodeStandalone(number, frame, scratch)) {
            std::lock_guard lock(stateLock);
            ++composedFrames;
            frame.number = number;
            frame.duration = number <= count ? durations[static_cast<std::size_t>(number - 1)] : 0;
            frame.generation = madeIn;
            return frame;
        }
        // A damaged frame is drawn on the canvas, which shows what of it could be decoded.
        std::lock_guard lock(stateLock);
        recycle(std::move(frame.pixels));
    }
    // The frame's own bitstream is decoded before the canvas is waited for, while the frame before
    // is laid on it.
    const bool decoded = direct && direct->decodeFragment(number, fragment);
    {
        std::unique_lock lock(stateLock);
        const std::int32_t before = number > 1 ? number - 1 : count;
        changed.wait(lock, [&] { return stopping || (!onCanvas.contains(before) && asked != before); });
    }
    std::lock_guard hold(animationLock);
    const bool whole = decoded ? direct->showDecoded(number, fragment, canvas) : animation->show(number, canvas);
    const std::int32_t frames = std::max(animation->frameCount(), 0);
    const std::int32_t duration = animation->frameDuration(number);
    {
        std::lock_guard lock(stateLock);
        count = std::min(count, frames);
        if (number <= count)
            durations[static_cast<std::size_t>(number - 1)] = duration;
        ++composedFrames;
    }
    const auto canvasBytes = checkedMul(width, height, 4);
    if (number > frames || !bytes || !canvasBytes || !canvas || canvas.size < *canvasBytes)
        return {};
    ComposedFrame frame;
    frame.pixels = frameBuffer(*bytes);
    if (!frame.pixels)
        return {};
    auto* out = reinterpret_cast<std::uint32_t*>(frame.pixels.data.get());
    frame.opaque = reduction > 1 ? reduceToNative(canvas.data.get(), width, height, reduction, out)
                                 : premultiplyToNative(canvas.data.get(), out, std::uint64_t{width} * height);
    frame.number = number;
    frame.duration = duration;
    frame.whole = whole;
    frame.generation = madeIn;
    return frame;
}

OwnedBytes FramesAhead::frameBuffer(std::uint64_t bytes)
{
    {
        std::lock_guard lock(stateLock);
        while (!spare.empty()) {
            OwnedBytes reused = std::move(spare.back());
            spare.pop_back();
            if (reused.size == bytes)
                return reused;
        }
    }
    OwnedBytes fresh;
    fresh.data = allocZeroed<std::uint8_t>(bytes);
    fresh.size = fresh.data ? bytes : 0;
    return fresh;
}

void FramesAhead::recycle(OwnedBytes pixels)
{
    // Two buffers at most are kept for the frames to come (no new pages for them).
    if (pixels && spare.size() < 2)
        spare.push_back(std::move(pixels));
}

void FramesAhead::letGo(std::map<std::int32_t, ComposedFrame>::iterator it)
{
    recycle(std::move(it->second.pixels));
    kept.erase(it);
}

void FramesAhead::keep(ComposedFrame frame)
{
    if (frame.number < 1 || frame.number > count || frame.number == held) {
        recycle(std::move(frame.pixels));
        return;
    }
    const std::int32_t number = frame.number;
    if (auto it = kept.find(number); it != kept.end())
        letGo(it);
    kept.emplace(number, std::move(frame));
    prune();
}

void FramesAhead::prune()
{
    // Over capacity the frames furthest behind the one wanted go first (they come round last); those
    // of the window ahead stay, and so do frames drawn late, between the one on show and the one
    // wanted, which are shown next.
    const std::int32_t lateSpan = onShow != 0 ? stepsAfter(onShow, wanted, count) : 0;
    auto late = [&](std::int32_t n) {
        const std::int32_t steps = stepsAfter(onShow, n, count);
        return steps > 0 && steps < lateSpan;
    };
    while (static_cast<std::int32_t>(kept.size()) > framesKept) {
        auto furthest = kept.end();
        for (auto it = kept.begin(); it != kept.end(); ++it)
            if (!inWindow(it->first) && !late(it->first) &&
                (furthest == kept.end() ||
                 stepsAfter(wanted, it->first, count) > stepsAfter(wanted, furthest->first, count)))
                furthest = it;
        if (furthest == kept.end())
            return;
        letGo(furthest);
    }
}

FramesAhead::Shown FramesAhead::handOut(std::map<std::int32_t, ComposedFrame>::iterator it, Answer answer)
{
    // A kept frame leaves the cache until it is given back.
    Shown shown{answer, std::move(it->second)};
    kept.erase(it);
    replaced(shown.frame.number);
    return shown;
}

void FramesAhead::replaced(std::int32_t number)
{
    // The frame the caller held comes back once the new one is on show: not composed meanwhile.
    if (held != number)
        returning = held;
    onShow = held = number;
}

void FramesAhead::giveBack(ComposedFrame frame)
{
    std::lock_guard lock(stateLock);
    if (frame.generation != generation) {
        recycle(std::move(frame.pixels)); // reused only if it has a frame's size
        return;
    }
    // (The caller holds `held` still: a frame of that number given back is a copy, not kept.)
    if (frame.number == returning)
        returning = 0;
    if (frame)
        keep(std::move(frame));
    else
        recycle(std::move(frame.pixels));
    changed.notify_all();
}

void FramesAhead::forgetFrames()
{
    std::lock_guard lock(stateLock);
    generation = newGeneration();
    held = returning = 0; // the caller's frames, made before, are not taken back
    while (!kept.empty())
        letGo(kept.begin());
    changed.notify_all();
}

FramesAhead::Shown FramesAhead::frame(std::int32_t number, bool clockRunning)
{
    std::unique_lock lock(stateLock);
    if (number < 1 || number > count)
        return {};
    wanted = number;
    changed.notify_all();
    if (auto it = kept.find(number); it != kept.end())
        return handOut(it, Answer::Ready);
    if (threads == Threads::Worker && clockRunning && onShow != 0) {
        auto newest = kept.end();
        const std::int32_t ahead = stepsAfter(onShow, number, count);
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            const std::int32_t steps = stepsAfter(onShow, it->first, count);
            if (steps > 0 && steps < ahead && (newest == kept.end() || steps > stepsAfter(onShow, newest->first, count)))
                newest = it;
        }
        if (newest == kept.end())
            return {Answer::KeptOnShow, {}};
        return handOut(newest, Answer::Earlier);
    }
    // A worker may be at this very frame: waiting for it costs no more than composing it here.
    changed.wait(lock, [&] { return !composing.contains(number); });
    if (auto it = kept.find(number); it != kept.end())
        return handOut(it, Answer::ComposedNow);
    asked = number;
    if (!standsAlone(number))
        canvasAt = number;
    lock.unlock();
    ComposedFrame composed = compose(number, callerScratch, callerFragment);
    lock.lock();
    asked = 0;
    changed.notify_all();
    if (!composed || number > count) {
        recycle(std::move(composed.pixels));
        return {};
    }
    replaced(number);
    return {Answer::ComposedNow, std::move(composed)};
}

FramesAhead::Shown FramesAhead::frameIfKept(std::int32_t number)
{
    std::lock_guard lock(stateLock);
    auto it = kept.find(number);
    return it == kept.end() ? Shown{} : handOut(it, Answer::Ready);
}

void FramesAhead::onKept(std::function<void(std::int32_t)> kept)
{
    std::lock_guard lock(stateLock);
    keptCallback = std::move(kept);
}

std::int32_t FramesAhead::cachedFrames() const
{
    std::lock_guard lock(stateLock);
    return static_cast<std::int32_t>(kept.size());
}

std::uint64_t FramesAhead::composedCount() const
{
    std::lock_guard lock(stateLock);
    return composedFrames;
}

void FramesAhead::waitUntilIdle()
{
    std::unique_lock lock(stateLock);
    changed.wait(lock, [this] { return stopping || (composing.empty() && nextToCompose() == 0); });
}

std::int32_t FramesAhead::frameCount() const
{
    std::lock_guard lock(stateLock);
    return count;
}

std::int32_t FramesAhead::frameDuration(std::int32_t number) const
{
    std::lock_guard lock(stateLock);
    return number >= 1 && number <= count ? durations[static_cast<std::size_t>(number - 1)] : 0;
}

bool FramesAhead::show(std::int32_t number, DisplayBuffer& out)
{
    std::lock_guard hold(animationLock);
    const bool shown = animation->show(number, out);
    std::lock_guard lock(stateLock);
    count = std::min(count, std::max(animation->frameCount(), 0));
    return shown;
}

} // namespace quorvanta
