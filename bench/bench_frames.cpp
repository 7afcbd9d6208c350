// Animation frames: the cost of a frame step and of a random seek against libwebp's WebPAnimDecoder on
// files of 30, 300 and 3000 frames; the presentation times of a 33 ms animation played by the real
// clock in the real event loop; and the cost of a clock tick in image directory playback.
//
//   bench_frames --corpus DIR

#include "viewkit.h"

#include "viewing/PlaybackClock.h"

#include <QApplication>
#include <QEventLoop>
#include <QImageReader>
#include <QTimer>

#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace bench;
using quorvanta::MethodId;
using quorvanta::PictureView;

namespace {

// Times every event delivery that runs a clock tick: the tick's whole cost as the event loop sees it.
// Also notes when the picture object is painted.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool outermost = depth == 0;
        const auto start = Clock::now();
        if (receiver == watched && event->type() == QEvent::Paint)
            paints.push_back(start);
        if (outermost)
            tickInThisDelivery = false;
        ++depth;
        const bool result = QApplication::notify(receiver, event);
        --depth;
        if (outermost && tickInThisDelivery)
            tickCosts.push_back(msBetween(start, Clock::now()));
        return result;
    }

    // Called by the view's methodReceived for a tick or a frame shown by the clock.
    void markTick() { tickInThisDelivery = true; }

    void watch(QObject* view)
    {
        watched = view;
        paints.clear();
        tickCosts.clear();
    }

    std::vector<Clock::time_point> paints;
    std::vector<double> tickCosts;

private:
    QObject* watched = nullptr;
    int depth = 0;
    bool tickInThisDelivery = false;
};

TimingApplication* timingApp() { return static_cast<TimingApplication*>(QCoreApplication::instance()); }

// Runs the event loop until `done` says so, asked each time the view receives a command, or until the
// time is up. No timer runs meanwhile but the one that ends a stalled run.
template <class F>
void runLoopUntil(PictureView& view, F&& done, int timeoutMs)
{
    QEventLoop loop;
    const QMetaObject::Connection check =
        QObject::connect(&view, &PictureView::methodReceived, &loop, [&] {
            if (done())
                loop.quit();
        });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(check);
}

// ---- frame step -------------------------------------------------------------------------------------

struct AnimCase {
    std::string label;
    std::string file;
    int passes;    // sequential passes over every frame
    int refSeeks;  // seeks timed on the reference (it decodes from the start)
    bool lossless; // canvases must be identical to the reference
};

