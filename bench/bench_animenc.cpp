// Animated WebP encoding against libwebp's own tools: three 60-frame 1280 x 720 PNG directories
// (screen recording, video, flat colours) against img2webp, and a 100-frame GIF against gif2webp. For
// each input, ours lossy and ours mixed next to the tool's lossy and mixed runs, in interleaved rounds:
// output bytes, mean PSNR of the decoded canvases against the source canvases, and wall time.
//
//   bench_animenc --corpus DIR [--rounds N] [--only screen|video|flat|gif] [--thread-level N]
//
// The inputs are in DIR/animenc, made by bench/animenc_corpus.sh. --thread-level replaces the
// encoder's own choice of libwebp's thread_level, for comparing the two.

#include "harness.h"
#include "references.h"

#include "encoding/AnimationEncoder.h"
#include "import/AnimationReaders.h"
#include "import/ImportPictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace bench;

namespace {

constexpr int kDirectoryFrameMs = 100;
constexpr double kPsnrCap = 99.0;        // an exact frame counts as this many dB
constexpr double kPsnrTolerance = 0.005; // "equal PSNR": within the rounding of the printed figure

// ---- canvases and PSNR ----------------------------------------------------------------------------

// The canvases an animation shows, 0xAARRGGBB, each from its start time; the colour of fully
// transparent pixels is cleared, as it cannot be seen.
struct Canvases {
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::uint32_t>> frames;
    std::vector<int> starts;
    int endMs = 0;
    bool ok = false;

    void add(const std::uint32_t* pixels, int durationMs)
    {
        std::vector<std::uint32_t> frame(pixels, pixels + std::size_t(width) * std::size_t(height));
        for (std::uint32_t& p : frame)
            p = (p >> 24) == 0 ? 0 : p;
        frames.push_back(std::move(frame));
        starts.push_back(endMs);
        endMs += durationMs;
    }
};

double framePsnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const int d = int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF);
            sum += std::uint64_t(d * d);
        }
    if (sum == 0)
        return kPsnrCap;
    const double mse = double(sum) / (double(a.size()) * 4.0);
    return std::min(kPsnrCap, 10.0 * std::log10(255.0 * 255.0 / mse));
}

// What libwebp's animation decoder shows for a file (a still WebP is one frame).
Canvases decodeWebP(const std::vector<std::uint8_t>& file)
{
    Canvases out;
    WebPAnimDecoderOptions options;
    if (file.empty() || !WebPAnimDecoderOptionsInit(&options))
        return out;
    options.color_mode = MODE_BGRA; // 0xAARRGGBB on this little-endian machine
    options.use_threads = 0;
    const WebPData data{file.data(), file.size()};
    const AnimDecoderPtr decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info{};
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        return out;
    out.width = int(info.canvas_width);
    out.height = int(info.canvas_height);
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        std::uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp))
            return out;
        out.add(reinterpret_cast<const std::uint32_t*>(pixels), timestamp - out.endMs);
    }
    out.ok = !out.frames.empty();
    return out;
}

struct Fidelity {
    double meanPsnr = kNone;
    double minPsnr = kNone;
    bool timingRight = false;
};

// Every source canvas against the decoded canvas shown at its start time.
Fidelity compare(const Canvases& decoded, const Canvases& source)
{
    Fidelity out;
    if (!decoded.ok || decoded.width != source.width || decoded.height != source.height)
        return out;
    double sum = 0;
    out.minPsnr = kPsnrCap;
    for (std::size_t i = 0; i < source.frames.size(); ++i) {
        const auto shown = std::upper_bound(decoded.starts.begin(), decoded.starts.end(), source.starts[i]);
        const std::size_t j = std::size_t(std::max<std::ptrdiff_t>(0, shown - decoded.starts.begin() - 1));
        const double psnr = framePsnr(decoded.frames[j], source.frames[i]);
        sum += psnr;
        out.minPsnr = std::min(out.minPsnr, psnr);
    }
    out.meanPsnr = sum / double(source.frames.size());
    out.timingRight = decoded.endMs == source.endMs;
    return out;
}

