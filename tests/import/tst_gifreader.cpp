// Animated GIF read frame by frame: every frame compared pixel by pixel with what gif2webp makes of
// the same file, and hostile files (a huge screen, cut-off data, thousands of frames).

#include "GifFixtures.h"

#include "core/DecodeBudget.h"
#include "import/AnimationReaders.h"
#include "import/GifReader.h"

#include <QtTest>

using namespace quorvanta;
using namespace giftest;

namespace {

std::span<const std::uint8_t> spanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

// A plain rectangle of `colour` for frame(): "WxH+X+Y" on the 64 x 48 screen.
QStringList box(const char* dispose, int delay, const QString& geometry, const char* colour)
{
    const QString size = geometry.section(QLatin1Char('+'), 0, 0);
    const QString at = geometry.mid(size.size());
    return frame(dispose, delay, "64x48" + at, {"-size", size, QStringLiteral("xc:") + colour});
}

QStringList sky(int delay = 10)
{
    return frame("none", delay, "64x48+0+0",
                 {"-size", "64x48", "xc:skyblue", "-fill", "white", "-draw", "rectangle 5,5 20,20"});
}

QStringList redCircle(const char* dispose, int delay, const QString& at)
{
    return frame(dispose, delay, "64x48" + at,
                 {"-size", "20x16", "xc:none", "-fill", "red", "-draw", "circle 10,8 10,2"});
}

} // namespace

class TestGifReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void composedAsGif2webp_data()
    {
        QTest::addColumn<QStringList>("gif");
        QTest::addColumn<QStringList>("clipped"); // the same animation cut to the screen, for gif2webp
        QTest::addColumn<int>("loops");           // in WebP terms
        QTest::newRow("none over transparency")
            << sky() + redCircle("none", 20, "+10+6") + redCircle("none", 30, "+30+20") << QStringList{} << 0;
        QTest::newRow("background clears to transparent")
            << sky() + box("background", 20, "24x20+30+20", "green") + box("none", 30, "12x12+40+2", "purple") +
                   redCircle("background", 40, "+2+2") + box("none", 50, "8x8+0+40", "orange")
            << QStringList{} << 0;
        QTest::newRow("previous restores")
            << sky() + redCircle("previous", 20, "+10+6") + box("previous", 30, "20x20+20+10", "orange") +
                   box("none", 40, "12x12+40+2", "purple")
            << QStringList{} << 0;
        QTest::newRow("previous first") << box("previous", 10, "20x20+5+5", "red") + box("none", 20, "10x10+30+20", "blue")
                                        << QStringList{} << 0;
        QTest::newRow("interlaced, local colour maps")
            << QStringList{"-interlace", "GIF"} +
                   frame("none", 10, "64x48+0+0", {"-size", "64x37", "gradient:red-blue"}) +
                   frame("none", 20, "64x48+10+5", {"-size", "20x21", "gradient:green-yellow"}) +
                   frame("background", 30, "64x48+33+9", {"-size", "31x39", "plasma:", "-colors", "200"})
            << QStringList{} << 0;
        QTest::newRow("off the screen")
            << sky() + box("background", 20, "20x16+50+40", "red") + box("none", 30, "8x8+70+10", "blue") +
                   box("previous", 40, "16x16+56+0", "green") + box("none", 50, "4x4+1+1", "black")
            << sky() + box("background", 20, "14x8+50+40", "red") + box("none", 30, "1x1+0+0", "none") +
                   box("previous", 40, "8x16+56+0", "green") + box("none", 50, "4x4+1+1", "black")
            << 0;
        QTest::newRow("delays 0, 1, 2, 25 cs")
            << box("none", 0, "64x48+0+0", "red") + box("none", 1, "8x8+0+0", "blue") +
                   box("none", 2, "8x8+8+0", "green") + box("none", 25, "8x8+16+0", "yellow")
            << QStringList{} << 0;
        const QStringList two = sky() + redCircle("none", 20, "+10+6");
        QTest::newRow("looping extension 0") << QStringList{"-loop", "0"} + two << QStringList{} << 0;
        // convert writes n - 1 for -loop n: the repeats after the first showing.
        QTest::newRow("looping extension 1") << QStringList{"-loop", "2"} + two << QStringList{} << 2;
        QTest::newRow("looping extension 3") << QStringList{"-loop", "4"} + two << QStringList{} << 4;
        QTest::newRow("no looping extension") << QStringList{"-loop", "1"} + two << QStringList{} << 1;
    }
    void composedAsGif2webp()
    {
        QFETCH(QStringList, gif);
        QFETCH(QStringList, clipped);
        QFETCH(int, loops);
        if (!haveTools())
            QSKIP("ImageMagick's convert and gif2webp are needed to make and check the GIFs");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("animation.gif"));
        const QString reference = clipped.isEmpty() ? path : dir.filePath(QStringLiteral("clipped.gif"));
        QVERIFY(convertGif(gif, path));
        QVERIFY(clipped.isEmpty() || convertGif(clipped, reference));
        const testsupport::DecodedAnimation want = gif2webpFrames(reference);
        QVERIFY(want.ok);

        const QByteArray bytes = testsupport::readAll(path);
        GifAnimationReader reader(spanOf(bytes));
        QVERIFY(reader.ok());
        QVERIFY(!reader.damaged());
        QCOMPARE(int(reader.canvasWidth()), want.width);
        QCOMPARE(int(reader.canvasHeight()), want.height);
        QCOMPARE(want.loopCount, loops);
        QCOMPARE(reader.loopCount(), loops);
        const std::vector<AnimationFrame> frames = ReadAllFrames(reader);
        QCOMPARE(int(frames.size()), reader.frameCount());
        const QString different = difference(frames, want);
        QVERIFY2(different.isEmpty(), qPrintable(different));
    }

    // A logical screen of 0 x 0 takes the first image's size, and the first image goes to 0,0.
    void zeroScreenTakesTheFirstImage()
    {
        if (!haveTools())
            QSKIP("gif2webp is needed to check the GIF");
        GifWriter gif(0, 0, 4);
        gif.loop(0).control(10, 0).image(3, 2, 4, 3, QByteArray("\1\2\3\1\2\3\1\2\3\1\2\3", 12));
        gif.control(20, 0).image(1, 1, 2, 2, QByteArray(4, '\0'));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("zero.gif"));
        QVERIFY(testsupport::writeAll(path, gif.finish()));
        const QByteArray bytes = testsupport::readAll(path);
        GifAnimationReader reader(spanOf(bytes));
        QCOMPARE(reader.canvasWidth(), 4u);
        QCOMPARE(reader.canvasHeight(), 3u);
        const QString different = difference(ReadAllFrames(reader), gif2webpFrames(path));
        QVERIFY2(different.isEmpty(), qPrintable(different));
    }

    // Where gif2webp gives up: indices past the colour map, and no colour map at all, are opaque black.
    void colourMapGaps()
    {
        GifWriter shortMap(4, 1, 2);
        const QByteArray indices("\0\1\2\xc8", 4);
        shortMap.control(10, 0, 1).image(0, 0, 4, 1, indices);
        const QByteArray first = shortMap.finish();
        GifAnimationReader reader(spanOf(first));
        AnimationFrame frame;
        QCOMPARE(reader.next(frame), FrameSource::Read::Frame);
        QCOMPARE(pixelsOf(frame), (std::vector<std::uint32_t>{GifWriter::color(0), 0, 0xFF000000, 0xFF000000}));

        GifWriter noMap(2, 1, 0);
        noMap.image(0, 0, 2, 1, QByteArray("\0\1", 2)).image(1, 0, 1, 1, QByteArray("\3", 1), 4);
        const QByteArray second = noMap.finish();
        GifAnimationReader local(spanOf(second));
        const std::vector<AnimationFrame> frames = ReadAllFrames(local);
        QCOMPARE(frames.size(), std::size_t(2));
        QCOMPARE(pixelsOf(frames[0]), (std::vector<std::uint32_t>{0xFF000000, 0xFF000000}));
        QCOMPARE(pixelsOf(frames[1]), (std::vector<std::uint32_t>{0xFF000000, GifWriter::color(3)}));
    }

    // 30 bytes that declare a 13384 x 12554 screen: refused with the budget's message before any
    // pixel is allocated, also when opened as a file.
    void screenBombRefused()
    {
        const QByteArray bomb = QByteArray("GIF89a\x48\x34\x0a\x31\0\0\0", 13) +
                                QByteArray(",\0\0\0\0\x48\x34\x0a\x31\0\x02\x02\x4c\x01\0;", 17);
        const qint64 before = testsupport::heapBytesInUse();
        GifAnimationReader reader(spanOf(bomb));
        QVERIFY(testsupport::heapBytesInUse() - before < (1 << 20));
        QVERIFY(!reader.ok());
        QVERIFY2(QString::fromStdString(reader.refusal()).startsWith("13384 x 12554 needs "), reader.refusal().c_str());
        AnimationFrame frame;
        QCOMPARE(reader.next(frame), FrameSource::Read::End);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bomb.gif"));
        QVERIFY(testsupport::writeAll(path, bomb));
        const AnimationFileReader file(path.toStdString());
        QVERIFY(!file.ok());
        QCOMPARE(file.refusal(), reader.refusal());
    }

    // Data cut off anywhere: the frames before the cut come out whole and the same, the rest ends
    // the animation; bytes overwritten in the last frame leave the frames before it alone.
    void cutShortKeepsWholeFrames()
    {
        if (!haveTools())
            QSKIP("ImageMagick's convert is needed to make the GIF");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("noise.gif"));
        QVERIFY(convertGif(QStringList{"-seed", "7"} + frame("none", 10, "48x32+0+0", {"-size", "48x32", "plasma:"}) +
                               frame("previous", 20, "48x32+10+5", {"-size", "20x20", "plasma:"}) +
                               frame("background", 30, "48x32+20+8", {"-size", "24x20", "plasma:"}) +
                               frame("none", 40, "48x32+0+0", {"-size", "48x32", "plasma:"}),
                           path));
        const QByteArray full = testsupport::readAll(path);
        GifAnimationReader whole(spanOf(full));
        const std::vector<AnimationFrame> all = ReadAllFrames(whole);
        QCOMPARE(all.size(), std::size_t(4));

        const auto framesOf = [&](const QByteArray& bytes, std::size_t expected) {
            GifAnimationReader reader(spanOf(bytes));
            const std::vector<AnimationFrame> frames = ReadAllFrames(reader);
            if (frames.size() > expected || (!reader.damaged() && reader.ok()))
                return std::size_t(99);
            for (std::size_t i = 0; i < frames.size(); ++i)
                if (pixelsOf(frames[i]) != pixelsOf(all[i]) || frames[i].durationMs != all[i].durationMs)
                    return std::size_t(99);
            return frames.size();
        };
        std::size_t previous = 0;
        for (qsizetype cut : {qsizetype(0), qsizetype(6), qsizetype(13), full.size() / 8, full.size() / 3,
                              full.size() / 2, full.size() * 3 / 4, full.size() - 10}) {
            const std::size_t count = framesOf(full.left(cut), 4);
            QVERIFY2(count >= previous && count <= 3, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(count)));
            previous = count;
        }
        QCOMPARE(previous, std::size_t(3)); // 10 bytes short: inside the last frame
        QCOMPARE(framesOf(full.left(full.size() - 1), 4), std::size_t(4)); // only the trailer missing
        QByteArray overwritten = full;
        overwritten.replace(full.size() - 300, 100, QByteArray(100, '\xff'));
        QVERIFY(framesOf(overwritten, 4) >= 3);
    }

    // Thousands of frames, each with a colour map of its own, read one at a time: memory stays that
    // of a canvas or two, and every frame is drawn over the ones before it.
    void thousandsOfFramesOneAtATime()
    {
        constexpr int kFrames = 4000;
        GifWriter gif(128, 128, 0);
        gif.loop(0);
        for (int i = 0; i < kFrames; ++i)
            gif.control(2, 1).image(i % 128, i / 128, 1, 1, QByteArray(1, char(i % 256)), 256);
        const QByteArray bytes = gif.finish();

        const qint64 before = testsupport::heapBytesInUse();
        GifAnimationReader reader(spanOf(bytes));
        QCOMPARE(reader.frameCount(), kFrames);
        qint64 most = 0;
        int count = 0;
        AnimationFrame frame;
        while (reader.next(frame) == FrameSource::Read::Frame) {
            ++count;
            most = std::max(most, testsupport::heapBytesInUse() - before);
        }
        QCOMPARE(count, kFrames);
        QVERIFY2(most < (1 << 20), qPrintable(QString::number(most)));
        QCOMPARE(frame.durationMs, 20);
        QCOMPARE(frame.pixels[0], GifWriter::color(0));
        QCOMPARE(frame.pixels[31 * 128 + 31], GifWriter::color((kFrames - 1) % 256));
    }
};

QTEST_GUILESS_MAIN(TestGifReader)
#include "tst_gifreader.moc"
