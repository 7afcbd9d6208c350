// Animations played through their reader: any frame, in any order, shows what the reader composes,
// whether the frames are kept or read again from the start; damaged and refused files.

#include "GifFixtures.h"

#include "core/DecodeBudget.h"
#include "import/AnimationPlayback.h"
#include "import/AnimationReaders.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

#include <cstring>

using namespace quorvanta;
using giftest::GifWriter;

namespace {

std::shared_ptr<const std::uint8_t[]> shared(const QByteArray& bytes)
{
    std::shared_ptr<std::uint8_t[]> out(new std::uint8_t[std::size_t(bytes.size())]);
    std::memcpy(out.get(), bytes.constData(), std::size_t(bytes.size()));
    return out;
}

std::vector<std::uint32_t> shownPixels(const DisplayBuffer& canvas)
{
    return testsupport::argbBytesToPixels(canvas.data.get(), std::size_t(canvas.size / 4));
}

// Sets the decode budget for the life of a test; 0 keeps the default.
struct BudgetForTest {
    explicit BudgetForTest(std::uint64_t bytes) { SetDecodeBudgetBytes(bytes); }
    ~BudgetForTest() { SetDecodeBudgetBytes(0); }
};

} // namespace

class TestAnimationPlayback : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Kept frames, or (when they do not fit their share of the budget) frames read again from the
    // first after each step back: the same canvases and durations either way.
    void framesInAnyOrder_data()
    {
        QTest::addColumn<quint64>("budget");
        QTest::newRow("frames kept") << quint64(0);
        // Room for the reader's three canvases (576 bytes), not for a quarter's worth of five frames.
        QTest::newRow("played sequentially") << quint64(2000);
    }
    void framesInAnyOrder()
    {
        QFETCH(quint64, budget);
        const QByteArray file = giftest::disposalGif().finish();
        AnimationFileReader reference(shared(file), std::size_t(file.size()));
        const std::vector<AnimationFrame> frames = ReadAllFrames(reference);
        QCOMPARE(frames.size(), std::size_t(5));

        const BudgetForTest limit(budget);
        auto opened = OpenAnimationPlayback(shared(file), std::uint64_t(file.size()));
        QVERIFY(opened.ok());
        PlayableAnimation& animation = *opened.value();
        QCOMPARE(animation.canvasWidth(), 8u);
        QCOMPARE(animation.canvasHeight(), 6u);
        QCOMPARE(animation.loopCount(), 3u);
        QCOMPARE(animation.frameCount(), 5);
        DisplayBuffer canvas;
        for (const int n : {1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 3, 1, 5, 2, 2, 4, 1}) {
            QVERIFY(animation.show(n, canvas));
            QCOMPARE(canvas.size, quint64(8 * 6 * 4));
            QVERIFY2(shownPixels(canvas) == giftest::pixelsOf(frames[std::size_t(n - 1)]), qPrintable(QString::number(n)));
            QCOMPARE(animation.frameDuration(n), frames[std::size_t(n - 1)].durationMs);
        }
        QVERIFY(!animation.show(0, canvas));
        QVERIFY(!animation.show(6, canvas));
        QCOMPARE(animation.frameDuration(6), 0);
    }

    // Pixels that do not decode in the third of four frames: the animation ends at the second, and
    // says so by its frame count once it got there.
    void damagedFrameEndsTheAnimation()
    {
        GifWriter gif(4, 4, 4);
        gif.control(10, 1).image(0, 0, 4, 4, QByteArray(16, '\1'));
        gif.control(10, 1).image(0, 0, 2, 2, QByteArray(4, '\2'));
        const qsizetype third = gif.finish().size() - 1 + 8 + 10 + 2; // past the control, descriptor, code size, block length
        gif.control(10, 1).image(0, 0, 4, 4, QByteArray(16, '\3'));
        gif.control(10, 1).image(1, 1, 2, 2, QByteArray(4, '\1'));
        QByteArray file = gif.finish();
        file.replace(third, 6, QByteArray(6, '\xff')); // codes far beyond the table
        auto opened = OpenAnimationPlayback(shared(file), std::uint64_t(file.size()));
        QVERIFY(opened.ok());
        PlayableAnimation& animation = *opened.value();
        QCOMPARE(animation.frameCount(), 4);
        DisplayBuffer canvas;
        QVERIFY(animation.show(2, canvas));
        QVERIFY(!animation.show(4, canvas));
        QCOMPARE(animation.frameCount(), 2);
        QVERIFY(animation.show(1, canvas));
    }

    // A picture of one frame is imported instead; a screen over the budget is refused with its size.
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("failure");
        GifWriter still(2, 2, 2);
        still.image(0, 0, 2, 2, QByteArray(4, '\1'));
        GifWriter huge(30000, 30000, 2);
        huge.image(0, 0, 1, 1, QByteArray(1, '\1')).image(0, 0, 1, 1, QByteArray(1, '\0'));
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage(4, 4, QImage::Format_ARGB32).save(&buffer, "PNG");
        }
        QTest::newRow("one-frame GIF") << still.finish() << int(Failure::NotAPicture);
        QTest::newRow("PNG") << png << int(Failure::NotAPicture);
        QTest::newRow("text") << QByteArray("GIF89 is not enough") << int(Failure::NotAPicture);
        QTest::newRow("screen over the budget") << huge.finish() << int(Failure::OverBudget);
    }
    void refusals()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, failure);
        const BudgetForTest limit(64 * kMiB);
        const auto opened = OpenAnimationPlayback(shared(file), std::uint64_t(file.size()));
        QVERIFY(!opened.ok());
        QCOMPARE(int(opened.problem().failure), failure);
        if (Failure(failure) == Failure::OverBudget)
            QVERIFY(QString::fromStdString(opened.problem().detail).startsWith("30000 x 30000 needs"));
    }
};

QTEST_GUILESS_MAIN(TestAnimationPlayback)
#include "tst_animationplayback.moc"
