#pragma once
// Helpers shared by the picture object's suites: stand-in window parts, pictures made at test time,
// captured standard output and the libwebp command-line tools as oracles.

#include "TestSupport.h"
#include "pictureview/PictureView.h"
#include "viewing/PlaybackClock.h"

#include <QImage>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QSlider>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace viewingtest {

// Stand-ins for the parts of the main window that follow the picture object, made to follow it as
// the main window does: the panels of the controls that apply, the slider and the gauge.
struct Window {
    QWidget root;
    QWidget* encodePicturePanel = new QWidget(&root);
    QWidget* encodeAnimationPanel = new QWidget(&root);
    QWidget* animationBar = new QWidget(&root);
    QSlider* slider = new QSlider(Qt::Horizontal, animationBar);
    QProgressBar* gauge = new QProgressBar(&root);
    int sliderSignals = 0;

    Window()
    {
        slider->setRange(0, 1000);
        gauge->setRange(0, 100);
        gauge->hide();
        QObject::connect(slider, &QSlider::valueChanged, &root, [this] { ++sliderSignals; });
    }

    void attach(quorvanta::PictureView& view)
    {
        using quorvanta::PictureView;
        QObject::connect(&view, &PictureView::modeChanged, &root, [this](quorvanta::Mode mode) {
            const quorvanta::Controls controls = quorvanta::controlsFor(mode);
            encodePicturePanel->setVisible(controls.encodePicture);
            animationBar->setVisible(controls.playback);
            encodeAnimationPanel->setVisible(controls.encodeAnimation);
        });
        QObject::connect(&view, &PictureView::frameCountChanged, slider, &QSlider::setMaximum);
        QObject::connect(&view, &PictureView::currentFrameChanged, slider, [this](std::int32_t frame) {
            const QSignalBlocker quiet(slider);
            slider->setValue(frame);
        });
        QObject::connect(&view, &PictureView::progressShown, gauge, &QWidget::setVisible);
        QObject::connect(&view, &PictureView::progressChanged, gauge, &QProgressBar::setValue);
    }

    // Visibility as set by the object (the root itself is never shown).
    static bool shown(const QWidget* w) { return !w->isHidden(); }
};

// Gives the view a clock driven by hand and sets it up, as showing the window would.
inline quorvanta::ManualPlaybackClock* useManualClock(quorvanta::PictureView& view)
{
    auto manual = std::make_unique<quorvanta::ManualPlaybackClock>();
    quorvanta::ManualPlaybackClock* clock = manual.get();
    view.setClock(std::move(manual));
    view.send(quorvanta::MethodId::Setup);
    return clock;
}

using testsupport::StdoutCapture;

// A picture with structure everywhere (gradients, and noise unless it is meant for lossy coding),
// optionally with varied alpha.
inline QImage makePicture(int width, int height, quint32 seed, bool alpha, bool noise = true)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255 / std::max(width - 1, 1) + int(seed) * 40) & 255;
            const int g = (y * 255 / std::max(height - 1, 1)) & 255;
            const int b = noise ? int(random.bounded(256)) : (x * y + int(seed) * 9) % 256;
            int a = 255;
            if (alpha)
                a = (x + y) % 7 == 0 ? 0 : ((x * 37 + y * 11 + int(seed)) % 5 == 0 ? int(random.bounded(256)) : 255);
            image.setPixel(x, y, qRgba(r, g, b, a));
        }
    return image;
}

// Writes `image` as PNG and encodes it with cwebp; extra arguments select lossless, quality and so on.
inline bool makeWebP(const QString& dir, const QString& name, const QImage& image, const QStringList& cwebpArgs)
{
    const QString png = dir + QLatin1Char('/') + name + QStringLiteral(".src.png");
    if (!image.save(png))
        return false;
    return testsupport::run(QStringLiteral("cwebp"),
                            QStringList(cwebpArgs) << QStringLiteral("-quiet") << png << QStringLiteral("-o")
                                                   << dir + QLatin1Char('/') + name);
}

// A PAM file's RGBA samples and size; empty on any mismatch.
struct Pam {
    int width = 0, height = 0;
    QByteArray rgba;
};

