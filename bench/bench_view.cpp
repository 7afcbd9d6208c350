// Opening and drawing still pictures: the picture object's Load against a bare libwebp decode with the
// same options (and against dwebp, process to process), one stretched paint of a large picture, and
// the peak memory of opening a large still and playing a large animation.
//
//   bench_view --corpus DIR                       all measurements, result rows on stdout
//   bench_view --child MODE [--file PATH]         one measurement in a fresh process (used by the above)

#include "viewkit.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <string>
#include <vector>

using namespace bench;
using quorvanta::MethodId;
using quorvanta::PictureView;

namespace {

constexpr int kAreaWidth = 1280;
constexpr int kAreaHeight = 1024;

struct StillCase {
    std::string size; // "1920x1080"
    bool alpha;
    bool lossless;
    bool targeted; // the target applies at this size

    std::string stem() const { return size + (alpha ? "_alpha" : "_opaque"); }
    std::string webp(const std::string& corpus) const
    {
        return corpus + "/still/" + stem() + (lossless ? "_lossless" : "_lossy") + ".webp";
    }
    std::string label() const
    {
        return size + (lossless ? " lossless" : " lossy") + (alpha ? " alpha" : " opaque");
    }
};

std::vector<StillCase> stillCases()
{
    std::vector<StillCase> cases;
    for (const char* size : {"640x480", "1920x1080", "3840x2160"})
        for (bool lossless : {false, true})
            for (bool alpha : {false, true})
                cases.push_back({size, alpha, lossless, std::string(size) != "640x480"});
    return cases;
}

// The R,G,B,A reference picture of a file, decoded with the viewer's options.
BareStillDecoder rgbaReference(const std::string& file)
{
    BareStillDecoder decoder;
    if (decoder.open(readFile(file), MODE_RGBA))
        decoder.decode();
    return decoder;
}

void stillOpen(const std::string& corpus, const std::string& self)
{
    QImage area(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
    const double qtStartMs = medianProcessMs({self, "--child", "start"}, 5);
    for (const StillCase& c : stillCases()) {
        const std::string file = c.webp(corpus);
        progress("still open " + c.label());
        BareStillDecoder bare;
        if (!bare.open(readFile(file))) {
            Row missing("still open", c.label(), kNone, "corpus file missing", kNone);
            missing.wrong = true;
            emit(missing);
            continue;
        }
        PictureView view;
        view.resize(kAreaWidth, kAreaHeight);
        const Budget budget{5, c.targeted ? 21 : 41, c.targeted ? 2500.0 : 600.0};
        // The same decode into memory taken fresh each time, as a new picture needs: what page faults cost.
        auto freshDecode = [&] { bare.decodeIntoFreshMemory(); };
        const auto times = interleaved({[&] { bare.decode(); }, [&] { view.send(MethodId::Load, file); },
                                        [&] {
                                            view.send(MethodId::Load, file);
                                            view.render(&area);
                                        },
                                        freshDecode},
                                       budget);

        const BareStillDecoder rgba = rgbaReference(file);
        const PixelDifference difference = compareDisplay(view, rgba.pixels.data(), rgba.width, rgba.height);
        const bool isStill = view.state().mode == quorvanta::Mode::Still;
        Row open("still open: Load to display buffer", c.label(), median(times[1]),
                 "WebPDecode, same options, own buffer", median(times[0]));
        if (c.targeted) {
            open.ratioLimit = 1.15;
            open.target = "<= 1.15x";
        }
        open.wrong = !difference.identical() || !isStill;
        open.note = (isStill ? "" : "mode is not still; ") + difference.describe() +
                    "; bare decode into fresh memory " + formatNumber(median(times[3])) + " ms";
        emit(open);
        Row firstPaint("still open: Load to first paint", c.label(), median(times[2]),
                       "WebPDecode, same options, own buffer", median(times[0]));
        firstPaint.note = "paint: 1280x1024 render of the view, offscreen";
        emit(firstPaint);

        if (!c.targeted)
            continue;
        const std::string ppm = c.alpha ? "-pam" : "-ppm";
        const double dwebpMs = medianProcessMs({"dwebp", "-nofilter", "-nofancy", file, ppm, "-o", "/dev/null"}, 5);
        const double ourProcessMs = medianProcessMs({self, "--child", "open", "--file", file}, 5);
        Row process("still open: process to process", c.label(), ourProcessMs, "dwebp -nofilter -nofancy (process)",
                    dwebpMs);
        process.note = "ours: a child process starting Qt and loading; Qt start alone " + formatNumber(qtStartMs) + " ms";
        emit(process);
    }
}

// Draws the picture the way a view with no per-paint work would: a premultiplied image made once.
void paintReference(QImage& area, const QImage& premultiplied, bool alpha)
{
    QPainter painter(&area);
    if (alpha)
        painter.fillRect(area.rect(), Qt::white);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area.rect(), premultiplied);
}

int maxDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return 256;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

void paint(const std::string& corpus)
{
    for (const bool alpha : {false, true}) {
        const StillCase c{"3840x2160", alpha, false, true};
        progress("paint " + c.label());
        const std::string file = c.webp(corpus);
        PictureView view;
        view.resize(kAreaWidth, kAreaHeight);
        view.send(MethodId::Load, file);
        const BareStillDecoder rgba = rgbaReference(file);
        const QImage premultiplied =
            QImage(rgba.pixels.data(), rgba.width, rgba.height, rgba.width * 4, QImage::Format_RGBA8888)
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QImage ours(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
        QImage reference(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
        const qint64 keyBefore = view.displayImage().cacheKey();
        QImage bare(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
        const auto times = interleaved({[&] { paintReference(reference, premultiplied, alpha); },
                                        [&] { view.render(&ours); },
                                        [&] { paintReference(bare, view.displayImage(), alpha); }},
                                       {10, 60, 2500});
        const bool sameImage = view.displayImage().cacheKey() == keyBefore && !view.displayImage().isNull();
        const int difference = maxDifference(ours, reference);
        Row row("paint: 3840x2160 into 1280x1024", c.label(), median(times[1]),
                "QPainter::drawImage of a premultiplied image", median(times[0]));
        row.note = std::string("drawn image format ") + std::to_string(view.displayImage().format()) +
                   (sameImage ? ", kept between paints" : ", REMADE between paints") +
                   ", max difference to reference " + std::to_string(difference) +
                   "; the view's own drawn image painted bare " + formatNumber(median(times[2])) + " ms";
        row.ratioLimit = 1.25;
        row.target = "<= 1.25x (no per-paint conversion)";
        row.wrong = !sameImage || difference > 2;
        emit(row);
    }
}

double childBytes(const std::string& self, const std::string& mode, const std::string& file)
{
    const ProcessResult run = runProcess({self, "--child", mode, "--file", file}, true, true);
    return run.exitCode == 0 ? std::atof(run.out.c_str()) : kNone;
}

void memory(const std::string& corpus, const std::string& self)
{
    struct MemoryCase {
        std::string label, file, ours, reference, referenceLabel;
    };
    const std::vector<MemoryCase> cases = {
        {"open 3840x2160 lossy opaque", corpus + "/still/3840x2160_opaque_lossy.webp", "mem-open", "mem-ref-still",
         "WebPDecode into own buffer"},
        {"open 3840x2160 lossy alpha", corpus + "/still/3840x2160_alpha_lossy.webp", "mem-open", "mem-ref-still",
         "WebPDecode into own buffer"},
        {"play 1920x1080 animation", corpus + "/anim/big1080.webp", "mem-play", "mem-ref-anim",
         "WebPAnimDecoder, every frame"},
    };
    for (const MemoryCase& c : cases) {
        progress("memory " + c.label);
        BareStillDecoder features;
        int width = 0;
        int height = 0;
        AnimReference anim;
        if (c.ours == "mem-play" && anim.open(readFile(c.file))) {
            width = static_cast<int>(anim.info.canvas_width);
            height = static_cast<int>(anim.info.canvas_height);
        } else if (features.open(readFile(c.file))) {
            width = features.width;
            height = features.height;
        }
        const double pictureBytes = 4.0 * width * height;
        const double ours = childBytes(self, c.ours, c.file);
        const double reference = childBytes(self, c.reference, c.file);
        Row row("memory: peak RSS growth", c.label, ours / (1024.0 * 1024.0), c.referenceLabel,
                reference / (1024.0 * 1024.0));
        row.unit = "MiB";
        row.note = "picture's own bytes (w*h*4) " + megabytes(pictureBytes) + "; ours / picture = " +
                   formatNumber(ours / pictureBytes) + "x";
        emit(row);
    }
}

// ---- child processes --------------------------------------------------------------------------------

int runChild(const std::string& mode, const std::string& file, int argc, char** argv)
{
    if (mode == "mem-ref-still") {
        BareStillDecoder decoder;
        bool ok = false;
        const double growth = peakGrowthBytes([&] { ok = decoder.open(readFile(file)) && decoder.decode(); });
        std::printf("%.0f\n", growth);
        return ok ? 0 : 1;
    }
    if (mode == "mem-ref-anim") {
        AnimReference anim;
        int frames = 0;
        const double growth = peakGrowthBytes([&] {
            if (anim.open(readFile(file)))
                while (anim.next())
                    ++frames;
        });
        std::printf("%.0f\n", growth);
        return frames > 0 ? 0 : 1;
    }

    QApplication app(argc, argv);
    PictureView view;
    view.resize(kAreaWidth, kAreaHeight);
    QImage area(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
    area.fill(0);
    if (mode == "start")
        return 0;
    if (mode == "open") {
        view.send(MethodId::Load, file);
        return view.state().pixels ? 0 : 1;
    }
    if (mode == "mem-open" || mode == "mem-play") {
        const double growth = peakGrowthBytes([&] {
            view.send(MethodId::Load, file);
            if (mode == "mem-play")
                for (int frame = 2; frame <= view.state().frameCount; ++frame)
                    view.send(MethodId::ShowAnimFrame, frame);
            view.render(&area);
        });
        std::printf("%.0f\n", growth);
        return view.state().pixels ? 0 : 1;
    }
    std::fprintf(stderr, "unknown child mode %s\n", mode.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string child = option(argc, argv, "--child");
    if (!child.empty())
        return runChild(child, option(argc, argv, "--file"), argc, argv);

    const std::string corpus = option(argc, argv, "--corpus", "build/bench-corpus");
    const std::string self = selfPath();
    QApplication app(argc, argv);
    stillOpen(corpus, self);
    paint(corpus);
    memory(corpus, self);
    return 0;
}
