#pragma once
// Shared by the encoding suites: pictures made at test time, a PNG loader standing in for the
// picture importer, fixed settings, a scripted requester and WebP decoding for comparisons.

#include "TestSupport.h"
#include "app/Requesters.h"
#include "import/ImportPictureFile.h"
#include "pictureview/PictureRecord.h"
#include "pictureview/PictureView.h"
#include "pictureview/SettingsSource.h"

#include <QDir>
#include <QProgressBar>
#include <QSlider>
#include "pictureview/BusyPointer.h"
#include <QImage>
#include <QRandomGenerator>

#include <webp/decode.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <cstring>
#include <vector>

namespace quorvanta {

// Reaches the picture object's instance data, as the loaders of other subsystems would fill it.
struct PictureViewTestAccess {
    static InstanceData& data(PictureView& view) { return view.d; }
};

} // namespace quorvanta

namespace fixtures {

using namespace quorvanta;

// A smooth gradient with some brightness noise, so that lossy coding has real work; with alpha, a
// ramp that includes fully transparent and fully opaque pixels.
inline QImage makePicture(int width, int height, bool alpha, quint32 seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            const int r = std::min(255, x * 230 / std::max(1, width - 1) + noise);
            const int g = std::min(255, (y * 200 / std::max(1, height - 1) + int(seed) * 40) % 230 + noise);
            const int b = std::min(255, (x + y) % 230 + noise);
            const int a = alpha ? (x * 255 / std::max(1, width - 1)) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

inline bool savePng(const QImage& image, const QString& path)
{
    return image.save(path, "PNG");
}

// Stands in for the picture importer: a PNG (or any format Qt reads) into 0xAARRGGBB pixels.
inline int loadWithQt(const std::string& path, PictureRecord& record)
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

inline std::vector<std::uint32_t> pixelsOf(const PictureRecord& record)
{
    return {record.pixels.get(), record.pixels.get() + record.size / 4};
}

// Decoded pixels as 0xAARRGGBB values (BGRA bytes on this little-endian machine).
struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

inline Decoded decodeWebP(const QByteArray& bytes)
{
    Decoded out;
    std::uint8_t* data = WebPDecodeBGRA(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                        std::size_t(bytes.size()), &out.width, &out.height);
    if (data) {
        out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
        std::memcpy(out.pixels.data(), data, out.pixels.size() * 4);
        WebPFree(data);
    }
    return out;
}

// Peak signal-to-noise ratio over the four channels.
inline double psnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const double d = double((a[i] >> shift) & 255) - double((b[i] >> shift) & 255);
            sum += d * d;
        }
    const double mse = sum / double(a.size() * 4);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

class FixedSettings : public SettingsSource {
public:
    bool losslessValue = false;
    int qualityValue = 50;
    int speedValue = 0;
    std::array<std::uint32_t, 3> color{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    QString durationText = QStringLiteral("1000");
    int loops = 0;
    int strength = 0;
    int sharpness = 0;

    bool lossless() const override { return losslessValue; }
    int quality() const override { return qualityValue; }
    int speed() const override { return speedValue; }
    std::array<std::uint32_t, 3> backgroundColor() const override { return color; }
    QString frameDurationText() const override { return durationText; }
    int frameDuration() const override { return readFieldInteger(durationText); }
    int loopCount() const override { return loops; }
    int filterStrength() const override { return strength; }
    int filterSharpness() const override { return sharpness; }
};

// Answers every requester with the next scripted answer and remembers what was asked.
class ScriptedBackend : public RequesterBackend {
public:
    explicit ScriptedBackend(std::vector<RequestAnswer>& answers, std::vector<RequestOptions>& asked)
        : answers(answers), asked(asked) {}
    RequestAnswer ask(const RequestOptions& options) override
    {
        asked.push_back(options);
        if (answers.empty())
            return {};
        RequestAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

private:
    std::vector<RequestAnswer>& answers;
    std::vector<RequestOptions>& asked;
};

inline RequestAnswer chosen(const QString& path)
{
    const int slash = int(path.lastIndexOf(u'/'));
    return {RequestAnswer::Outcome::Chosen, path.left(slash).toStdString(), path.mid(slash + 1).toStdString()};
}

// True once the picture importer reads PNG files (it is built separately).
inline bool importerReadsPng()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("probe.png"));
    PictureRecord record;
    return savePng(makePicture(4, 4, false, 1), png) && ImportPictureFile(png.toStdString(), record) == 1;
}

#define REQUIRE_IMPORTER()                                                                               \
    do {                                                                                                 \
        if (!fixtures::importerReadsPng())                                                               \
            QSKIP("ImportPictureFile does not read PNG files in this build yet");                        \
    } while (false)

// Entries of a directory, hidden ones included: shows temporary files left behind.
inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// Frames of an animated WebP, read with libwebp's demuxer.
struct AnimationInfo {
    int frames = 0;
    int loopCount = -1;
    std::uint32_t background = 0;
    std::vector<int> durations;
    std::vector<QSize> sizes;
    std::vector<QPoint> offsets;
    std::vector<std::vector<std::uint32_t>> pixels; // each frame's own bitstream decoded
    bool ok = false;
};

inline AnimationInfo readAnimation(const QByteArray& bytes)
{
    AnimationInfo info;
    WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux)
        return info;
    info.ok = true;
    info.frames = int(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT));
    info.loopCount = int(WebPDemuxGetI(demux, WEBP_FF_LOOP_COUNT));
    info.background = WebPDemuxGetI(demux, WEBP_FF_BACKGROUND_COLOR);
    WebPIterator it;
    if (WebPDemuxGetFrame(demux, 1, &it)) {
        do {
            info.durations.push_back(it.duration);
            info.sizes.emplace_back(it.width, it.height);
            info.offsets.emplace_back(it.x_offset, it.y_offset);
            info.pixels.push_back(decodeWebP(QByteArray(reinterpret_cast<const char*>(it.fragment.bytes),
                                                         qsizetype(it.fragment.size))).pixels);
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
    }
    WebPDemuxDelete(demux);
    return info;
}

