#pragma once
// An animation played with its frames composed ahead: worker threads compose the few frames after the
// one on show while it shows, in the layout the screen paints directly. Frames stay in a cache of
// bounded size as they are shown, so that an animation whose frames all fit costs no decode after its
// first pass. Frames that stand alone (viewing/StandaloneFrames.h) are decoded by both workers at once,
// straight into their buffers; the others are composed in order on the canvas, one at a time.
//
// A frame has one owner at a time: the cache, or the caller while it is on show. The caller takes a
// frame's pixels as they are (no copy) and gives the frame back when the next one replaces it.
//
// It is itself a PlayableAnimation over the one it owns, so that whoever only asks about the
// animation (its canvas, durations, a frame drawn into a buffer of its own) need not know of it.

#include "core/DisplayBuffer.h"
#include "core/PlayableAnimation.h"
#include "viewing/NativePixels.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace quorvanta {

// A composed frame as the screen takes it: one native 32-bit word a pixel, 0xAARRGGBB premultiplied
// by alpha (B,G,R,A bytes on a little-endian machine), rows of frameWidth x 4 bytes.
struct ComposedFrame {
    OwnedBytes pixels;
    std::int32_t number = 0;
    std::int32_t duration = 0; // milliseconds, as the file gives them
    bool whole = false;        // every frame it builds on decoded
    bool opaque = false;       // every pixel's alpha is 255
    // Names the frames and the state they were made in: frames of another animation, or made before
    // forgetFrames(), are not kept again.
    std::uint64_t generation = 0;

    explicit operator bool() const { return static_cast<bool>(pixels); }
};


class StandaloneFrames;

class FramesAhead final : public PlayableAnimation {
public:
    // Worker: frames are composed ahead on threads of their own. Inline: only when asked for, on the
    // caller's thread (composed frames are kept all the same).
    enum class Threads { Worker, Inline };

    // How frame() answered.
    enum class Answer {
        Ready,       // composed ahead: shown at once
        ComposedNow, // not ready, composed at once: no clock runs against it (stopped, a seek, the
                     // first frame on show, or inline)
        Earlier,     // not ready while the clock runs: the newest frame composed since the one on
                     // show stands in, late rather than never, and the clock keeps its time
        KeptOnShow,  // not ready while the clock runs and nothing newer is composed: the frame on
                     // show stays; waiting would make the clock late for every frame after it
        Missing,     // no such frame
    };
    struct Shown {
        Answer answer = Answer::Missing;
        ComposedFrame frame; // the caller's until it gives it back; empty for KeptOnShow and Missing
    };

    // The bytes of composed frames kept: the smaller of 96 MiB and a quarter of the decode budget.
    // Enough for a few seconds of small animations; of a 1080p animation (8 MiB a frame) a dozen frames
    // are kept, so that playing it costs a fraction of the memory of keeping every frame.
    static std::uint64_t defaultCacheBytes();
    // Frames composed ahead of the one asked for: enough that a late decode seldom shows, few enough
    // that starting an animation costs little memory.
    static constexpr std::int32_t kAhead = 3;
    static constexpr int kWorkers = 2;
    // How far back a canvas fallen behind looks for a frame that stands alone, to start again there.
    static constexpr std::int32_t kStandaloneSearch = 256;

    // At least one frame is kept whatever `cacheBytes` says. Frames are kept reduced by `reduction`
    // when it is 2 or more (a canvas larger than the screen can ever show): frameWidth() x frameHeight().
    FramesAhead(std::unique_ptr<PlayableAnimation> animation, Threads threads,
                std::uint64_t cacheBytes = defaultCacheBytes(), std::uint32_t reduction = 1);
    ~FramesAhead() override;
    FramesAhead(const FramesAhead&) = delete;
    FramesAhead& operator=(const FramesAhead&) = delete;

    // Frame `number` for the screen; `clockRunning` when a playback clock asks for it at its deadline.
    // The kAhead frames after it are then composed ahead. The frame handed out is the caller's until
    // giveBack().
    Shown frame(std::int32_t number, bool clockRunning);
    // Frame `number` if it is composed and kept (Ready), else nothing (Missing); never composes.
    Shown frameIfKept(std::int32_t number);
    // `kept` is called on a worker thread with the number of each frame it has composed and kept, so
    // that a frame late for its deadline can be shown as soon as it is there. It must only hand the
    // news on (it runs under the frames' lock).
    void onKept(std::function<void(std::int32_t)> kept);
    // A frame handed out, back from the caller once another replaced it: kept while it fits (over the
    // budget the frames that come round last go first), its buffer reused otherwise.
    void giveBack(ComposedFrame frame);
    // Drops every frame composed so far (the animation now draws its frames otherwise); frames being
    // composed now are not kept, nor is a frame given back that was made before.
    void forgetFrames();
    // Runs `change` on the animation while no frame is composed from it; when it tells that the frames
    // now look otherwise (true), forgets them.
    template <class Change>
    bool changeAnimation(Change&& change)
    {
        bool changed = false;
        {
            std::lock_guard hold(animationLock);
            changed = change(*animation);
        }
        if (changed)
            forgetFrames();
        return changed;
    }

