// "Encode animation" below the picture object: a list of picture files encoded into an animated WebP
// file and written in one piece, read back with libwebp's animation decoder.

#include "AnimationDecode.h"
#include "PictureFixtures.h"
#include "core/AnimationFrames.h"
#include "encoding/AnimationEncoder.h"

#include <QPainter>
#include <QtTest>

#include <thread>

using namespace quorvanta;
using namespace fixtures;
using testsupport::clearTransparent;
using testsupport::decodeAnimation;
using testsupport::DecodedAnimation;

Q_DECLARE_METATYPE(quorvanta::AnimationSettings)

namespace {

// Five pictures, one of them smaller than the others; one of those with alpha.
std::vector<std::string> makeFrames(const QTemporaryDir& dir)
{
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        const QImage image = makePicture(i == 3 ? 48 : 64, i == 3 ? 24 : 40, i % 2 == 1, quint32(i + 1));
        const QString path = dir.filePath(QStringLiteral("frame%1.png").arg(i + 1));
        if (!savePng(image, path))
            return {};
        files.push_back(path.toStdString());
    }
    return files;
}

// The picture of `file` as the animation shows it: at the top-left of the canvas, transparent beyond.
std::vector<std::uint32_t> placed(const std::string& file, std::uint32_t width, std::uint32_t height)
{
    PictureRecord source;
    if (loadWithQt(file, source) != 1)
        return {};
    std::vector<std::uint32_t> canvas(std::size_t(width) * height);
    ComposeOntoCanvas({source.pixels.get(), source.width, source.height, 0, PixelOrder::Argb32}, canvas.data(),
                      width, height);
    return clearTransparent(canvas);
}

// A recording-like list: a still background with a block moving over it. `kind` changes the pictures
// around the middle, where a list of 24 is cut into pieces on two threads: "repeats" holds one picture
// across the cut, "alpha" makes the pictures there partly transparent, "small" smaller than the canvas,
// "broken" puts a file that is no picture just before the cut.
std::vector<std::string> makeRecording(const QTemporaryDir& dir, const QString& kind)
{
    const QImage background = makePicture(64, 40, false, 7);
    std::vector<std::string> files;
    for (int i = 0; i < 24; ++i) {
        const QString path = dir.filePath(QStringLiteral("rec%1.png").arg(i, 2, 10, QLatin1Char('0')));
        if (kind == QLatin1String("broken") && i == 11) {
            if (!testsupport::writeAll(path, "not a picture"))
                return {};
            files.push_back(path.toStdString());
            continue;
        }
        const bool nearCut = i >= 10 && i <= 14;
        const int at = kind == QLatin1String("repeats") && nearCut ? 10 : i;
        QImage frame = background.copy();
        if (kind == QLatin1String("alpha") && nearCut)
            frame = makePicture(64, 40, true, quint32(i));
        if (kind == QLatin1String("small") && nearCut)
            frame = frame.copy(0, 0, 48, 32);
        QPainter(&frame).fillRect(2 * at % 56, at % 32, 8, 8, QColor(255, 255 - 10 * at, 0));
        if (!savePng(frame, path))
            return {};
        files.push_back(path.toStdString());
    }
    return files;
}

std::shared_ptr<const std::uint8_t[]> shared(const QByteArray& bytes)
{
    std::shared_ptr<std::uint8_t[]> out(new std::uint8_t[std::size_t(bytes.size())]);
    std::memcpy(out.get(), bytes.constData(), std::size_t(bytes.size()));
    return out;
}

} // namespace

