#include "AnimationDecode.h"
#include "PictureFixtures.h"
#include "core/AnimationFrames.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/WebPHandles.h"

#include <QtTest>

#include <thread>

using namespace quorvanta;
using namespace fixtures;
using testsupport::clearTransparent;
using testsupport::decodeAnimation;
using testsupport::DecodedAnimation;

namespace {

// Five pictures of two sizes, a text file and a file named like a picture that is not one.
std::vector<std::string> makeFrames(const QTemporaryDir& dir, std::vector<QImage>& pictures)
{
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        const QImage image = makePicture(i == 3 ? 48 : 64, i == 3 ? 24 : 40, i % 2 == 1, quint32(i + 1));
        const QString path = dir.filePath(QStringLiteral("frame%1.png").arg(i + 1));
        if (!savePng(image, path))
            return {};
        pictures.push_back(image);
        files.push_back(path.toStdString());
    }
    return files;
}

QByteArray assemble(const std::vector<std::string>& files, const FrameSettings& settings, unsigned threads,
                    EncodeOutcome* outcome = nullptr, std::vector<int>* progress = nullptr)
{
    const MuxHandle mux = makeMux();
    const auto caller = std::this_thread::get_id();
    const ProgressReport report = [progress, caller](int percent) {
        QCOMPARE(std::this_thread::get_id(), caller); // the gauge is only ever touched from here
        if (progress)
            progress->push_back(percent);
    };
    const EncodeOutcome result = EncodeDirectoryFrames(files, mux.get(), settings, loadWithQt, report, threads);
    if (outcome)
        *outcome = result;
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.webp"));
    if (result.framesPushed < 1 || !WriteAnimation(mux.get(), out.toStdString(), 3, 0xFF102030))
        return {};
    return testsupport::readAll(out);
}

} // namespace

class TestAnimationEncode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void framesInListOrderDecodeToTheirSources()
    {
        QTemporaryDir dir;
        std::vector<QImage> pictures;
        const auto files = makeFrames(dir, pictures);
        QCOMPARE(files.size(), std::size_t(5));
        FrameSettings settings;
        settings.encode.lossless = 1;
        settings.durationMs = 120;
        std::vector<int> progress;
        const AnimationInfo info = readAnimation(assemble(files, settings, 2, nullptr, &progress));
        QVERIFY(info.ok);
        QCOMPARE(info.frames, 5);
        QCOMPARE(info.loopCount, 3);
        QCOMPARE(info.background, 0xFF102030u);
        // The frames as they show: each picture at the top-left of the 64 x 40 canvas, transparent
        // beyond it.
        const QByteArray file = assemble(files, settings, 2);
        const DecodedAnimation shown = decodeAnimation({file.begin(), file.end()});
        QVERIFY(shown.ok);
        QCOMPARE(shown.width, 64);
        QCOMPARE(shown.height, 40);
        QCOMPARE(shown.frames.size(), std::size_t(5));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(shown.durations[i], 120);
            PictureRecord source;
            QCOMPARE(loadWithQt(files[i], source), 1);
            std::vector<std::uint32_t> expected(64 * 40);
            ComposeOntoCanvas({source.pixels.get(), source.width, source.height, 0, PixelOrder::Argb32},
                              expected.data(), 64, 40);
            QVERIFY2(clearTransparent(shown.frames[i]) == clearTransparent(expected), qPrintable(QString::number(i)));
        }
        // Each frame's progress runs up to 100 before the next frame starts again from 0.
        QCOMPARE(std::count(progress.begin(), progress.end(), 100), 5);
        QCOMPARE(progress.back(), 100);
    }

    void sameBytesWhateverTheThreads()
    {
        QTemporaryDir dir;
        std::vector<QImage> pictures;
        auto files = makeFrames(dir, pictures);
        files.insert(files.begin() + 2, dir.filePath(QStringLiteral("broken.png")).toStdString());
        QVERIFY(testsupport::writeAll(QString::fromStdString(files[2]), "not a picture"));
        FrameSettings settings; // lossy defaults
        const QByteArray oneThread = assemble(files, settings, 1);
        QVERIFY(!oneThread.isEmpty());
        QCOMPARE(readAnimation(oneThread).frames, 5);
        for (const unsigned threads : {2u, 3u, 8u})
            QVERIFY2(assemble(files, settings, threads) == oneThread, qPrintable(QString::number(threads)));
    }

    // Files that are not pictures are left out, wherever they are; the last file's failure no longer
    // loses the animation. No picture at all gives no frame.
    void filesThatAreNotPictures_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("lastResult");
        QTest::newRow("last is text") << QStringList{"a.png", "b.png", "z.txt"} << 2 << -1;
        QTest::newRow("first is text") << QStringList{"0.txt", "a.png", "b.png"} << 2 << 1;
        QTest::newRow("only text") << QStringList{"0.txt", "1.txt"} << 0 << -1;
        QTest::newRow("missing file") << QStringList{"a.png", "gone.png"} << 1 << -1;
        QTest::newRow("nothing") << QStringList{} << 0 << 0;
    }
    void filesThatAreNotPictures()
    {
        QFETCH(QStringList, names);
        QFETCH(int, frames);
        QFETCH(int, lastResult);
        QTemporaryDir dir;
        std::vector<std::string> files;
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            if (name.endsWith(QLatin1String(".txt")))
                QVERIFY(testsupport::writeAll(path, "text"));
            else if (name != QLatin1String("gone.png"))
                QVERIFY(savePng(makePicture(16, 16, false, 3), path));
            files.push_back(path.toStdString());
        }
        for (const unsigned threads : {1u, 2u}) {
            const MuxHandle mux = makeMux();
            const EncodeOutcome outcome = EncodeDirectoryFrames(files, mux.get(), FrameSettings{}, loadWithQt, {},
                                                                threads);
            QCOMPARE(outcome.framesPushed, frames);
            QCOMPARE(outcome.lastResult, lastResult);
        }
    }

    void badFrameSettingsPushNothing()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("a.png"));
        QVERIFY(savePng(makePicture(16, 16, false, 3), png));
        FrameSettings badQuality;
        badQuality.encode.quality = 101;
        FrameSettings badDuration;
        badDuration.durationMs = -5;
        for (const FrameSettings& settings : {badQuality, badDuration}) {
            const MuxHandle mux = makeMux();
            QCOMPARE(EncodeFrameFile(png.toStdString(), mux.get(), settings, loadWithQt), settings.durationMs < 0
                         ? int(WEBP_MUX_INVALID_ARGUMENT) : -1);
        }
    }

    void backgroundPacking()
    {
        QCOMPARE(packBackgroundColor({0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}), 0xFFFFFFFFu);
        QCOMPARE(packBackgroundColor({0x12345678, 0xAB000000, 0x00FFFFFF}), 0xFF12AB00u);
    }
};

QTEST_GUILESS_MAIN(TestAnimationEncode)
#include "tst_animationencode.moc"