Canvases loadPngs(const std::vector<std::string>& files)
{
    Canvases out;
    for (const std::string& file : files) {
        const QImage image = QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32);
        if (image.isNull() || (out.width && (image.width() != out.width || image.height() != out.height)))
            return out;
        out.width = image.width();
        out.height = image.height();
        std::vector<std::uint32_t> rows(std::size_t(out.width) * std::size_t(out.height));
        for (int y = 0; y < out.height; ++y)
            std::copy_n(reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)), out.width,
                        rows.begin() + std::ptrdiff_t(y) * out.width);
        out.add(rows.data(), kDirectoryFrameMs);
    }
    out.ok = !out.frames.empty();
    return out;
}

// The GIF through our frame source. The one place that names the reader class.
std::unique_ptr<quorvanta::FrameSource> openGif(const std::string& path)
{
    return std::make_unique<quorvanta::AnimationFileReader>(path);
}

Canvases readSource(quorvanta::FrameSource& source)
{
    Canvases out;
    out.width = int(source.canvasWidth());
    out.height = int(source.canvasHeight());
    for (;;) {
        quorvanta::AnimationFrame frame;
        const quorvanta::FrameSource::Read read = source.next(frame);
        if (read == quorvanta::FrameSource::Read::End || read == quorvanta::FrameSource::Read::Failed)
            break;
        if (read == quorvanta::FrameSource::Read::Frame && int(frame.width) == out.width &&
            int(frame.height) == out.height)
            out.add(frame.pixels.get(), frame.durationMs);
    }
    out.ok = !out.frames.empty();
    return out;
}

int identicalFrames(const Canvases& a, const Canvases& b)
{
    int same = 0;
    for (std::size_t i = 0; i < std::min(a.frames.size(), b.frames.size()); ++i)
        same += a.frames[i] == b.frames[i] && a.starts[i] == b.starts[i] ? 1 : 0;
    return same;
}

// ---- the contenders -------------------------------------------------------------------------------

// Processor time of this process (all its threads) and of its waited-for children, in milliseconds:
// on a machine shared with other work the wall times stretch, this does not.
double cpuMs()
{
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            total += double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0;
    }
    return total;
}

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return !bytes.empty() && bool(out);
}

// The user's settings of the comparison: quality 50, speed (method) 0, and libwebp's default filter
// (strength 60, sharpness 0), which img2webp and gif2webp use, so that only the encoders differ.
int threadLevelOverride = -1; // --thread-level; -1: the encoder's own choice

quorvanta::AnimationSettings settingsFor(bool mixed)
{
    quorvanta::EncodeSettings encode;
    encode.lossless = 0;
    encode.quality = 50;
    encode.method = 0;
    encode.filterStrength = 60;
    encode.filterSharpness = 0;
    quorvanta::AnimationSettings settings = quorvanta::makeAnimationSettings(encode, mixed, 0, 0xFFFFFFFF);
    if (threadLevelOverride >= 0)
        settings.threadLevel = threadLevelOverride;
    return settings;
}

struct Contender {
    Contender(std::string labelText, std::string outPath) : label(std::move(labelText)), out(std::move(outPath)) {}

    std::string label;
    std::string out;
    std::function<void()> run;
    std::uint64_t bytes = 0;
    Fidelity fidelity;
    double ms = kNone;
    std::vector<double> cpuSamples;
    double cpu = kNone;
};

// Our encoder on one input with the given settings: the file's bytes.
using Encoder = std::function<std::vector<std::uint8_t>(const quorvanta::AnimationSettings&)>;

struct Input {
    std::string name;
    std::string peer; // img2webp or gif2webp
    double timeLimit = 1.0;
    Canvases source;
    std::vector<Contender> ours;  // lossy, mixed
    std::vector<Contender> peers; // in the same order: the one each of ours is timed against
    std::string note;             // what the source and the timing split say
    Encoder encode;
};

