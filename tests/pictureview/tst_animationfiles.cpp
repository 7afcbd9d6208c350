// Animations on show encoded again: an animated GIF (every disposal, transparency) plays through the
// animation bar with its own durations and loop count, and "Encode animation" writes an animated WebP
// whose frames are the ones that played; an animated WebP is encoded again with other settings.

#include "../import/GifFixtures.h"
#include "EncodingWindow.h"

#include "encoding/AnimationEncoder.h"
#include "import/AnimationReaders.h"

#include <QtTest>

using namespace quorvanta;
using namespace fixtures;
using testsupport::clearTransparent;
using testsupport::readAll;
using testsupport::writeAll;

namespace {

// Each frame of the animation on show, as the preview shows it.
std::vector<std::vector<std::uint32_t>> previewFrames(Window& w)
{
    std::vector<std::vector<std::uint32_t>> frames;
    for (std::int32_t n = 1; n <= w.d().frameCount; ++n) {
        w.view.send(MethodId::ShowAnimFrame, n);
        frames.push_back(clearTransparent(shownPixels(w.d())));
    }
    return frames;
}

} // namespace

class TestAnimationFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gifPlaysThroughTheAnimationBar()
    {
        QTemporaryDir dir;
        const QString gif = dir.filePath("disposal.gif");
        QVERIFY(writeAll(gif, giftest::disposalGif().finish()));
        AnimationFileReader reader(gif.toStdString());
        const std::vector<AnimationFrame> reference = ReadAllFrames(reader);
        QCOMPARE(reference.size(), std::size_t(5));

        Window w;
        ManualPlaybackClock* clock = viewingtest::useManualClock(w.view);
        QList<int> shown;
        QList<qint64> shownAt;
        connect(&w.view, &PictureView::methodReceived, this, [&](MethodId id, std::int32_t value) {
            if (id == MethodId::ShowAnimFrame) {
                shown.append(value);
                shownAt.append(clock->now());
            }
        });
        w.view.send(MethodId::Load, gif.toStdString());
        const InstanceData& d = w.d();
        QCOMPARE(d.mode, Mode::Animated);
        QVERIFY(!w.animationBar->isHidden());
        QVERIFY(!w.encodeAnimationPanel->isHidden());
        QVERIFY(w.encodePicturePanel->isHidden());
        QCOMPARE(w.slider->maximum(), 5);
        QCOMPARE(d.loopCount, 3);
        QCOMPARE(QSize(int(d.width), int(d.height)), QSize(8, 6));
        QVERIFY(shownPixels(d) == giftest::pixelsOf(reference[0]));

        // Three passes, each frame for its own duration (a delay of 0 shows for 100 ms), then a stop.
        shown.clear();
        shownAt.clear();
        clock->advance(10'000'000);
        QCOMPARE(shown, (QList<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
        QVERIFY(!d.inputHandlerAdded);
        for (int i = 0; i + 1 < shown.size(); ++i)
            QCOMPARE(shownAt[i + 1] - shownAt[i], qint64(reference[std::size_t(shown[i] - 1)].durationMs) * 1000);
    }

    // "Encode animation" writes the frames that played, with the GIF's durations and loop count
    // (not the settings'), and the settings' encoder values and background.
    void gifEncodedAgain_data() { addCodingRows(); }
    void gifEncodedAgain()
    {
        QFETCH(bool, lossless);
        QFETCH(bool, mixed);
        QFETCH(double, minPsnr);
        QTemporaryDir dir;
        const QString gif = dir.filePath("disposal.gif");
        QVERIFY(writeAll(gif, giftest::disposalGif().finish()));
        Window w;
        w.settings.losslessValue = lossless;
        w.settings.mixedValue = mixed;
        w.settings.qualityValue = 90;
        w.settings.loops = 7;
        w.settings.durationText = QStringLiteral("33");
        w.settings.color = {0x11000000, 0x22000000, 0x33000000};
        w.view.send(MethodId::Load, gif.toStdString());
        const auto preview = previewFrames(w);
        const QString target = dir.filePath("again.webp");
        w.answers = {chosen(target)};
        w.view.send(MethodId::SaveAnimation);

        const testsupport::DecodedAnimation written = decodeAnimationFile(target);
        QVERIFY(written.ok);
        QCOMPARE(written.loopCount, 3);
        QCOMPARE(written.background, 0xFF112233u);
        QCOMPARE(written.durations, (std::vector<int>{100, 200, 300, 100, 400}));
        const QString different = compareFrames(preview, written, minPsnr);
        QVERIFY2(different.isEmpty(), qPrintable(different));
        QVERIFY(w.gauge->isHidden());
        QCOMPARE(w.gaugeValues.back(), 0);
        QVERIFY(std::find(w.gaugeValues.begin(), w.gaugeValues.end(), 100) != w.gaugeValues.end());
    }

    // An animated WebP on show, written again lossy: its durations and loop count stay, its frames
    // are those that played within the codec's error.
    void animatedWebPEncodedAgain()
    {
        REQUIRE_IMPORTER();
        QTemporaryDir dir;
        std::vector<std::string> pictures;
        for (int i = 0; i < 3; ++i) {
            const QString png = dir.filePath(QStringLiteral("p%1.png").arg(i));
            QVERIFY(savePng(makePicture(40 - 8 * i, 24 + 4 * i, i == 1, quint32(i + 5)), png));
            pictures.push_back(png.toStdString());
        }
        AnimationSettings first;
        first.lossless = 1;
        first.loopCount = 4;
        const QString source = dir.filePath("source.webp");
        QVERIFY(EncodeAnimationFile(pictures, first, 70, source.toStdString()).ok());

        Window w;
        w.settings.qualityValue = 80;
        w.view.send(MethodId::Load, source.toStdString());
        QCOMPARE(w.d().mode, Mode::Animated);
        QVERIFY(!w.encodeAnimationPanel->isHidden());
        const auto preview = previewFrames(w);
        const QString target = dir.filePath("lossy.webp");
        w.answers = {chosen(target)};
        w.view.send(MethodId::SaveAnimation);
        const testsupport::DecodedAnimation written = decodeAnimationFile(target);
        QCOMPARE(written.loopCount, 4);
        QCOMPARE(written.durations, (std::vector<int>{70, 70, 70}));
        QVERIFY(readAll(target).size() < readAll(source).size());
        const QString different = compareFrames(preview, written, 30);
        QVERIFY2(different.isEmpty(), qPrintable(different));
    }

    // A GIF of one frame is a picture to encode; one whose screen is over the decode budget is
    // refused with its size, and what was on show stays.
    void gifsThatDoNotPlay()
    {
        QTemporaryDir dir;
        giftest::GifWriter still(3, 2, 2);
        still.image(0, 0, 3, 2, QByteArray(6, '\1'));
        giftest::GifWriter huge(30000, 30000, 2);
        huge.image(0, 0, 1, 1, QByteArray(1, '\1')).image(0, 0, 1, 1, QByteArray(1, '\0'));
        QVERIFY(writeAll(dir.filePath("still.gif"), still.finish()));
        QVERIFY(writeAll(dir.filePath("huge.gif"), huge.finish()));
        Window w;
        w.view.send(MethodId::Load, dir.filePath("still.gif").toStdString());
        QCOMPARE(w.d().mode, Mode::Imported);
        QVERIFY(!w.encodePicturePanel->isHidden());
        QVERIFY(w.encodeAnimationPanel->isHidden());

        SetDecodeBudgetBytes(256 * kMiB);
        std::vector<Problem> problems;
        connect(&w.view, &PictureView::failed, this, [&problems](const Problem& p) { problems.push_back(p); });
        StdoutCapture out;
        w.view.send(MethodId::Load, dir.filePath("huge.gif").toStdString());
        SetDecodeBudgetBytes(0);
        QCOMPARE(out.text(), QByteArray("Can't read the file!\n"));
        QCOMPARE(w.d().mode, Mode::Imported);
        QCOMPARE(w.d().width, 3u);
        QCOMPARE(problems.size(), std::size_t(1));
        QCOMPARE(problems[0].failure, Failure::OverBudget);
    }
};

QTEST_MAIN(TestAnimationFiles)
#include "tst_animationfiles.moc"