inline Pam readPam(const QByteArray& bytes)
{
    Pam pam;
    const qsizetype end = bytes.indexOf("ENDHDR\n");
    if (!bytes.startsWith("P7\n") || end < 0)
        return pam;
    int depth = 0;
    for (const QByteArray& line : bytes.left(end).split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "WIDTH")
            pam.width = parts[1].toInt();
        else if (parts[0] == "HEIGHT")
            pam.height = parts[1].toInt();
        else if (parts[0] == "DEPTH")
            depth = parts[1].toInt();
    }
    pam.rgba = bytes.mid(end + 7);
    if (depth != 4 || pam.rgba.size() != qsizetype(pam.width) * pam.height * 4)
        return {};
    return pam;
}

// What `dwebp -nofilter -nofancy` decodes from a file, as RGBA; nothing when dwebp refuses it.
inline std::optional<Pam> referenceDecode(const QString& webp, const QString& scratchDir)
{
    const QString out = scratchDir + QStringLiteral("/reference.pam");
    QFile::remove(out);
    if (!testsupport::run(QStringLiteral("dwebp"), {QStringLiteral("-nofilter"), QStringLiteral("-nofancy"),
                                                    QStringLiteral("-pam"), webp, QStringLiteral("-o"), out}))
        return std::nullopt;
    Pam pam = readPam(testsupport::readAll(out));
    if (pam.rgba.isEmpty())
        return std::nullopt;
    return pam;
}

// The display buffer compared byte for byte with a reference decode; an empty string when equal,
// otherwise where they first differ.
inline QString compareWithReference(const quorvanta::InstanceData& d, const Pam& ref)
{
    if (int(d.width) != ref.width || int(d.height) != ref.height)
        return QStringLiteral("size %1x%2, reference %3x%4").arg(d.width).arg(d.height).arg(ref.width).arg(ref.height);
    if (!d.pixels || d.pixels.size != quint64(ref.width) * ref.height * 4)
        return QStringLiteral("display buffer missing or of the wrong size");
    using quorvanta::PixelFormat;
    const bool native = d.pixelFormat == PixelFormat::PremultipliedNative || d.pixelFormat == PixelFormat::OpaqueNative;
    const bool argb = d.pixelFormat == PixelFormat::ARGB;
    const quint32 bpp = argb || native ? 4 : 3;
    if (d.bytesPerRow != d.width * bpp)
        return QStringLiteral("bytesPerRow %1").arg(d.bytesPerRow);
    const auto* ours = d.pixels.data.get();
    const auto* theirs = reinterpret_cast<const uchar*>(ref.rgba.constData());
    for (qsizetype i = 0; i < qsizetype(ref.width) * ref.height; ++i) {
        const uchar* p = ours + i * bpp;
        const uchar* q = theirs + i * 4;
        std::uint32_t word = 0;
        std::memcpy(&word, p, 4);
        // A native word is premultiplied, by the decoder's own rounding: within one of the exact value.
        auto near = [a = int(q[3]), word](int c, int shift) {
            return std::abs(int((word >> shift) & 0xFF) - (c * a + 127) / 255) <= 1;
        };
        // An opaque picture's words carry its colour as it is (as R,G,B bytes did).
        const bool same = d.pixelFormat == PixelFormat::OpaqueNative
                              ? (word & 0xFFFFFF) == (std::uint32_t(q[0]) << 16 | std::uint32_t(q[1]) << 8 | q[2])
                          : native ? (word >> 24) == q[3] && near(q[0], 16) && near(q[1], 8) && near(q[2], 0)
                          : argb ? (p[0] == q[3] && p[1] == q[0] && p[2] == q[1] && p[3] == q[2])
                                 : (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]);
        if (!same)
            return QStringLiteral("pixel %1 differs: ours %2, reference RGBA %3")
                .arg(i)
                .arg(qFromLittleEndian<quint32>(p), 8, 16, QLatin1Char('0'))
                .arg(qFromBigEndian<quint32>(q), 8, 16, QLatin1Char('0'));
    }
    // An RGB picture leaves the last quarter of its 4-byte-a-pixel buffer zero.
    for (quint64 i = quint64(ref.width) * ref.height * bpp; i < d.pixels.size; ++i)
        if (ours[i] != 0)
            return QStringLiteral("byte %1 beyond the picture is not zero").arg(i);
    return {};
}

} // namespace viewingtest