void measure(Input& input, int rounds)
{
    std::vector<std::function<void()>> work;
    for (std::size_t i = 0; i < input.ours.size(); ++i)
        for (Contender* c : {&input.ours[i], &input.peers[i]})
            work.push_back([c] {
                const double before = cpuMs();
                c->run();
                c->cpuSamples.push_back(cpuMs() - before);
            });
    progress(input.name + ": " + std::to_string(rounds) + " rounds of " + std::to_string(work.size()) + " encodes");
    const auto times = interleaved(work, {rounds, rounds, 0});
    for (std::size_t i = 0; i < input.ours.size(); ++i) {
        for (Contender* c : {&input.ours[i], &input.peers[i]}) {
            c->ms = median(times[std::size_t(c == &input.ours[i] ? 2 * i : 2 * i + 1)]);
            c->cpuSamples.erase(c->cpuSamples.begin()); // the warm-up round's
            c->cpu = median(c->cpuSamples);
            const std::vector<std::uint8_t> file = readFile(c->out);
            c->bytes = file.size();
            c->fidelity = compare(decodeWebP(file), input.source);
        }
    }
}

std::string psnrText(const Fidelity& f)
{
    return formatNumber(f.meanPsnr) + " dB (min " + formatNumber(f.minPsnr) + ")";
}

bool wrong(const Contender& c)
{
    return c.bytes == 0 || std::isnan(c.fidelity.meanPsnr) || !c.fidelity.timingRight || c.fidelity.meanPsnr < 25;
}

// When none of ours reaches the smallest peer's PSNR at the same quality: the quality one step at a time
// higher until ours does, for the bytes ours needs at the peer's PSNR (a row each); the smaller of the
// two is what ours needs at equal PSNR.
struct MatchedQuality {
    std::size_t bytes = 0;
    double psnr = 0;
    int quality = 0;
    std::string label;
};

std::optional<MatchedQuality> reportMatchedQuality(const Input& input, const Contender& peer)
{
    std::optional<MatchedQuality> smallest;
    for (const bool mixed : {false, true}) {
        quorvanta::AnimationSettings settings = settingsFor(mixed);
        for (int quality = settings.quality + 1; quality <= settings.quality + 10; ++quality) {
            settings.quality = quality;
            const std::vector<std::uint8_t> file = input.encode(settings);
            const Fidelity fidelity = compare(decodeWebP(file), input.source);
            if (fidelity.meanPsnr < peer.fidelity.meanPsnr - kPsnrTolerance)
                continue;
            const std::string label = mixed ? "ours mixed" : "ours lossy";
            Row row("animation encode: bytes at the peer's PSNR", input.name + ", " + label,
                    double(file.size()) / 1024.0, "smallest peer: " + peer.label, double(peer.bytes) / 1024.0);
            row.unit = "KiB";
            row.note = "ours at quality " + std::to_string(quality) + ": PSNR " + formatNumber(fidelity.meanPsnr) +
                       " dB vs " + formatNumber(peer.fidelity.meanPsnr) + " dB";
            emit(row);
            if (!smallest || file.size() < smallest->bytes)
                smallest = MatchedQuality{file.size(), fidelity.meanPsnr, quality, label};
            break;
        }
    }
    return smallest;
}