class TestAnimationEncode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Lossless: every frame decodes to its picture exactly, placed at the top-left of the canvas of
    // the largest width and height; the settings' duration, loop count and background are written.
    void framesInListOrderDecodeToTheirSources()
    {
        REQUIRE_IMPORTER();
        QTemporaryDir dir;
        const auto files = makeFrames(dir);
        QCOMPARE(files.size(), std::size_t(5));
        AnimationSettings settings;
        settings.lossless = 1;
        settings.loopCount = 3;
        settings.backgroundColor = 0xFF102030;
        std::vector<std::pair<int, int>> progress;
        const auto caller = std::this_thread::get_id();
        const QString out = dir.filePath(QStringLiteral("out.webp"));
        const Status written = EncodeAnimationFile(files, settings, 120, out.toStdString(), [&](int done, int total) {
            QCOMPARE(std::this_thread::get_id(), caller); // the gauge is only ever touched from here
            progress.emplace_back(done, total);
        });
        QVERIFY2(written.ok(), written.ok() ? "" : written.problem().text().c_str());
        const DecodedAnimation shown = decodeAnimationFile(out);
        QVERIFY(shown.ok);
        QCOMPARE(shown.width, 64);
        QCOMPARE(shown.height, 40);
        QCOMPARE(shown.loopCount, 3);
        QCOMPARE(shown.background, 0xFF102030u);
        QCOMPARE(shown.frames.size(), std::size_t(5));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(shown.durations[i], 120);
            QVERIFY2(clearTransparent(shown.frames[i]) == placed(files[i], 64, 40), qPrintable(QString::number(i)));
        }
        QCOMPARE(progress.size(), std::size_t(5));
        QCOMPARE(progress.back(), std::pair(5, 5));
    }

    void sameBytesWhateverTheThreads()
    {
        QTemporaryDir dir;
        auto files = makeFrames(dir);
        files.insert(files.begin() + 2, dir.filePath(QStringLiteral("broken.png")).toStdString());
        QVERIFY(testsupport::writeAll(QString::fromStdString(files[2]), "not a picture"));
        const AnimationSettings lossy;
        const AnimationResult one = EncodeAnimationFiles(files, lossy, 100, loadWithQt, {}, {}, nullptr, 1);
        QVERIFY(!one.bytes.empty());
        QCOMPARE(one.framesEncoded, 5);
        for (const unsigned threads : {2u, 3u, 8u})
            QVERIFY2(EncodeAnimationFiles(files, lossy, 100, loadWithQt, {}, {}, nullptr, threads).bytes == one.bytes,
                     qPrintable(QString::number(threads)));
    }

    // A long list is encoded in pieces on several threads and joined: the same frames, durations and
    // left-out files as in one piece, whatever happens where the list is cut.
    void longListsInPieces_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("lossless");
        for (const char* kind : {"plain", "repeats", "alpha", "small", "broken"}) {
            QTest::addRow("%s, lossless", kind) << QString::fromLatin1(kind) << 1;
            QTest::addRow("%s, lossy", kind) << QString::fromLatin1(kind) << 0;
        }
    }
    void longListsInPieces()
    {
        QFETCH(QString, kind);
        QFETCH(int, lossless);
        QTemporaryDir dir;
        const auto files = makeRecording(dir, kind);
        QCOMPARE(files.size(), std::size_t(24));
        AnimationSettings settings;
        settings.lossless = lossless;
        settings.loopCount = 2;
        const AnimationResult one = EncodeAnimationFiles(files, settings, 40, loadWithQt, {}, {}, nullptr, 1);
        QVERIFY(!one.bytes.empty());
        const DecodedAnimation whole = decodeAnimation(one.bytes);
        for (const unsigned threads : {2u, 3u}) {
            const AnimationResult split = EncodeAnimationFiles(files, settings, 40, loadWithQt, {}, {}, nullptr, threads);
            QCOMPARE(split.framesEncoded, one.framesEncoded);
            const DecodedAnimation joined = decodeAnimation(split.bytes);
            QVERIFY(joined.ok);
            QCOMPARE(joined.loopCount, 2);
            QCOMPARE(joined.durations, whole.durations);
            QCOMPARE(joined.frames.size(), whole.frames.size());
            for (std::size_t i = 0; i < joined.frames.size(); ++i)
                QVERIFY2(clearTransparent(joined.frames[i]) == clearTransparent(whole.frames[i]),
                         qPrintable(QStringLiteral("frame %1 on %2 threads").arg(i).arg(threads)));
        }
    }

    // Files that are not pictures are left out, wherever they are, each named on standard error; the
    // animation is written as long as one picture made it. Without any, the target is left alone.
    void filesThatAreNotPictures_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("frames"); // 0: nothing written
        QTest::newRow("last is text") << QStringList{"a.png", "b.png", "z.txt"} << 2;
        QTest::newRow("first is text") << QStringList{"0.txt", "a.png", "b.png"} << 2;
        QTest::newRow("only text") << QStringList{"0.txt", "1.txt"} << 0;
        QTest::newRow("missing file") << QStringList{"a.png", "gone.png"} << 1;
        QTest::newRow("nothing") << QStringList{} << 0;
    }
    void filesThatAreNotPictures()
    {
        REQUIRE_IMPORTER();
        QFETCH(QStringList, names);
        QFETCH(int, frames);
        QTemporaryDir dir;
        std::vector<std::string> files;
        quint32 seed = 1;
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            if (name.endsWith(QLatin1String(".txt")))
                QVERIFY(testsupport::writeAll(path, "text"));
            else if (name != QLatin1String("gone.png"))
                QVERIFY(savePng(makePicture(16, 16, false, seed++), path));
            files.push_back(path.toStdString());
        }
        const QString target = dir.filePath(QStringLiteral("target.webp"));
        QVERIFY(testsupport::writeAll(target, "old bytes"));
        testsupport::StderrCapture errors;
        const Status written = EncodeAnimationFile(files, AnimationSettings{}, 100, target.toStdString());
        const QList<QByteArray> lines = errors.text().split('\n');
        QCOMPARE(int(lines.size()) - 1, int(names.size()) - frames);
        QCOMPARE(written.ok(), frames > 0);
        if (frames == 0) {
            QCOMPARE(written.problem().failure, Failure::NothingToEncode);
            QCOMPARE(testsupport::readAll(target), QByteArray("old bytes"));
            return;
        }
        QCOMPARE(int(decodeAnimationFile(target).frames.size()), frames);
    }

    // A setting the encoder cannot take is named, and nothing is written.
    void refusedSettings_data()
    {
        QTest::addColumn<AnimationSettings>("settings");
        QTest::addColumn<int>("durationMs");
        QTest::addColumn<QString>("named");
        AnimationSettings quality;
        quality.quality = 101;
        AnimationSettings speed;
        speed.method = 7;
        AnimationSettings loops;
        loops.loopCount = 65536;
        QTest::newRow("quality") << quality << 100 << "quality";
        QTest::newRow("speed") << speed << 100 << "speed";
        QTest::newRow("loop count") << loops << 100 << "loop count";
        QTest::newRow("negative duration") << AnimationSettings{} << -5 << "frame duration";
        QTest::newRow("duration beyond 24 bits") << AnimationSettings{} << (1 << 24) << "frame duration";
    }
    void refusedSettings()
    {
        QFETCH(AnimationSettings, settings);
        QFETCH(int, durationMs);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("a.png"));
        QVERIFY(savePng(makePicture(16, 16, false, 3), png));
        const QString target = dir.filePath(QStringLiteral("out.webp"));
        const Status written = EncodeAnimationFile({png.toStdString()}, settings, durationMs, target.toStdString());
        QVERIFY(!written.ok());
        QCOMPARE(written.problem().failure, Failure::InvalidSetting);
        QCOMPARE(QString::fromStdString(written.problem().detail), named);
        QVERIFY(!QFileInfo::exists(target));
    }

    // A target that cannot be written is a CantWrite naming it and the system's reason; what stood
    // there stays.
    void targetsThatCannotBeWritten()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("a.png"));
        QVERIFY(savePng(makePicture(16, 16, false, 3), png));
        const QString folder = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkdir(folder));
        for (const QString& target : {folder, dir.filePath(QStringLiteral("missing/out.webp"))}) {
            const Status written = EncodeAnimationFile({png.toStdString()}, AnimationSettings{}, 100, target.toStdString());
            QVERIFY(!written.ok());
            QCOMPARE(written.problem().failure, Failure::CantWrite);
            QCOMPARE(written.problem().subject, displayName(target.toStdString()));
            QVERIFY(!written.problem().detail.empty());
        }
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(entriesOf(dir.path()), (QStringList{"a.png", "folder"}));
    }

    // Bytes that hold no animation write nothing (animations on show are encoded again in
    // tests/pictureview/tst_animationfiles.cpp, against what played).
    void bytesThatAreNoAnimation()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("still.png"));
        QVERIFY(savePng(makePicture(8, 8, false, 1), png));
        const QByteArray bytes = testsupport::readAll(png);
        const QString target = dir.filePath(QStringLiteral("no.webp"));
        const Status refused =
            EncodeAnimationFile(shared(bytes), std::uint64_t(bytes.size()), AnimationSettings{}, target.toStdString());
        QCOMPARE(refused.problem().failure, Failure::NotAPicture);
        QVERIFY(!QFileInfo::exists(target));
    }

    void backgroundPacking()
    {
        QCOMPARE(packBackgroundColor({0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}), 0xFFFFFFFFu);
        QCOMPARE(packBackgroundColor({0x12345678, 0xAB000000, 0x00FFFFFF}), 0xFF12AB00u);
    }
};

QTEST_GUILESS_MAIN(TestAnimationEncode)
#include "tst_animationencode.moc"
