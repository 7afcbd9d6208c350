// Animated WebP frames: the canvas compared with libwebp's own animation decoder, frame by frame and
// after random seeks, for animations made by webpmux (every offset, blend and dispose combination),
// img2webp and gif2webp; and the fields each frame sets.

#include "ViewingFixtures.h"

#include <webp/demux.h>

#include <QtTest>

#include <cstring>

using namespace quorvanta;
using namespace viewingtest;

namespace {

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// Every canvas of an animation as libwebp's WebPAnimDecoder composes it, as RGBA.
QList<QByteArray> referenceCanvases(const QByteArray& file, int* width, int* height)
{
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    QList<QByteArray> canvases;
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        return canvases;
    *width = int(info.canvas_width);
    *height = int(info.canvas_height);
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* rgba = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &rgba, &timestamp))
            return {};
        canvases.append(QByteArray(reinterpret_cast<const char*>(rgba), qsizetype(*width) * *height * 4));
    }
    return canvases;
}

// Our canvas (premultiplied native words, or A,R,G,B bytes) against the RGBA reference. Alpha must
// match exactly; colour, premultiplied as the screen takes it, within `tolerance` per channel (0 for
// lossless frames). Returns an empty string when they agree.
QString compareCanvas(const InstanceData& d, const QByteArray& reference, int tolerance, double* meanError)
{
    const bool native = d.pixelFormat == PixelFormat::PremultipliedNative || d.pixelFormat == PixelFormat::OpaqueNative;
    if (!d.pixels || !(native || d.pixelFormat == PixelFormat::ARGB) || d.pixels.size != quint64(reference.size()))
        return QStringLiteral("no canvas of the reference's size");
    const auto* theirs = reinterpret_cast<const uchar*>(reference.constData());
    quint64 errorSum = 0;
    for (qsizetype i = 0; i < reference.size(); i += 4) {
        const uchar* q = theirs + i;
        const uchar* bytes = d.pixels.data.get() + i;
        std::uint32_t word = 0;
        std::memcpy(&word, bytes, 4);
        // Ours as A, R, G, B; native words are premultiplied, so the reference is too.
        const int ours[4] = {native ? int(word >> 24) : bytes[0], native ? int((word >> 16) & 0xFF) : bytes[1],
                             native ? int((word >> 8) & 0xFF) : bytes[2], native ? int(word & 0xFF) : bytes[3]};
        if (ours[0] != q[3])
            return QStringLiteral("alpha of pixel %1: %2, reference %3").arg(i / 4).arg(ours[0]).arg(q[3]);
        if (d.pixelFormat == PixelFormat::OpaqueNative && q[3] != 0xFF)
            return QStringLiteral("opaque layout for a pixel of alpha %1").arg(q[3]);
        if (q[3] == 0 && tolerance > 0)
            continue; // colour under full transparency is not seen
        for (int c = 0; c < 3; ++c) {
            const int expected = native ? (q[c] * q[3] + 127) / 255 : q[c];
            const int diff = std::abs(ours[c + 1] - expected);
            errorSum += quint64(diff);
            if (diff > tolerance + (native ? 1 : 0))
                return QStringLiteral("channel %1 of pixel %2: %3, reference %4").arg(c).arg(i / 4).arg(ours[c + 1]).arg(expected);
        }
    }
    if (meanError)
        *meanError = double(errorSum) / double(reference.size() / 4 * 3);
    return {};
}

} // namespace