void report(const Input& input)
{
    const auto smallestPeer = std::min_element(input.peers.begin(), input.peers.end(),
                                               [](const Contender& a, const Contender& b) { return a.bytes < b.bytes; });
    for (std::size_t i = 0; i < input.ours.size(); ++i) {
        const Contender& ours = input.ours[i];
        const Contender& peer = input.peers[i];
        Row size("animation encode: bytes", input.name + ", " + ours.label, double(ours.bytes) / 1024.0,
                 peer.label, double(peer.bytes) / 1024.0);
        size.unit = "KiB";
        size.wrong = wrong(ours) || wrong(peer);
        size.note = "PSNR ours " + psnrText(ours.fidelity) + ", peer " + psnrText(peer.fidelity);
        emit(size);
        Row time("animation encode: wall time", input.name + ", " + ours.label, ours.ms, peer.label + " (process)",
                 peer.ms);
        time.ratioLimit = input.timeLimit;
        time.target = "<= " + formatNumber(input.timeLimit) + "x";
        time.wrong = size.wrong;
        time.note = "processor time ours " + formatNumber(ours.cpu) + " ms, peer " + formatNumber(peer.cpu) +
                    " ms (" + formatNumber(ours.cpu / peer.cpu) + "x); " + input.note;
        emit(time);
    }
    // The smallest of ours that is at least as good as the smallest peer.
    const Contender* best = nullptr;
    for (const Contender& c : input.ours)
        if (!wrong(c) && c.fidelity.meanPsnr >= smallestPeer->fidelity.meanPsnr - kPsnrTolerance &&
            (!best || c.bytes < best->bytes))
            best = &c;
    Row verdict("animation encode: bytes at equal or higher PSNR", input.name,
                best ? double(best->bytes) / 1024.0 : kNone, "smallest peer: " + smallestPeer->label,
                double(smallestPeer->bytes) / 1024.0);
    verdict.unit = "KiB";
    verdict.ratioLimit = 1.0;
    verdict.target = "<= 1.0x";
    verdict.wrong = wrong(*smallestPeer);
    verdict.note = best ? "ours: " + best->label + ", PSNR " + formatNumber(best->fidelity.meanPsnr) + " dB vs " +
                              formatNumber(smallestPeer->fidelity.meanPsnr) + " dB"
                        : "none of ours reaches the peer's PSNR of " +
                              formatNumber(smallestPeer->fidelity.meanPsnr) + " dB";
    if (!best) {
        // Equal PSNR reached by a higher quality setting: its bytes are ours at equal PSNR.
        const std::optional<MatchedQuality> matched = reportMatchedQuality(input, *smallestPeer);
        if (matched) {
            verdict.ours = double(matched->bytes) / 1024.0;
            verdict.note = "ours: " + matched->label + " at quality " + std::to_string(matched->quality) + ", PSNR " +
                           formatNumber(matched->psnr) + " dB vs " + formatNumber(smallestPeer->fidelity.meanPsnr) +
                           " dB; at the peer's quality ours gives " + formatNumber(input.ours.front().fidelity.meanPsnr) +
                           " dB in " + formatNumber(double(input.ours.front().bytes) / 1024.0) + " KiB";
        } else {
            verdict.ours = double(input.ours.front().bytes) / 1024.0; // shown, but the verdict is MISSED
            verdict.ratioLimit = -1;
        }
    }
    emit(verdict);
}

std::vector<std::string> pngFiles(const std::string& dir)
{
    std::vector<std::string> files;
    for (const QString& name : QDir(QString::fromStdString(dir)).entryList({"*.png"}, QDir::Files, QDir::Name))
        files.push_back(dir + "/" + name.toStdString());
    return files;
}

// Where our time goes, one run each: importing every file on one thread, and the encoder alone on
// frames imported beforehand.
std::string directorySplit(const std::vector<std::string>& files)
{
    std::vector<quorvanta::PictureRecord> records(files.size());
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < files.size(); ++i)
        quorvanta::ImportPictureFile(files[i], records[i]);
    const auto t1 = Clock::now();
    std::string text = "import alone (1 thread) " + formatNumber(msBetween(t0, t1)) + " ms; encoder alone";
    for (const bool mixed : {false, true}) {
        const auto start = Clock::now();
        quorvanta::AnimationAssembler assembler(records[0].width, records[0].height, settingsFor(mixed));
        for (const quorvanta::PictureRecord& r : records)
            assembler.add({r.pixels.get(), r.width, r.height, 0, quorvanta::PixelOrder::Argb32}, kDirectoryFrameMs);
        assembler.finish();
        text += std::string(mixed ? ", mixed " : " lossy ") + formatNumber(msBetween(start, Clock::now())) + " ms";
    }
    return text;
}

