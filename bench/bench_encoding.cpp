// Encoding benchmarks, each next to the reference tool in the same run:
//   still encode:     import + encode of a PNG vs cwebp with the same settings (and checks the bytes match)
//   animation encode: a 30-frame 1280x720 PNG directory vs img2webp -lossy -q 50 -m 0 -d 1000
// Usage: bench_encoding [corpus-dir] [runs]
// The corpus is made with ImageMagick when missing (seeded plasma pictures) and kept for later runs.

#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryList.h"
#include "encoding/EncodeStillWebP.h"
#include "import/ImportPictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace quorvanta;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsOf(const std::function<bool()>& work, bool* ok = nullptr)
{
    const auto start = Clock::now();
    const bool done = work();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (ok)
        *ok = *ok && done;
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool makePlasma(const QString& path, const QString& size, int seed)
{
    if (QFileInfo::exists(path))
        return true;
    return runTool(QStringLiteral("/usr/bin/convert"),
                   {QStringLiteral("-seed"), QString::number(seed), QStringLiteral("-size"), size,
                    QStringLiteral("plasma:fractal"), QStringLiteral("-depth"), QStringLiteral("8"),
                    QStringLiteral("PNG24:") + path});
}

// The picture importer when it reads PNG; otherwise Qt's reader, so the encoder can still be measured.
int qtImport(const std::string& path, PictureRecord& record)
{
    QImage image(QString::fromStdString(path));
    if (image.isNull())
        return -1;
    image = image.convertToFormat(QImage::Format_ARGB32);
    const auto count = std::uint64_t(image.width()) * std::uint64_t(image.height());
    record.pixels = allocZeroed<std::uint32_t>(count);
    if (!record.pixels)
        return -1;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(record.pixels.get() + std::uint64_t(y) * std::uint64_t(image.width()), image.constScanLine(y),
                    std::size_t(image.width()) * 4);
    record.size = count * 4;
    record.width = std::uint32_t(image.width());
    record.height = std::uint32_t(image.height());
    return 1;
}

PictureImporter chooseImporter(const QString& probe)
{
    PictureRecord record;
    if (ImportPictureFile(probe.toStdString(), record) == 1)
        return ImportPictureFile;
    std::printf("note: ImportPictureFile does not read PNG in this build; Qt's reader stands in\n");
    return qtImport;
}

void row(const char* what, double ours, double reference, const char* referenceName)
{
    std::printf("%-34s ours %9.1f ms   %-8s %9.1f ms   ratio ours/ref %.3f  (ref/ours %.2fx)\n", what, ours,
                referenceName, reference, ours / reference, reference / ours);
}

void benchStill(const QString& png, const PictureImporter& importer, int runs, const QString& scratch)
{
    const QString ours = scratch + QStringLiteral("/ours.webp");
    const QString theirs = scratch + QStringLiteral("/cwebp.webp");
    const EncodeSettings defaults; // lossy, quality 50, method 0, filter 0, sharpness 0
    const QStringList cwebpArgs{QStringLiteral("-quiet"), QStringLiteral("-preset"), QStringLiteral("photo"),
                                QStringLiteral("-q"), QStringLiteral("50"), QStringLiteral("-m"), QStringLiteral("0"),
                                QStringLiteral("-f"), QStringLiteral("0"), QStringLiteral("-sharpness"),
                                QStringLiteral("0"), QStringLiteral("-pre"), QStringLiteral("0"), png,
                                QStringLiteral("-o"), theirs};
    std::vector<double> oursMs, theirsMs, encodeOnlyMs;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        PictureRecord record;
        oursMs.push_back(millisecondsOf(
            [&] {
                return importer(png.toStdString(), record) == 1 &&
                       EncodeStillWebP(ours.toStdString(), record, defaults, nullptr, 0) == 1;
            },
            &ok));
        encodeOnlyMs.push_back(millisecondsOf(
            [&] { return EncodeStillWebP(ours.toStdString(), record, defaults, nullptr, 0) == 1; }, &ok));
        theirsMs.push_back(millisecondsOf([&] { return runTool(QStringLiteral("cwebp"), cwebpArgs); }, &ok));
    }
    QFile a(ours), b(theirs);
    const bool same = a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll();
    const QString label = QFileInfo(png).fileName();
    std::printf("still %s: %s, output %lld bytes (cwebp %lld bytes), byte-identical: %s\n", qPrintable(label),
                ok ? "ok" : "FAILED", static_cast<long long>(QFileInfo(ours).size()),
                static_cast<long long>(QFileInfo(theirs).size()), same ? "yes" : "NO");
    row("  import + encode vs cwebp", median(oursMs), median(theirsMs), "cwebp");
    std::printf("  %-32s ours %9.1f ms\n", "encode alone (pixels in memory)", median(encodeOnlyMs));
}

