// Cancelling an encoding: the time from the stop request to the end of the encoder's call, for still
// pictures (lossy and lossless) and for the 30-frame directory encoded as an animation. The stop is
// asked at several points of each encoding; the row gives the longest wait and the median. libwebp
// hears the request only in its progress hook, which a lossless encoding calls between its stages:
// at the slowest lossless settings a stage lasts seconds.
//
//   bench_cancel --corpus DIR

#include "harness.h"

#include "encoding/AnimationEncoder.h"
#include "encoding/EncodeStillWebP.h"
#include "import/ImportPictureFile.h"

#include <QDir>
#include <QGuiApplication>

#include <atomic>
#include <thread>

using namespace bench;
using namespace quorvanta;

namespace {

// Runs `encode` on a thread of its own, asks it to stop `afterMs` after it started, and returns the
// milliseconds from the request to its end (NaN when it ended before the request).
double stopLatency(const std::function<void(const std::atomic<bool>&)>& encode, double afterMs)
{
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    Clock::time_point endedAt;
    std::thread worker([&] {
        encode(stop);
        endedAt = Clock::now();
        ended = true;
    });
    const auto requestAt = Clock::now() + std::chrono::microseconds(static_cast<long long>(afterMs * 1000));
    while (Clock::now() < requestAt && !ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto requested = Clock::now();
    const bool early = ended;
    stop = true;
    worker.join();
    return early ? kNone : msBetween(requested, endedAt);
}

void measure(const std::string& path, const std::string& caseName,
             const std::function<void(const std::atomic<bool>&)>& encode)
{
    std::atomic<bool> never{false};
    const auto t0 = Clock::now();
    encode(never);
    const double whole = msBetween(t0, Clock::now());
    std::vector<double> waits;
    for (double share : {0.05, 0.2, 0.35, 0.5, 0.65, 0.8, 0.9}) {
        const double wait = stopLatency(encode, whole * share);
        if (!std::isnan(wait))
            waits.push_back(wait);
    }
    Row row(path, caseName, waits.empty() ? kNone : *std::max_element(waits.begin(), waits.end()),
            "whole encoding", whole);
    row.valueLimit = 500;
    row.target = "<= 500 ms";
    row.note = "longest of " + std::to_string(waits.size()) + " stops; median " + formatNumber(median(waits)) + " ms";
    emit(row);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv); // the picture import reads through Qt
    const std::string corpus = option(argc, argv, "--corpus");
    if (corpus.empty()) {
        std::fprintf(stderr, "usage: bench_cancel --corpus DIR\n");
        return 2;
    }
    for (const char* size : {"1920x1080", "3840x2160"}) {
        const std::string png = corpus + "/still/" + size + "_opaque.png";
        PictureRecord record;
        if (ImportPictureFile(png, record) != 1) {
            std::fprintf(stderr, "bench_cancel: %s is missing\n", png.c_str());
            return 1;
        }
        // The program's defaults, lossy and lossless, and the slowest lossless setting.
        const std::pair<EncodeSettings, const char*> cases[] = {{{0, 50, 0, 0, 0}, " lossy q50 m0"},
                                                                {{1, 50, 0, 0, 0}, " lossless q50 m0"},
                                                                {{1, 100, 6, 0, 0}, " lossless q100 m6"}};
        for (const auto& [settings, label] : cases) {
            if (settings.method == 6 && std::string(size) != "1920x1080")
                continue; // a minute a picture at 3840 x 2160
            progress(std::string("still ") + size + label);
            const std::string out = corpus + "/cancel-out.webp";
            measure("cancel still", size + std::string(label), [&](const std::atomic<bool>& stop) {
                (void)EncodeStillWebP(out, record, settings, nullptr, 0, nullptr, &stop);
            });
            std::remove(out.c_str());
        }
    }
    std::vector<std::string> files;
    for (const QString& name : QDir(QString::fromStdString(corpus + "/dir720")).entryList(QDir::Files, QDir::Name))
        files.push_back(corpus + "/dir720/" + name.toStdString());
    progress("animation of the 30-frame directory");
    const AnimationSettings animation = makeAnimationSettings(EncodeSettings{0, 50, 0, 0, 0}, false, 0, 0xFFFFFFFF);
    measure("cancel animation", "30 x 1280x720 lossy q50 m0", [&](const std::atomic<bool>& stop) {
        const PictureImporter importer = [&stop](const std::string& path, PictureRecord& record) {
            return stop.load() ? -1 : ImportPictureFile(path, record);
        };
        (void)EncodeAnimationFiles(files, animation, 1000, importer, {}, {}, &stop);
    });
    return 0;
}