Input directoryInput(const std::string& name, const std::string& dir, const std::string& scratch)
{
    Input input;
    input.name = name;
    input.timeLimit = 0.8;
    const std::vector<std::string> files = pngFiles(dir);
    input.source = loadPngs(files);
    input.encode = [files](const quorvanta::AnimationSettings& settings) {
        return quorvanta::EncodeAnimationFiles(files, settings, kDirectoryFrameMs, quorvanta::ImportPictureFile,
                                               quorvanta::ProbePictureFile)
            .bytes;
    };
    const std::string d = std::to_string(kDirectoryFrameMs);
    for (const bool mixed : {false, true}) {
        const std::string stem = scratch + "/" + name.substr(0, name.find(' '));
        Contender ours(std::string("ours ") + (mixed ? "mixed" : "lossy"), stem + (mixed ? "_ours_mixed.webp" : "_ours_lossy.webp"));
        ours.run = [encode = input.encode, mixed, out = ours.out] { writeBytes(out, encode(settingsFor(mixed))); };
        std::vector<std::string> args = {"img2webp", mixed ? "-mixed" : "-lossy", "-q", "50", "-m", "0", "-d", d};
        Contender peer("img2webp " + args[1] + " -q 50 -m 0 -d " + d,
                       stem + (mixed ? "_img2webp_mixed.webp" : "_img2webp_lossy.webp"));
        args.insert(args.end(), files.begin(), files.end());
        args.insert(args.end(), {"-o", peer.out});
        peer.run = [args] { runProcess(args); };
        input.ours.push_back(std::move(ours));
        input.peers.push_back(std::move(peer));
    }
    input.note = directorySplit(files);
    return input;
}

Input gifInput(const std::string& gif, const std::string& scratch)
{
    Input input;
    input.name = "GIF 100 x 480x360";
    input.timeLimit = 1.0;
    // What the GIF shows: gif2webp's lossless frames, composed by giflib and gif2webp.
    const std::string shown = scratch + "/gif_shown.webp";
    runProcess({"gif2webp", gif, "-o", shown});
    input.source = decodeWebP(readFile(shown));
    input.encode = [gif](const quorvanta::AnimationSettings& settings) {
        const std::unique_ptr<quorvanta::FrameSource> source = openGif(gif);
        return quorvanta::EncodeAnimation(*source, settings).bytes;
    };
    const std::vector<std::vector<std::string>> peerArgs = {
        {"gif2webp"}, {"gif2webp", "-lossy", "-mixed", "-q", "50", "-m", "0"}};
    for (const bool mixed : {false, true}) {
        Contender ours(std::string("ours ") + (mixed ? "mixed" : "lossy"), scratch + (mixed ? "/gif_ours_mixed.webp" : "/gif_ours_lossy.webp"));
        ours.run = [encode = input.encode, mixed, out = ours.out] { writeBytes(out, encode(settingsFor(mixed))); };
        std::vector<std::string> args = peerArgs[mixed ? 1 : 0];
        std::string label;
        for (const std::string& a : args)
            label += (label.empty() ? "" : " ") + a;
        Contender peer(label, scratch + (mixed ? "/gif_gif2webp_mixed.webp" : "/gif_gif2webp.webp"));
        args.insert(args.end(), {gif, "-o", peer.out});
        peer.run = [args] { runProcess(args); };
        input.ours.push_back(std::move(ours));
        input.peers.push_back(std::move(peer));
    }
    // Our reader against what gif2webp shows, and where our time goes.
    const auto t0 = Clock::now();
    const Canvases ours = readSource(*openGif(gif));
    const double readMs = msBetween(t0, Clock::now());
    input.note = "our reader: " + std::to_string(identicalFrames(ours, input.source)) + "/" +
                 std::to_string(input.source.frames.size()) + " canvases as gif2webp shows them; reading alone " +
                 formatNumber(readMs) + " ms";
    if (!input.source.ok)
        input.note = "gif2webp failed: no source canvases";
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string corpus = option(argc, argv, "--corpus", "build/bench-corpus") + "/animenc";
    const int rounds = std::max(3, std::atoi(option(argc, argv, "--rounds", "3").c_str()));
    const std::string only = option(argc, argv, "--only");
    threadLevelOverride = std::atoi(option(argc, argv, "--thread-level", "-1").c_str());
    QTemporaryDir scratch;
    const std::string dir = scratch.path().toStdString();
    const std::vector<std::pair<std::string, std::string>> directories = {
        {"screen 60 x 1280x720", "screen"}, {"video 60 x 1280x720", "video"}, {"flat 60 x 1280x720", "flat"}};
    for (const auto& [name, sub] : directories) {
        if (!only.empty() && only != sub)
            continue;
        Input input = directoryInput(name, corpus + "/" + sub, dir);
        measure(input, rounds);
        report(input);
    }
    if (!only.empty() && only != "gif")
        return 0;
    Input gif = gifInput(corpus + "/anim.gif", dir);
    measure(gif, rounds);
    report(gif);
    return 0;
}