class TestAnimation : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString path(const QString& name) const { return scratch.filePath(name); }

    // Frames for webpmux: size, offset, duration, dispose to background, blend, alpha.
    struct FramePlacement {
        int w, h, x, y, duration;
        bool dispose, blend, alpha;
    };

    // With `twin`, a second animation is muxed alike from lossless copies of what the reference decoder
    // gives for each frame with our decoder settings: its canvases are then exactly the ones expected
    // of the first.
    bool makeMuxed(const QString& name, const QStringList& cwebpArgs, const QString& twin = {})
    {
        // Every combination of dispose and blend, frames smaller than the canvas, overlapping the
        // rectangle of a disposed frame, key frames of each kind in the middle.
        const QList<FramePlacement> frames = {
            {64, 48, 0, 0, 100, false, true, true},   // first frame, with alpha
            {20, 16, 10, 8, 50, true, true, true},    // blended, then disposed
            {30, 20, 20, 20, 0, false, false, true},  // replaces its rectangle
            {16, 16, 12, 10, 70, true, true, true},   // overlaps the disposed rectangle
            {64, 48, 0, 0, 40, true, true, false},    // opaque full frame: key frame
            {24, 24, 0, 0, 30, false, true, true},    // after a disposed full frame: key frame
            {20, 10, 40, 30, 20, true, true, true},
            {64, 48, 0, 0, 90, false, true, true},    // full but blended: not a key frame
            {10, 10, 2, 2, 10, true, false, true},
            {32, 32, 6, 6, 60, false, true, true},    // partly over the disposed rectangle
            {64, 48, 0, 0, 25, false, false, true},   // full, not blended: key frame with alpha
            {18, 12, 44, 34, 35, false, true, true},
        };
        QStringList args, twinArgs;
        for (int i = 0; i < frames.size(); ++i) {
            const FramePlacement& f = frames[i];
            const QString frame = QStringLiteral("%1-%2.webp").arg(name).arg(i);
            const QImage picture = makePicture(f.w, f.h, quint32(i * 7 + 1), f.alpha, cwebpArgs.contains("-lossless"));
            if (!makeWebP(scratch.path(), frame, picture, cwebpArgs))
                return false;
            const QString placement =
                QStringLiteral("+%1+%2+%3+%4%5").arg(f.duration).arg(f.x).arg(f.y).arg(f.dispose ? 1 : 0).arg(f.blend ? "+b" : "-b");
            args << "-frame" << path(frame) << placement;
            if (twin.isEmpty())
                continue;
            const QString decoded = path(frame + ".decoded.png");
            if (!testsupport::run("dwebp", {"-quiet", "-nofilter", "-nofancy", path(frame), "-o", decoded}) ||
                !testsupport::run("cwebp", {"-quiet", "-lossless", "-exact", decoded, "-o", path(frame + ".twin")}))
                return false;
            twinArgs << "-frame" << path(frame + ".twin") << placement;
        }
        const QStringList fileOptions{"-loop", "3", "-bgcolor", "255,10,20,30", "-o"};
        return testsupport::run("webpmux", args << fileOptions << path(name)) &&
               (twin.isEmpty() || testsupport::run("webpmux", twinArgs << fileOptions << path(twin)));
    }

    // A GIF with each disposal method, partial frames and transparency, made by ImageMagick.
    bool makeGif(const QString& name)
    {
        QStringList args;
        args << "-size" << "80x60" << "xc:none" << "-delay" << "5" << "-dispose" << "none";
        const char* disposals[] = {"none", "background", "previous", "none", "background", "previous", "none"};
        for (int i = 0; i < 7; ++i) {
            const QString png = path(QStringLiteral("%1-%2.png").arg(name).arg(i));
            QImage picture = makePicture(14 + i * 4, 10 + i * 3, quint32(i + 20), true);
            for (int y = 0; y < picture.height(); ++y) // binary transparency, as GIF has it
                for (int x = 0; x < picture.width(); ++x)
                    if (qAlpha(picture.pixel(x, y)) != 255)
                        picture.setPixel(x, y, (x + y) % 3 ? qRgba(0, 0, 0, 0) : (picture.pixel(x, y) | 0xFF000000u));
            if (!picture.save(png))
                return false;
            args << "-dispose" << disposals[i] << "-delay" << QString::number(3 + i) << "-page"
                 << QStringLiteral("+%1+%2").arg(i * 5).arg(i * 3) << png;
        }
        args << "-loop" << "0" << path(name);
        return testsupport::run("convert", args);
    }

    // Loads `file` and checks every frame in order, twice, then frames in a seeded random order, against
    // the canvases libwebp composes from `referenceFile`.
    void checkAgainstReference(const QString& file, int tolerance, const QString& referenceFile = {})
    {
        const QByteArray bytes = testsupport::readAll(referenceFile.isEmpty() ? file : referenceFile);
        int width = 0, height = 0;
        const QList<QByteArray> reference = referenceCanvases(bytes, &width, &height);
        QVERIFY2(!reference.isEmpty(), "libwebp's animation decoder refused the file");

        Window window;
        PictureView view;
        window.attach(view);
        view.send(MethodId::Load, testsupport::bytesOf(file));
        const InstanceData& d = view.state();
        QCOMPARE(d.mode, Mode::Animated);
        QCOMPARE(d.frameCount, int(reference.size()));
        QCOMPARE(window.slider->maximum(), int(reference.size()));
        QCOMPARE(d.width, quint32(width));
        QCOMPARE(d.height, quint32(height));
        QCOMPARE(d.bytesPerRow, quint32(width) * 4);

        double worstMean = 0;
        auto check = [&](int frame, const char* how) {
            view.send(MethodId::ShowAnimFrame, frame);
            double mean = 0;
            const QString difference = compareCanvas(d, reference[frame - 1], tolerance, &mean);
            worstMean = std::max(worstMean, mean);
            if (!difference.isEmpty())
                return QStringLiteral("frame %1 (%2): %3").arg(frame).arg(how, difference);
            return QString();
        };
        for (int pass = 0; pass < 2; ++pass) // the second pass follows the wrap from the last frame
            for (int frame = 1; frame <= reference.size(); ++frame)
                QCOMPARE(check(frame, "in order"), QString());
        QRandomGenerator random(42);
        for (int i = 0; i < 4 * reference.size(); ++i)
            QCOMPARE(check(int(random.bounded(reference.size())) + 1, "after a seek"), QString());
        // Lossy frames differ from libwebp's own composition only by its in-loop filter and fancy
        // upsampling: alpha is exact (above), colour within 2.5 levels on average. Lossless frames are
        // exact but for the rounding of premultiplication, where the decoder premultiplies.
        QVERIFY2(worstMean <= (tolerance ? 2.5 : 0.25), qPrintable(QString::number(worstMean)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* name : {"cwebp", "webpmux", "img2webp", "gif2webp"})
            REQUIRE_TOOL(name);
        QVERIFY(scratch.isValid());
    }

    void muxedLossless()
    {
        QVERIFY(makeMuxed("muxed-lossless.webp", {"-lossless", "-exact"}));
        checkAgainstReference(path("muxed-lossless.webp"), 0);
    }

    void muxedLossy()
    {
        QVERIFY(makeMuxed("muxed-lossy.webp", {"-q", "80"}, "muxed-lossy-twin.webp"));
        checkAgainstReference(path("muxed-lossy.webp"), 0, path("muxed-lossy-twin.webp"));
    }

    void fromImg2webp()
    {
        QStringList args{"-loop", "2", "-lossless", "-d", "80"};
        for (int i = 0; i < 8; ++i) {
            QImage picture = makePicture(48, 36, 100, true);
            // Most of the picture stays, a moving part changes: the encoder then writes sub-frames.
            for (int y = 4; y < 16; ++y)
                for (int x = i * 4; x < i * 4 + 10; ++x)
                    picture.setPixel(x, y, qRgba(i * 30, 200 - i * 20, 50, i % 2 ? 128 : 0));
            const QString png = path(QStringLiteral("img-%1.png").arg(i));
            QVERIFY(picture.save(png));
            args << png;
        }
        args << "-o" << path("img2webp.webp");
        QVERIFY(testsupport::run("img2webp", args));
        checkAgainstReference(path("img2webp.webp"), 0);
    }

    void fromGif()
    {
        QVERIFY(testsupport::haveTool("convert"));
        QVERIFY(makeGif("disposals.gif"));
        QVERIFY(testsupport::run("gif2webp", {"-quiet", path("disposals.gif"), "-o", path("gif-lossless.webp")}));
        checkAgainstReference(path("gif-lossless.webp"), 0);
        QVERIFY(testsupport::run("gif2webp", {"-quiet", "-mixed", "-q", "70", path("disposals.gif"), "-o",
                                              path("gif-mixed.webp")}));
        checkAgainstReference(path("gif-mixed.webp"), 255);
    }

    // The fields a frame sets, frame by frame, and what a frame that does not exist leaves.
    void frameFields()
    {
        QVERIFY(QFileInfo::exists(path("muxed-lossless.webp")) || makeMuxed("muxed-lossless.webp", {"-lossless"}));
        Window window;
        PictureView view;
        window.attach(view);
        view.send(MethodId::Load, testsupport::bytesOf(path("muxed-lossless.webp")));
        const InstanceData& d = view.state();
        QCOMPARE(d.loopCount, 3);
        QCOMPARE(d.backgroundColor, 0xFF0A141Eu);
        QCOMPARE(d.frameDelay, 100000);
        view.send(MethodId::ShowAnimFrame, 3);
        QCOMPARE(d.frameDelay, 0); // the clock, not the field, bounds a duration of 0
        view.send(MethodId::ShowAnimFrame, 4);
        QCOMPARE(d.frameDelay, 70000);

        // The same frame twice: same fields, same pixels.
        const QByteArray shown(reinterpret_cast<const char*>(d.pixels.data.get()), qsizetype(d.pixels.size));
        view.send(MethodId::ShowAnimFrame, 4);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d.pixels.data.get()), qsizetype(d.pixels.size)), shown);

        // A frame beyond the last: -1 for the count and the slider, the picture stays.
        const std::uint8_t* buffer = d.pixels.data.get();
        view.send(MethodId::ShowAnimFrame, 13);
        QCOMPARE(d.frameCount, -1);
        QCOMPARE(window.slider->maximum(), -1);
        QCOMPARE(d.pixels.data.get(), buffer);
        QCOMPARE(d.frameDelay, 70000);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d.pixels.data.get()), qsizetype(d.pixels.size)), shown);
        view.send(MethodId::ShowAnimFrame, 12);
        QCOMPARE(d.frameCount, 12);
    }

    // A file that can't be demuxed (truncated inside its frames) gives -1 and leaves the picture.
    void brokenAnimation()
    {
        QVERIFY(QFileInfo::exists(path("muxed-lossless.webp")) || makeMuxed("muxed-lossless.webp", {"-lossless"}));
        const QByteArray whole = testsupport::readAll(path("muxed-lossless.webp"));
        QVERIFY(testsupport::writeAll(path("cut.webp"), whole.left(whole.size() / 2)));
        Window window;
        PictureView view;
        window.attach(view);
        view.send(MethodId::Load, testsupport::bytesOf(path("cut.webp")));
        if (view.state().mode != Mode::Animated)
            QSKIP("the cut file is no longer recognised as an animation");
        QCOMPARE(view.state().frameCount, -1);
        QCOMPARE(window.slider->maximum(), -1);
        QVERIFY(!view.state().pixels);
        QVERIFY(Window::shown(window.animationBar));
    }
};

QTEST_MAIN(TestAnimation)
#include "tst_animation.moc"