double stepCase(const AnimCase& c)
{
    progress("frame step " + c.label);
    AnimReference reference;
    PictureView view;
    if (!reference.open(readFile(c.file))) {
        Row missing("frame step", c.label, kNone, "corpus file missing", kNone);
        missing.wrong = true;
        emit(missing);
        return kNone;
    }
    const int frames = static_cast<int>(reference.info.frame_count);
    const int width = static_cast<int>(reference.info.canvas_width);
    const int height = static_cast<int>(reference.info.canvas_height);
    view.send(MethodId::Load, c.file);
    const bool animated = view.state().mode == quorvanta::Mode::Animated && view.state().frameCount == frames;

    // The canvases of the first frames (every one of a short file), then some seeks, against libwebp's.
    PixelDifference worst;
    int checked = 0;
    auto account = [&](const PixelDifference& difference) {
        ++checked;
        const bool mismatch = worst.sizeMismatch || difference.sizeMismatch;
        if (difference.meanAbsDifference > worst.meanAbsDifference ||
            difference.pixelsDiffering > worst.pixelsDiffering)
            worst = difference;
        worst.sizeMismatch = mismatch;
    };
    reference.reset();
    for (int frame = 1; frame <= std::min(frames, 60); ++frame) {
        const std::uint8_t* canvas = reference.next();
        view.send(MethodId::ShowAnimFrame, frame);
        if (canvas)
            account(compareDisplay(view, canvas, width, height));
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(1, frames);
    std::vector<int> seeks(40);
    for (int& target : seeks)
        target = pick(random);
    for (int i = 0; i < std::min(5, c.refSeeks); ++i) {
        view.send(MethodId::GotoFrame, seeks[static_cast<std::size_t>(i)]);
        if (const std::uint8_t* canvas = reference.seek(seeks[static_cast<std::size_t>(i)]))
            account(compareDisplay(view, canvas, width, height));
    }

    // Sequential playback, pass by pass, ours and the reference taking turns.
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int pass = 0; pass < c.passes; ++pass) {
        for (int frame = 1; frame <= frames; ++frame) {
            const auto t0 = Clock::now();
            view.send(MethodId::ShowAnimFrame, frame);
            ours.push_back(msBetween(t0, Clock::now()));
        }
        reference.reset();
        for (int frame = 1; frame <= frames; ++frame) {
            const auto t0 = Clock::now();
            reference.next();
            theirs.push_back(msBetween(t0, Clock::now()));
        }
    }
    Row step("frame step: sequential, per frame", c.label, median(ours), "WebPAnimDecoderGetNext", median(theirs));
    step.ratioLimit = 1.1;
    step.target = "<= 1.1x";
    step.wrong = !animated || worst.sizeMismatch || (c.lossless ? !worst.identical() : worst.meanAbsDifference > 6.0);
    step.note = std::string(animated ? "" : "not opened as an animation; ") + std::to_string(checked) +
                " canvases checked: " + worst.describe() +
                (c.lossless ? "" : " (lossy: the reference filters and upsamples smoothly)");
    emit(step);

    // Random seeks through the slider's command; the reference can only decode from the start.
    std::vector<double> oursSeek;
    for (const int target : seeks) {
        const auto t0 = Clock::now();
        view.send(MethodId::GotoFrame, target);
        oursSeek.push_back(msBetween(t0, Clock::now()));
    }
    std::vector<double> theirsSeek;
    for (int i = 0; i < c.refSeeks; ++i) {
        const auto t0 = Clock::now();
        reference.seek(seeks[static_cast<std::size_t>(i)]);
        theirsSeek.push_back(msBetween(t0, Clock::now()));
    }
    Row seek("frame step: random seek (GotoFrame)", c.label, median(oursSeek), "WebPAnimDecoder reset + decode to n",
             median(theirsSeek));
    seek.note = "ours: median of 40 seeks; reference: first " + std::to_string(c.refSeeks) + " of them";
    emit(seek);
    return median(ours);
}

void frameStep(const std::string& corpus)
{
    const std::string anim = corpus + "/anim/";
    const double perFrame30 = stepCase({"30 frames 320x240 lossy", anim + "step30.webp", 10, 20, false});
    stepCase({"300 frames 320x240 lossy", anim + "step300.webp", 2, 10, false});
    const double perFrame3000 = stepCase({"3000 frames 320x240 lossy", anim + "step3000.webp", 1, 3, false});
    stepCase({"30 frames 320x240 lossless alpha", anim + "alpha30_lossless.webp", 10, 20, true});
    Row growth("frame step: growth with file length", "3000 vs 30 frames", perFrame3000, "ours on the 30-frame file",
               perFrame30);
    growth.ratioLimit = 1.2;
    growth.target = "<= 1.2x (flat)";
    emit(growth);
}

// A picture object with the settings a playing view reads: the frame duration field's value.
struct PlayingView {
    PlayingView(int frameDurationMs, int width, int height)
    {
        settings.frameDurationMs = frameDurationMs;
        view.setSettings(&settings);
        view.resize(width, height);
    }

    FixedSettings settings;
    PictureView view;
};

// ---- playback timing --------------------------------------------------------------------------------

// How late a bare precise Qt timer of 33 ms wakes on this machine right now: the floor under any
// presentation error of a clock built on it.
double bareTimerLatenessMs()
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    std::vector<double> lateness;
    Clock::time_point armed = Clock::now();
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const Clock::time_point now = Clock::now();
        lateness.push_back(msBetween(armed, now) - 33.0);
        if (lateness.size() >= 60) {
            loop.quit();
            return;
        }
        armed = now;
        timer.start(33);
    });
    timer.start(33);
    loop.exec();
    return median(lateness);
}

struct Shown {
    int frame;
    Clock::time_point at;
};

