#pragma once
// An encoding run as a job: the work (a still picture, an animation) is handed a progress sink and a
// stop flag, runs off the GUI thread when the picture object has a worker runner, and comes back with
// what it wrote or why it did not. Nothing here knows what is encoded.

#include "core/Failure.h"
#include "pictureview/BusyPointer.h"

#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorvanta {

// What an encoding wrote.
struct Saved {
    std::string path;
    std::uint64_t bytes = 0;
    int frames = 0; // 0 for a still picture
    std::chrono::milliseconds elapsed{0};
    std::string note; // said after the rest, e.g. how a target size was met
};

// "75.6 KB": bytes in units of 1000.
std::string sizeText(std::uint64_t bytes);

// "Saved photo.webp, 75.6 KB, 3.2 s"; an animation names its frames: "Saved anim.webp, 12 frames, ...".
std::string savedMessage(const Saved& saved);

// The progress of one encoding in percent, from what its encoder reports: libwebp's percentage of the
// picture in hand and, for an animation, the frames done, so that the bar moves through each frame in
// turn. Never goes back. Used on the thread that encodes.
class EncodeProgress {
public:
    using Sink = std::function<void(int percent)>;

    explicit EncodeProgress(Sink sink) : sink(std::move(sink)) {}

    // libwebp's percentage of the picture (or frame) being encoded.
    void percent(int percent);
    // `done` of `total` frames are finished; the next percentages are those of the frame after them.
    void frames(int done, int total);

private:
    void show();

    Sink sink;
    int framesDone = 0;
    int framesTotal = 0;
    int current = 0;
    int shown = -1;
};

// The work of an encoding: asks `stop` between steps (or hands it to libwebp) and reports to `progress`.
using EncodeWork = std::function<Result<Saved>(EncodeProgress& progress, const std::atomic<bool>& stop)>;

// The work wrapped for a job: timed, with its progress going to `sink`.
std::function<Result<Saved>()> encodeJob(EncodeWork work, std::shared_ptr<std::atomic<bool>> stop,
                                         EncodeProgress::Sink sink);

// The state of the encoding that runs, while it runs (owned by the picture object).
struct RunningEncode {
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::string target;
    bool holdsImport = false; // the imported picture is lent to the encoder
    // Cancelled, and the window already told so: the worker is still inside a stage of libwebp that
    // does not look at the stop flag, and its result is dropped when it comes.
    bool released = false;
    // The progress a worker thread leaves for the GUI thread, which shows it on a timer.
    std::shared_ptr<std::atomic<int>> percent = std::make_shared<std::atomic<int>>(0);
    std::unique_ptr<QTimer> poll;
    std::optional<BusyPointer> busy; // only while the event loop waits for the encoding
};

// For tests: called on the thread that encodes with each percentage before it is shown, so that a test
// can make an encoding slow. Empty by default; set it only while no encoding runs.
void setEncodeProgressProbe(std::function<void(int percent)> probe);

} // namespace quorvanta