using testsupport::StdoutCapture;

// The picture object with the window parts it reaches into.
struct Window {
    QWidget root;
    QWidget* encodePicturePanel = new QWidget(&root);
    QWidget* animationBar = new QWidget(&root);
    QWidget* encodeAnimationPanel = new QWidget(&root);
    QSlider* slider = new QSlider(&root);
    QProgressBar* gauge = new QProgressBar(&root);
    FixedSettings settings;
    std::vector<RequestAnswer> answers;
    std::vector<RequestOptions> asked;
    Requesters requesters{std::make_unique<ScriptedBackend>(answers, asked)};
    PictureView view;
    std::vector<int> gaugeValues;
    bool gaugeSeenWithBusyPointer = false;

    Window()
    {
        gauge->setRange(0, 100);
        gauge->hide();
        animationBar->hide();
        encodeAnimationPanel->hide();
        view.setHandles({&root, encodePicturePanel, animationBar, slider, encodeAnimationPanel, gauge, &settings,
                         &requesters});
        QObject::connect(gauge, &QProgressBar::valueChanged, gauge, [this](int value) {
            gaugeValues.push_back(value);
            if (value > 0 && !gauge->isHidden() && BusyPointer::active())
                gaugeSeenWithBusyPointer = true;
        });
    }

    InstanceData& d() { return PictureViewTestAccess::data(view); }

    // As the loader leaves an imported picture, saved first as in.png in `dir`.
    void importPicture(const QTemporaryDir& dir, const QImage& picture)
    {
        const QString png = dir.filePath("in.png");
        QVERIFY(savePng(picture, png));
        QCOMPARE(loadWithQt(png.toStdString(), d().importBuffer), 1);
        d().importStatus = 1;
        d().mode = ModeImported;
    }
};

} // namespace fixtures
