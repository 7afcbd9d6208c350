// Encoding: importing and encoding a PNG against cwebp with the same settings (the bytes must be the
// same), and encoding a 30-frame PNG directory into an animation against img2webp.
//
//   bench_encode --corpus DIR
//   bench_encode --child MODE ...   one measurement in a fresh process (used by the above)

#include "pictures.h"
#include "viewkit.h"

#include "encoding/AnimationEncoder.h"
#include "encoding/WebPHandles.h"
#include "import/ImportPictureFile.h"

#include <webp/demux.h>

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QProgressBar>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace bench;
using quorvanta::MethodId;
using quorvanta::PictureView;

namespace {

// The settings that match `cwebp -preset photo -q 50 -m 0 -f 0 -sharpness 0 -pre 0`.
FixedSettings encodeSettings()
{
    FixedSettings settings;
    settings.encode = EncodeSettings{false, 50, 0, 0, 0};
    settings.frameDurationMs = 1000;
    return settings;
}

std::string sameBytesNote(const std::vector<std::uint8_t>& ours, const std::vector<std::uint8_t>& theirs,
                          const std::string& who)
{
    if (!ours.empty() && ours == theirs)
        return "byte-identical to " + who;
    return "DIFFERS from " + who + " (" + std::to_string(ours.size()) + " vs " + std::to_string(theirs.size()) +
           " bytes)";
}

// cwebp's own account of a run: the time it took to read the input and to encode it.
std::string cwebpSplit(const std::string& png)
{
    const ProcessResult run =
        runProcess({"sh", "-c",
                    "cwebp -v -preset photo -q 50 -m 0 -f 0 -sharpness 0 -pre 0 \"$0\" -o /dev/null 2>&1", png},
                   true);
    std::string split;
    for (const char* key : {"Time to read input: ", "Time to encode picture: "}) {
        const std::size_t at = run.out.find(key);
        if (at == std::string::npos)
            continue;
        const double seconds = std::atof(run.out.c_str() + at + std::strlen(key));
        split += std::string(split.empty() ? "read " : ", encode ") + formatNumber(seconds * 1000) + " ms";
    }
    return split.empty() ? "-" : split;
}

void stillEncode(const std::string& corpus, const std::string& self, const QTemporaryDir& scratch)
{
    const FixedSettings settings = encodeSettings();
    for (const std::string stem : {"1920x1080_opaque", "1920x1080_alpha", "3840x2160_opaque"}) {
        progress("still encode " + stem);
        const std::string png = corpus + "/still/" + stem + ".png";
        const std::string base = scratch.path().toStdString() + "/" + stem;
        const std::string oursOut = base + "_ours.webp";
        const std::string cwebpOut = base + "_cwebp.webp";
        const std::string bareOut = base + "_bare.webp";

        PictureView view;
        view.setSettings(&settings);
        auto ours = [&] {
            view.send(MethodId::Load, png);
            view.send(MethodId::EncodePicture, oursOut);
        };
        auto cwebp = [&] {
            runProcess({"cwebp", "-preset", "photo", "-q", "50", "-m", "0", "-f", "0", "-sharpness", "0", "-pre", "0",
                        png, "-o", cwebpOut});
        };
        auto bare = [&] {
            int width = 0;
            int height = 0;
            const std::vector<std::uint32_t> argb = argbOf(png, width, height);
            const std::vector<std::uint8_t> bytes = encodeArgb(argb.data(), width, height, settings.encode);
            std::ofstream(bareOut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        };
        // Each stage of ours next to its bare counterpart, in the same rounds.
        int width = 0;
        int height = 0;
        const std::vector<std::uint32_t> argb = argbOf(png, width, height);
        quorvanta::PictureRecord imported;
        const auto times = interleaved(
            {cwebp, ours, bare, [&] { argbOf(png, width, height); },
             [&] {
                 imported.releasePixels();
                 quorvanta::ImportPictureFile(png, imported);
             },
             [&] { view.send(MethodId::Load, png); }, [&] { encodeArgb(argb.data(), width, height, settings.encode); },
             [&] { view.send(MethodId::EncodePicture, oursOut); }},
            {3, 9, 5000});
        const std::vector<std::uint8_t> cwebpBytes = readFile(cwebpOut);
        const std::vector<std::uint8_t> oursBytes = readFile(oursOut);
        const std::vector<std::uint8_t> bareBytes = readFile(bareOut);

        Row row("still encode: import + encode", stem, median(times[1]),
                "cwebp -preset photo -q 50 -m 0 -f 0 -sharpness 0 -pre 0 (process)", median(times[0]));
        row.ratioLimit = 1.05;
        row.target = "<= 1.05x";
        row.wrong = cwebpBytes.empty() || oursBytes != cwebpBytes;
        row.note = "ours in-process (Load + EncodePicture); " + sameBytesNote(oursBytes, cwebpBytes, "cwebp") +
                   "; cwebp's own split: " + cwebpSplit(png);
        emit(row);

        Row overhead("still encode: in-process overhead", stem, median(times[1]),
                     "QImageReader + WebPEncode, same config", median(times[2]));
        overhead.note = "reference " + sameBytesNote(bareBytes, cwebpBytes, "cwebp") + "; ImportPictureFile " +
                        formatNumber(median(times[4])) + " ms vs QImageReader read " + formatNumber(median(times[3])) +
                        " ms; Load (import + show) " + formatNumber(median(times[5])) + " ms; EncodePicture " +
                        formatNumber(median(times[7])) + " ms vs WebPEncode " + formatNumber(median(times[6])) + " ms";
        emit(overhead);

        const double processMs = medianProcessMs({self, "--child", "encode", "--file", png, "--out", oursOut}, 3);
        Row process("still encode: process to process", stem, processMs, "cwebp (process)", median(times[0]));
        process.note = "ours: a child process starting Qt, loading and encoding";
        emit(process);
    }
}

struct AnimationCheck {
    int frames = 0;
    int framesIdentical = 0;
    bool timingRight = true;
};

// Our animation frame by frame: every frame's bitstream against a one-thread encode of its file, every
// frame at 0,0 for 1000 ms.
AnimationCheck checkAnimation(const std::vector<std::uint8_t>& file, const std::vector<std::string>& pngs,
                              const EncodeSettings& settings)
{
    AnimationCheck check;
    const WebPData data{file.data(), file.size()};
    struct DemuxDeleter {
        void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
    };
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    WebPIterator iterator;
    if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &iterator))
        return check;
    do {
        const auto index = static_cast<std::size_t>(check.frames++);
        check.timingRight = check.timingRight && iterator.duration == 1000 && iterator.x_offset == 0 &&
                            iterator.y_offset == 0;
        if (index >= pngs.size())
            continue;
        int width = 0;
        int height = 0;
        const std::vector<std::uint32_t> argb = argbOf(pngs[index], width, height);
        const std::vector<std::uint8_t> expected = encodeArgb(argb.data(), width, height, settings);
        // The frame's payload: the VP8/VP8L chunk (with ALPH before it) as the mux stores it, which
        // is the still file without its 12-byte RIFF header (and without a VP8X chunk for alpha).
        const std::vector<std::uint8_t> payload(iterator.fragment.bytes,
                                                iterator.fragment.bytes + iterator.fragment.size);
        std::vector<std::uint8_t> expectedPayload(
            expected.begin() + std::min<std::ptrdiff_t>(12, static_cast<std::ptrdiff_t>(expected.size())),
            expected.end());
        if (expectedPayload.size() > 18 && std::equal(expectedPayload.begin(), expectedPayload.begin() + 4, "VP8X"))
            expectedPayload.erase(expectedPayload.begin(), expectedPayload.begin() + 18);
        if (expectedPayload.size() == payload.size() + 1) // the still file's padding byte
            expectedPayload.pop_back();
        check.framesIdentical += payload == expectedPayload ? 1 : 0;
    } while (WebPDemuxNextFrame(&iterator));
    WebPDemuxReleaseIterator(&iterator);
    return check;
}

