// The encoding preview's cost: the time from a change of the encoder settings to the new preview drawn,
// through the picture object with worker threads as the window runs it, against a bare WebPEncode of the
// same picture with the same settings in the same run.
//
//   bench_preview --corpus DIR

#include "pictures.h"
#include "viewkit.h"

#include "pictureview/DisplayReduction.h"
#include "pictureview/Jobs.h"

#include <QApplication>
#include <QImageReader>

#include <cstdio>
#include <string>
#include <vector>

using namespace bench;
using quorvanta::MethodId;
using quorvanta::PictureView;

namespace {

// The picture object in a 1280 x 1024 area with the preview on.
struct Previewing {
    FixedSettings settings;
    PictureView view;
    bool shown = false;

    Previewing(const std::string& png, const EncodeSettings& encode)
    {
        settings.encode = encode;
        view.setSettings(&settings);
        view.setJobRunner(quorvanta::JobRunner(quorvanta::JobRunner::Threads::Worker));
        view.resize(1280, 1024);
        view.show();
        view.send(MethodId::Load, png);
        waitUntil([this] { return view.mode() == quorvanta::Mode::Imported; });
        // The figures are told when the preview is in place; it is drawn at once.
        QObject::connect(&view, &PictureView::previewTold, &view, [this](const QString& text) {
            if (!text.startsWith(QStringLiteral("Preview:")))
                return;
            view.repaint();
            shown = true;
        });
        view.setPreview(true);
        waitUntil([this] { return shown; });
    }

    template <class Done>
    static void waitUntil(Done done)
    {
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // A new quality, told as the settings window tells an edit, until the new preview is drawn.
    void change(int quality)
    {
        shown = false;
        settings.encode.quality = quality;
        view.encodeSettingsChanged();
        waitUntil([this] { return shown; });
    }
};

void previewCost(const std::string& corpus)
{
    for (const char* stem : {"1920x1080_opaque", "3840x2160_opaque", "3840x2160_alpha"}) {
        const std::string png = corpus + "/still/" + stem + ".png";
        if (!fileExists(png)) {
            std::fprintf(stderr, "bench_preview: %s is missing\n", png.c_str());
            continue;
        }
        int width = 0, height = 0;
        const std::vector<std::uint32_t> argb = argbOf(png, width, height);
        quorvanta::PictureRecord record;
        record.pixels = quorvanta::allocZeroed<std::uint32_t>(argb.size());
        std::copy(argb.begin(), argb.end(), record.pixels.get());
        record.size = argb.size() * 4;
        record.width = std::uint32_t(width);
        record.height = std::uint32_t(height);
        for (const int method : {0, 4}) {
            progress(std::string(stem) + ", speed " + std::to_string(method));
            // The program's defaults but the speed; each change moves the quality by one.
            const EncodeSettings base{false, 50, method, 0, 0};
            Previewing previewing(png, base);
            int quality = 50;
            EncodeSettings bare = base;
            quorvanta::StillChoice alone;
            alone.encoder = quorvanta::EncodeSettings{0, base.quality, base.method, 0, 0};
            const auto times = interleaved(
                {[&] { previewing.change(quality = quality == 50 ? 51 : 50); },
                 [&] {
                     bare.quality = quality;
                     encodeArgb(argb.data(), width, height, bare);
                 },
                 [&] {
                     alone.encoder.quality = quality;
                     const auto made = quorvanta::MakeEncodedPreview(
                         record, alone, {}, 0, quorvanta::drawnReduction(record.width, record.height), nullptr);
                     if (!made)
                         std::fprintf(stderr, "bench_preview: %s\n", made.problem().text().c_str());
                 }},
                Budget{5, 15, 8000});
            Row row("preview after a setting change", std::string(stem) + ", q 50, speed " + std::to_string(method),
                    median(times[0]), "WebPEncode", median(times[1]));
            const quorvanta::EncodedPreview* shown = previewing.view.preview();
            row.wrong = !shown || shown->file != encodeArgb(argb.data(), width, height, bare);
            row.note = row.wrong ? "the preview's bytes differ from WebPEncode's"
                                 : "same bytes as WebPEncode; decoded, measured and drawn in a 1280 x 1024 area";
            emit(row);
            Row job("  of which the job", std::string(stem) + ", q 50, speed " + std::to_string(method), median(times[2]),
                    "WebPEncode", median(times[1]));
            job.note = "encode, decode, PSNR, ready to draw; off the GUI thread";
            emit(job);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    previewCost(option(argc, argv, "--corpus", "build/bench-corpus"));
    quorvanta::JobRunner::waitForIdle(std::chrono::seconds(10));
    return 0;
}