    // Frames the cache can hold, frames it holds, decodes made (composed frames, by either thread).
    std::int32_t capacity() const { return framesKept; }
    std::int32_t cachedFrames() const;
    std::uint64_t composedCount() const;
    // Blocks until the worker has nothing left to compose (for tests and benchmarks; at once inline).
    void waitUntilIdle();

    std::uint32_t frameWidth() const { return keptWidth; }
    std::uint32_t frameHeight() const { return keptHeight; }

    std::uint32_t canvasWidth() const override { return width; }
    std::uint32_t canvasHeight() const override { return height; }
    std::uint32_t loopCount() const override { return loops; }
    std::uint32_t backgroundColor() const override { return background; }
    std::int32_t frameCount() const override;
    bool show(std::int32_t number, DisplayBuffer& canvas) override;
    std::int32_t frameDuration(std::int32_t number) const override;

private:
    void work();
    // The next frame of the window a worker may take; 0 when none (state lock held for all four).
    std::int32_t nextToCompose() const;
    std::int32_t window() const;
    bool inWindow(std::int32_t number) const;
    bool standsAlone(std::int32_t number) const;
    // `scratch` and `fragment`: buffers of the composing thread, kept from frame to frame.
    ComposedFrame compose(std::int32_t number, OwnedBytes& scratch, OwnedBytes& fragment);
    bool decodeStandalone(std::int32_t number, ComposedFrame& frame, OwnedBytes& scratch);
    Shown handOut(std::map<std::int32_t, ComposedFrame>::iterator it, Answer answer); // (state lock held)
    void replaced(std::int32_t number);                                // (state lock held)
    void keep(ComposedFrame frame);                                    // (state lock held)
    void prune();                                                      // (state lock held)
    void letGo(std::map<std::int32_t, ComposedFrame>::iterator it);    // (state lock held)
    void recycle(OwnedBytes pixels);                                   // (state lock held)
    OwnedBytes frameBuffer(std::uint64_t bytes);

    std::unique_ptr<PlayableAnimation> animation; // touched only under animationLock
    StandaloneFrames* direct = nullptr;           // the animation, when its frames decode apart
    std::uint32_t width = 0, height = 0, loops = 0, background = 0;
    std::uint32_t reduction = 1, keptWidth = 0, keptHeight = 0;
    std::int32_t framesKept = 1;
    const Threads threads;

    std::mutex animationLock; // held while a frame is composed
    DisplayBuffer canvas;     // the animation composes here, frame after frame

    mutable std::mutex stateLock;
    std::condition_variable changed;
    std::map<std::int32_t, ComposedFrame> kept;
    std::vector<OwnedBytes> spare; // buffers of frames let go, for the next frames (no new pages)
    std::vector<std::int32_t> durations; // the animation's, updated as frames are composed
    std::int32_t count = 0;              // frames, which may fall when a damaged file ends early
    std::int32_t wanted = 0;             // the frame asked for last: the window starts there (0: none yet)
    std::int32_t onShow = 0;             // the frame last handed out (0: none yet)
    std::int32_t held = 0;               // the frame the caller holds, not given back yet (0: none)
    std::int32_t returning = 0;          // the frame the caller held before, on its way back (0: none)
    std::uint64_t generation = 0;        // unique to these frames, a new one from forgetFrames()
    std::set<std::int32_t> composing;    // the frames the workers compose now
    std::set<std::int32_t> onCanvas;     // those of them drawn on the canvas
    std::int32_t asked = 0;              // the frame the caller composes now
    std::int32_t canvasAt = 0;           // the last frame taken to be drawn on the canvas (0: none)
    OwnedBytes callerScratch, callerFragment; // the caller's buffers for compose()
    std::uint64_t composedFrames = 0;
    bool stopping = false;
    std::function<void(std::int32_t)> keptCallback;
    std::vector<std::thread> workers;
};

} // namespace quorvanta