bool encodeAnimation(const std::vector<std::string>& files, const PictureImporter& importer, unsigned threads,
                     const QString& out)
{
    const MuxHandle mux = makeMux();
    FrameSettings settings; // lossy, quality 50, method 0, 1000 ms
    const EncodeOutcome outcome = EncodeDirectoryFrames(files, mux.get(), settings, importer, {}, threads);
    return outcome.framesPushed == int(files.size()) &&
           WriteAnimation(mux.get(), out.toStdString(), 0, 0xFFFFFFFF);
}

void benchAnimation(const QString& frameDir, const PictureImporter& importer, int runs, const QString& scratch)
{
    const DirectoryListing listing = ListDirectory(frameDir.toStdString());
    const std::vector<std::string> files = directoryFiles(listing);
    QStringList img2webpArgs{QStringLiteral("-lossy"), QStringLiteral("-q"), QStringLiteral("50"),
                             QStringLiteral("-m"), QStringLiteral("0"), QStringLiteral("-d"), QStringLiteral("1000")};
    for (const auto& file : files)
        img2webpArgs << QString::fromStdString(file);
    img2webpArgs << QStringLiteral("-o") << scratch + QStringLiteral("/img2webp.webp");
    const QString parallelOut = scratch + QStringLiteral("/anim-parallel.webp");
    const QString serialOut = scratch + QStringLiteral("/anim-serial.webp");
    std::vector<double> parallelMs, serialMs, referenceMs;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        parallelMs.push_back(millisecondsOf([&] { return encodeAnimation(files, importer, 0, parallelOut); }, &ok));
        referenceMs.push_back(millisecondsOf([&] { return runTool(QStringLiteral("img2webp"), img2webpArgs); }, &ok));
        serialMs.push_back(millisecondsOf([&] { return encodeAnimation(files, importer, 1, serialOut); }, &ok));
    }
    QFile a(parallelOut), b(serialOut);
    const bool same = a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll();
    std::printf("animation %zu frames: %s, output %lld bytes (img2webp %lld bytes), parallel == one thread: %s\n",
                files.size(), ok ? "ok" : "FAILED", static_cast<long long>(QFileInfo(parallelOut).size()),
                static_cast<long long>(QFileInfo(scratch + QStringLiteral("/img2webp.webp")).size()),
                same ? "yes" : "NO");
    row("  parallel vs img2webp", median(parallelMs), median(referenceMs), "img2webp");
    row("  one thread vs img2webp", median(serialMs), median(referenceMs), "img2webp");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString corpus = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/quorvanta-bench-corpus";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QString frameDir = corpus + QStringLiteral("/dir-1280x720");
    if (!QDir().mkpath(frameDir))
        return 1;
    std::printf("corpus %s, %d runs, medians\n", qPrintable(corpus), runs);
    bool made = makePlasma(corpus + QStringLiteral("/still-1920x1080.png"), QStringLiteral("1920x1080"), 11) &&
                makePlasma(corpus + QStringLiteral("/still-640x480.png"), QStringLiteral("640x480"), 12);
    for (int i = 1; i <= 30 && made; ++i)
        made = makePlasma(frameDir + QStringLiteral("/frame%1.png").arg(i, 2, 10, QLatin1Char('0')),
                          QStringLiteral("1280x720"), 100 + i);
    if (!made) {
        std::fprintf(stderr, "could not make the corpus (needs /usr/bin/convert)\n");
        return 1;
    }
    QTemporaryDir scratch;
    const PictureImporter importer = chooseImporter(corpus + QStringLiteral("/still-640x480.png"));
    benchStill(corpus + QStringLiteral("/still-1920x1080.png"), importer, runs, scratch.path());
    benchStill(corpus + QStringLiteral("/still-640x480.png"), importer, runs, scratch.path());
    benchAnimation(frameDir, importer, std::max(1, runs / 2 + 1), scratch.path());
    return 0;
}