void playbackTiming(const std::string& corpus)
{
    progress("playback timing, 300 frames x 33 ms (about 12 s)");
    const double timerLateness = bareTimerLatenessMs();
    const std::string file = corpus + "/anim/step300.webp";
    const std::vector<int> durations = frameDurations(readFile(file));
    const int frames = static_cast<int>(durations.size());
    PlayingView playing(33, 640, 480);
    PictureView& view = playing.view;
    std::vector<Shown> shows;
    std::vector<Clock::time_point> ticks;
    std::vector<double> tickLateness; // the clock's own account: how long after its deadline a tick ran
    QObject::connect(&view, &PictureView::methodReceived, [&](MethodId id, std::int32_t value, const QString&) {
        if (id == MethodId::ShowAnimFrame) {
            shows.push_back({value, Clock::now()});
        } else if (id == MethodId::Tick) {
            ticks.push_back(Clock::now());
            if (const quorvanta::PlaybackClock* clock = view.clock())
                tickLateness.push_back(static_cast<double>(clock->now() - clock->deadline()) / 1000.0);
        }
    });
    view.show();
    runLoopUntil(view, [] { return false; }, 100);
    timingApp()->watch(&view);
    shows.clear();
    ticks.clear();
    tickLateness.clear();
    view.send(MethodId::Load, file);
    const auto enoughSeen = [&] {
        return static_cast<int>(shows.size()) > frames + 2 || static_cast<int>(ticks.size()) > frames + 2;
    };
    runLoopUntil(view, enoughSeen, (frames * 33) + 5000);
    view.send(MethodId::Pause);

    // Frames in the order shown, a frame repeated at once counted at its first showing; fall back on the
    // ticks when frames are not shown through the dispatcher.
    std::vector<Shown> sequence;
    for (const Shown& s : shows)
        if (sequence.empty() || sequence.back().frame != s.frame)
            sequence.push_back(s);
    const bool fromTicks = sequence.size() < 10;
    if (fromTicks) {
        sequence.clear();
        for (std::size_t i = 0; i < ticks.size(); ++i)
            sequence.push_back({static_cast<int>(i % static_cast<std::size_t>(std::max(frames, 1))) + 1, ticks[i]});
    }
    // Presentation: the first paint after the frame was shown and before the next one.
    const auto& paints = timingApp()->paints;
    std::vector<double> errorsShown;
    std::vector<double> errorsPainted;
    std::vector<double> showToPaint;
    double scheduleMs = 0;
    const std::size_t count = std::min<std::size_t>(sequence.size(), static_cast<std::size_t>(frames));
    Clock::time_point paintAnchor{};
    for (std::size_t k = 0; k < count; ++k) {
        const Clock::time_point shown = sequence[k].at;
        const Clock::time_point next = k + 1 < sequence.size() ? sequence[k + 1].at : Clock::time_point::max();
        const auto paint = std::lower_bound(paints.begin(), paints.end(), shown);
        const bool painted = paint != paints.end() && *paint < next;
        if (painted)
            showToPaint.push_back(msBetween(shown, *paint));
        if (k == 0) {
            paintAnchor = painted ? *paint : shown;
        } else {
            errorsShown.push_back(msBetween(sequence[0].at, shown) - scheduleMs);
            if (painted)
                errorsPainted.push_back(msBetween(paintAnchor, *paint) - scheduleMs);
        }
        const int frame = sequence[k].frame;
        scheduleMs += frame >= 1 && frame <= frames ? durations[static_cast<std::size_t>(frame - 1)] : 0;
    }
    const std::vector<double>& errors = errorsPainted.size() + 5 >= errorsShown.size() ? errorsPainted : errorsShown;
    std::vector<double> absolute;
    for (const double e : errors)
        absolute.push_back(std::fabs(e));
    auto mean = [](auto first, auto last) {
        return first == last ? kNone : std::accumulate(first, last, 0.0) / static_cast<double>(last - first);
    };
    const std::size_t window = std::min<std::size_t>(30, errors.size() / 2);
    const double drift = mean(errors.end() - static_cast<std::ptrdiff_t>(window), errors.end()) -
                         mean(errors.begin(), errors.begin() + static_cast<std::ptrdiff_t>(window));

    const std::string source = std::string(fromTicks ? "tick times" : "frames shown") +
                               (&errors == &errorsPainted ? ", presented at the first paint after" : "");
    Row error("playback timing: presentation error", "300 frames x 33 ms, real clock", median(absolute),
              "lateness of a bare 33 ms PreciseTimer", timerLateness);
    error.valueLimit = 2.0;
    error.target = "median < 2 ms";
    error.wrong = count < static_cast<std::size_t>(frames);
    error.note = std::to_string(count) + " frames seen (" + source + "); signed error p5 " +
                 formatNumber(quantile(errors, 0.05)) + " ms, median " + formatNumber(median(errors)) + " ms; absolute error p95 " +
                 formatNumber(quantile(absolute, 0.95)) + " ms, max " +
                 formatNumber(absolute.empty() ? kNone : *std::max_element(absolute.begin(), absolute.end())) +
                 " ms; median error of the show itself " + formatNumber(median(errorsShown)) +
                 " ms; the clock's ticks ran a median " + formatNumber(median(tickLateness)) +
                 " ms after their deadlines; a frame was painted a median " + formatNumber(median(showToPaint)) +
                 " ms after it was shown";
    emit(error);
    Row driftRow("playback timing: drift", "mean error, last 30 minus first 30", std::fabs(drift), "schedule", kNone);
    driftRow.valueLimit = 2.0;
    driftRow.target = "< 2 ms";
    driftRow.note = "signed " + formatNumber(drift) + " ms over " + formatNumber(scheduleMs / 1000.0) + " s";
    emit(driftRow);
}

