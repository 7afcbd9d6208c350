// Target size: the file kept is not over the target and one quality step more would be; the cases
// where the target cannot apply or cannot be met; the preview's figures and PSNR against known errors.

#include "PictureFixtures.h"
#include "MetadataFixtures.h"
#include "encoding/TargetSize.h"
#include "encoding/WebPHandles.h"

#include <webp/decode.h>

#include <cmath>
#include <limits>

using namespace quorvanta;

namespace {

// Flat bands crossed by thin dark strokes: the kind of picture whose size moves in larger steps.
QImage drawing(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int band = (x / 40 + y / 30) % 5;
            const bool stroke = (x * 7 + y * 3) % 53 < 3;
            image.setPixel(x, y, stroke ? qRgb(20, 20, 30) : qRgb(band * 50, 200 - band * 30, 140));
        }
    return image;
}

QImage picture(const QString& kind)
{
    if (kind == "drawing")
        return drawing(320, 240);
    return fixtures::makePicture(320, 240, kind == "photo with alpha", 3);
}

metadatatest::Bytes encode(PictureRecord& record, EncodeSettings settings, float quality)
{
    MemoryWriter writer;
    if (EncodeStillWebP({}, record, settings.lossless, settings.method, settings.filterStrength,
                        settings.filterSharpness, writer.get(), 1, quality) != 1)
        return {};
    return metadatatest::Bytes(writer.data(), writer.data() + writer.size());
}

} // namespace

class TestTargetSize : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsTheLargestFileNotOver_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("qualityForTarget");
        for (const char* kind : {"photo", "photo with alpha", "drawing"}) {
            QTest::addRow("%s, near quality 40", kind) << QString(kind) << 0 << 40;
            QTest::addRow("%s, near quality 85, method 4", kind) << QString(kind) << 4 << 85;
        }
    }

    void keepsTheLargestFileNotOver()
    {
        QFETCH(QString, kind);
        QFETCH(int, method);
        QFETCH(int, qualityForTarget);
        PictureRecord record = metadatatest::recordOf(picture(kind));
        EncodeSettings settings;
        settings.method = method;
        const std::uint64_t target = encode(record, settings, float(qualityForTarget)).size() * 95 / 100;

        const TargetSizeResult result = EncodeToTargetSize(record, settings, target);
        QVERIFY(result.applied && result.met);
        QVERIFY(result.webp.size() <= target);
        QVERIFY(result.encodes <= 9);
        QVERIFY(result.quality < float(qualityForTarget)); // the target was below that quality's size
        QVERIFY(encode(record, settings, result.quality) == result.webp); // the quality it reports
        QVERIFY(encode(record, settings, result.quality + kTargetQualityStep).size() > target);
        int width = 0, height = 0;
        QVERIFY(WebPGetInfo(result.webp.data(), result.webp.size(), &width, &height));
        QCOMPARE(QSize(width, height), QSize(320, 240));
    }

    void whereTheTargetCannotApply_data()
    {
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<qint64>("target"); // -1: the size of the quality-100 file, plus one
        QTest::addColumn<float>("quality");
        QTest::addColumn<int>("encodes");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<bool>("met");
        QTest::newRow("above the best quality") << false << qint64(-1) << 100.0f << 9 << true << true;
        QTest::newRow("below the lowest quality") << false << qint64(60) << 0.0f << 9 << true << false;
        QTest::newRow("no target") << false << qint64(0) << 50.0f << 1 << false << true;
        QTest::newRow("lossless") << true << qint64(100) << 50.0f << 1 << false << false;
    }

    // The file kept is always the one encoded at the quality reported.
    void whereTheTargetCannotApply()
    {
        QFETCH(bool, lossless);
        QFETCH(qint64, target);
        QFETCH(float, quality);
        QFETCH(int, encodes);
        QFETCH(bool, applied);
        QFETCH(bool, met);
        PictureRecord record = metadatatest::recordOf(picture("photo"));
        EncodeSettings settings;
        settings.lossless = lossless ? 1 : 0;
        if (target < 0)
            target = qint64(encode(record, settings, 100.0f).size()) + 1;
        const TargetSizeResult result = EncodeToTargetSize(record, settings, std::uint64_t(target));
        QCOMPARE(result.quality, quality);
        QVERIFY(result.encodes <= encodes);
        QCOMPARE(result.applied, applied);
        QCOMPARE(result.met, met);
        QVERIFY(!result.webp.empty());
        QVERIFY(encode(record, settings, quality) == result.webp);
    }
};

QTEST_GUILESS_MAIN(TestTargetSize)
#include "tst_targetsize.moc"