std::vector<std::string> directoryFiles(const std::string& dir)
{
    std::vector<std::string> files;
    for (const QString& name : QDir(QString::fromStdString(dir)).entryList({"*.png"}, QDir::Files, QDir::Name))
        files.push_back(dir + "/" + name.toStdString());
    return files;
}

void animationEncode(const std::string& corpus, const QTemporaryDir& scratch)
{
    progress("animation encode, 30 x 1280x720 (about a minute)");
    const std::string dir = corpus + "/dir720";
    const std::vector<std::string> pngs = directoryFiles(dir);
    const std::string oursOut = scratch.path().toStdString() + "/anim_ours.webp";
    const std::string oneThreadOut = scratch.path().toStdString() + "/anim_one_thread.webp";
    const std::string refOut = scratch.path().toStdString() + "/anim_img2webp.webp";
    const FixedSettings settings = encodeSettings();

    QProgressBar gauge;
    gauge.setRange(0, 100);
    int gaugeMoves = 0;
    QObject::connect(&gauge, &QProgressBar::valueChanged, [&](int) { ++gaugeMoves; });
    const auto requesters = scriptedRequesters(oursOut);
    PictureView view;
    view.setSettings(&settings);
    view.setRequesters(requesters.get());
    QObject::connect(&view, &PictureView::progressChanged, &gauge, &QProgressBar::setValue);
    view.send(MethodId::LoadDirectory, dir);
    view.send(MethodId::Pause);

    std::vector<std::string> img2webp = {"img2webp", "-lossy", "-q", "50", "-m", "0", "-d", "1000"};
    img2webp.insert(img2webp.end(), pngs.begin(), pngs.end());
    img2webp.insert(img2webp.end(), {"-o", refOut});
    // The encoder's own entry on one thread, written the way the command writes: the bytes to match.
    auto oneThread = [&] {
        const quorvanta::AnimationSettings animation = quorvanta::makeAnimationSettings(
            {0, settings.encode.quality, settings.encode.method, settings.encode.filterStrength,
             settings.encode.filterSharpness},
            false, settings.loops, quorvanta::packBackgroundColor(settings.backgroundColor()));
        const quorvanta::AnimationResult result =
            quorvanta::EncodeAnimationFiles(pngs, animation, settings.frameDurationMs, quorvanta::ImportPictureFile,
                                            quorvanta::ProbePictureFile, {}, nullptr, 1);
        std::ofstream(oneThreadOut, std::ios::binary)
            .write(reinterpret_cast<const char*>(result.bytes.data()), std::streamsize(result.bytes.size()));
    };
    const auto times = interleaved({[&] { runProcess(img2webp); },
                                    [&] {
                                        std::remove(oursOut.c_str());
                                        gaugeMoves = 0;
                                        view.send(MethodId::SaveAnimation);
                                    },
                                    oneThread},
                                   {3, 5, 8000});
    const std::vector<std::uint8_t> oursBytes = readFile(oursOut);
    const AnimationCheck check = checkAnimation(oursBytes, pngs, settings.encode);
    const bool sameAsOneThread = !oursBytes.empty() && oursBytes == readFile(oneThreadOut);

    Row row("animation encode: 30 x 1280x720 PNG", "2 cores", median(times[1]),
            "img2webp -lossy -q 50 -m 0 -d 1000 (process)", median(times[0]));
    row.ratioLimit = 1.0 / 1.7;
    row.target = "<= 0.59x (1.7x faster)";
    row.wrong = check.frames != static_cast<int>(pngs.size()) || check.framesIdentical != check.frames ||
                !check.timingRight || !sameAsOneThread;
    row.note = std::to_string(check.framesIdentical) + "/" + std::to_string(check.frames) +
               " frames byte-identical to a one-thread encode" + (check.timingRight ? "" : ", WRONG offsets/durations") +
               (sameAsOneThread ? ", file identical to a one-thread run" : ", file DIFFERS from a one-thread run") +
               ", gauge moved " + std::to_string(gaugeMoves) + " times";
    emit(row);
    Row single("animation encode: one thread", "EncodeAnimationFiles, 1 thread", median(times[2]),
               "img2webp (process)", median(times[0]));
    single.note = "parallel speedup of SaveAnimation " + formatNumber(median(times[2]) / median(times[1])) + "x";
    emit(single);
}

// ---- child processes --------------------------------------------------------------------------------

int runChild(const std::string& mode, int argc, char** argv)
{
    QApplication app(argc, argv);
    const FixedSettings settings = encodeSettings();
    const std::string out = option(argc, argv, "--out");
    PictureView view;
    view.setSettings(&settings);
    if (mode == "encode") {
        view.send(MethodId::Load, option(argc, argv, "--file"));
        view.send(MethodId::EncodePicture, out);
        return fileExists(out) ? 0 : 1;
    }
    std::fprintf(stderr, "unknown child mode %s\n", mode.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string child = option(argc, argv, "--child");
    if (!child.empty())
        return runChild(child, argc, argv);

    const std::string corpus = option(argc, argv, "--corpus", "build/bench-corpus");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    stillEncode(corpus, selfPath(), scratch);
    animationEncode(corpus, scratch);
    return 0;
}