// ---- directory playback -----------------------------------------------------------------------------

void directoryPlayback(const std::string& corpus)
{
    progress("directory playback, 1280x720 PNG frames at 100 ms (about 3 s)");
    const std::string dir = corpus + "/dir720";
    std::vector<double> decodeTimes;
    for (int i = 1; i <= 10; ++i) {
        const QString path = QString::fromStdString(dir) + QString::asprintf("/f%02d.png", i);
        const auto t0 = Clock::now();
        QImageReader reader(path);
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (!image.isNull())
            decodeTimes.push_back(msBetween(t0, Clock::now()));
    }

    PlayingView playing(100, 640, 360);
    PictureView& view = playing.view;
    QObject::connect(&view, &PictureView::methodReceived, [&](MethodId id, std::int32_t, const QString&) {
        if (id == MethodId::Tick || id == MethodId::ShowDirFrame)
            timingApp()->markTick();
    });
    view.show();
    runLoopUntil(view, [] { return false; }, 100);
    timingApp()->watch(&view);
    view.send(MethodId::LoadDirectory, dir);
    runLoopUntil(view, [&] { return timingApp()->tickCosts.size() >= 28; }, 5000);
    view.send(MethodId::Pause);
    const std::vector<double> tickCosts = timingApp()->tickCosts;
    const bool isDirectory = view.state().mode == quorvanta::Mode::Directory && view.state().frameCount == 30;

    Row tick("directory playback: cost of a tick", "30 x 1280x720 PNG, 100 ms", median(tickCosts),
             "QImageReader decode of one frame", median(decodeTimes));
    tick.ratioLimit = 0.5; // a tick that decodes costs at least one decode
    tick.target = "<= 0.5x (no decode on the tick)";
    tick.wrong = !isDirectory;
    tick.note = std::to_string(tickCosts.size()) + " ticks timed, p90 " + formatNumber(quantile(tickCosts, 0.9)) +
                " ms" + (isDirectory ? "" : "; directory not opened with 30 frames");
    emit(tick);

    // The same frames shown back to back, with no idle time for reading ahead.
    std::vector<double> backToBack;
    for (int frame = 1; frame <= 30; ++frame) {
        const auto t0 = Clock::now();
        view.send(MethodId::ShowDirFrame, frame);
        backToBack.push_back(msBetween(t0, Clock::now()));
    }
    Row direct("directory playback: ShowDirFrame back to back", "30 x 1280x720 PNG", median(backToBack),
               "QImageReader decode of one frame", median(decodeTimes));
    direct.note = "no idle time between frames: a frame read ahead cannot be ready";
    emit(direct);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string corpus = option(argc, argv, "--corpus", "build/bench-corpus");
    TimingApplication app(argc, argv);
    frameStep(corpus);
    playbackTiming(corpus);
    directoryPlayback(corpus);
    return 0;
}
