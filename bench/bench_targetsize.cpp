// Target size: our quality bisection (EncodeToTargetSize) against libwebp's own size search
// (config.target_size with config.pass), on photographs cut from the conformance files and on
// pictures drawn here, opaque and with alpha. For each picture three targets are asked: the sizes of
// its files at quality 30, 60 and 85, less 3%. Reported per way: how close the file came to the
// target (size / target), how often it went over, encodings (or libwebp passes) and time.
//
//   bench_targetsize [--method M] [picture ...]   (default pictures: ../shared/testdata/conformance)

#include "harness.h"

#include "encoding/EncodeStillWebP.h"
#include "encoding/TargetSize.h"
#include "encoding/WebPHandles.h"
#include "import/ImportPictureFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>

#include <map>

using namespace bench;
using quorvanta::EncodeSettings;
using quorvanta::PictureRecord;

namespace {

// The picture as the importer hands it over, from PNG bytes made in memory.
PictureRecord recordOf(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    PictureRecord record;
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
        quorvanta::ImportPictureBytes(
            std::span(reinterpret_cast<const std::uint8_t*>(png.constData()), std::size_t(png.size())), record);
    return record;
}

// A drawing: flat shapes and text-like strokes, with a soft alpha edge when asked.
QImage drawing(int width, int height, bool alpha)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int band = (x / 40 + y / 30) % 5;
            const int stroke = (x * 7 + y * 3) % 53 < 3 ? 0 : 255;
            const int a = alpha ? std::min(255, (x + y) * 255 / (width / 2 + 1)) : 255;
            image.setPixel(x, y, qRgba(band * 50 & stroke, 200 - band * 30, int(random.bounded(16)) + 120, a));
        }
    return image;
}

// libwebp's own search: one WebPEncode with target_size and `pass` passes, as EncodeStillWebP sets
// up the encoder otherwise.
std::vector<std::uint8_t> libwebpTarget(PictureRecord& record, const EncodeSettings& s, std::uint64_t target, int pass)
{
    WebPConfig config;
    WebPConfigPreset(&config, WEBP_PRESET_PHOTO, 50.0f);
    config.quality = float(s.quality);
    config.method = s.method;
    config.filter_strength = s.filterStrength;
    config.filter_sharpness = s.filterSharpness;
    config.target_size = int(target);
    config.pass = pass;
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = int(record.width);
    picture.height = int(record.height);
    picture.argb = record.pixels.get();
    picture.argb_stride = int(record.width);
    quorvanta::MemoryWriter writer;
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = writer.get();
    const bool ok = WebPPictureARGBToYUVA(&picture, WEBP_YUV420) && WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    return ok ? std::vector<std::uint8_t>(writer.data(), writer.data() + writer.size()) : std::vector<std::uint8_t>{};
}

std::uint64_t sizeAt(PictureRecord& record, EncodeSettings s, int quality)
{
    s.quality = quality;
    quorvanta::MemoryWriter writer;
    if (!quorvanta::EncodeStillWebP({}, record, s, writer.get(), 1))
        return 0;
    return writer.size();
}

struct Tally {
    std::vector<double> ratios, ms;
    int over = 0, cases = 0, work = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    EncodeSettings settings;
    std::vector<std::pair<std::string, QImage>> pictures;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--method" && i + 1 < argc)
            settings.method = std::atoi(argv[++i]);
        else
            pictures.emplace_back(argv[i], QImage(QString::fromLocal8Bit(argv[i])));
    }
    if (pictures.empty()) {
        const QString dir = QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/../../shared/testdata/conformance/";
        const QImage bryce(dir + "bryce.webp");
        for (int i = 0; i < 3; ++i)
            pictures.emplace_back("bryce crop " + std::to_string(i), bryce.copy(i * 3500, 400, 1024, 768));
        pictures.emplace_back("lossless_color_transform", QImage(dir + "lossless_color_transform.tiff"));
        pictures.emplace_back("peak", QImage(dir + "peak.png"));
        QImage withAlpha = bryce.copy(1000, 0, 800, 600).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < withAlpha.height(); ++y)
            for (int x = 0; x < withAlpha.width(); ++x)
                withAlpha.setPixel(x, y, (withAlpha.pixel(x, y) & 0xFFFFFF) | (std::uint32_t(x * 255 / 799) << 24));
        pictures.emplace_back("bryce crop with alpha ramp", withAlpha);
        pictures.emplace_back("drawing", drawing(800, 600, false));
        pictures.emplace_back("drawing with alpha", drawing(800, 600, true));
    }

    std::map<std::string, Tally> tallies;
    const std::vector<std::string> ways = {"bisection", "libwebp pass 6", "libwebp pass 10"};
    for (auto& [name, image] : pictures) {
        if (image.isNull()) {
            std::fprintf(stderr, "bench_targetsize: cannot read %s\n", name.c_str());
            continue;
        }
        PictureRecord record = recordOf(image);
        if (!record.pixels) {
            std::fprintf(stderr, "bench_targetsize: cannot import %s\n", name.c_str());
            continue;
        }
        for (const int quality : {30, 60, 85}) {
            const std::uint64_t target = sizeAt(record, settings, quality) * 97 / 100;
            for (const auto& way : ways) {
                Tally& t = tallies[way];
                std::vector<std::uint8_t> webp;
                int work = 0;
                const auto t0 = Clock::now();
                if (way == "bisection") {
                    auto result = quorvanta::EncodeToTargetSize(record, settings, target);
                    webp = std::move(result.webp);
                    work = result.encodes;
                } else {
                    work = way == "libwebp pass 6" ? 6 : 10;
                    webp = libwebpTarget(record, settings, target, work);
                }
                t.ms.push_back(msBetween(t0, Clock::now()));
                const double ratio = double(webp.size()) / double(target);
                t.ratios.push_back(ratio);
                t.over += webp.size() > target;
                t.work += work;
                ++t.cases;
                std::printf("%-28s q%-3d target %8llu  %-16s %8zu bytes  %6.3f  %7.1f ms\n", name.c_str(), quality,
                            static_cast<unsigned long long>(target), way.c_str(), webp.size(), ratio, t.ms.back());
            }
        }
    }
    std::printf("\nmethod %d\n%-16s %10s %10s %10s %8s %14s %10s\n", settings.method, "way", "min ratio", "median",
                "max ratio", "over", "encodes/passes", "median ms");
    for (const auto& way : ways) {
        const Tally& t = tallies[way];
        std::printf("%-16s %10.3f %10.3f %10.3f %4d/%-3d %14.1f %10.1f\n", way.c_str(), quantile(t.ratios, 0),
                    median(t.ratios), quantile(t.ratios, 1), t.over, t.cases, double(t.work) / t.cases, median(t.ms));
    }
    return 0;
}
