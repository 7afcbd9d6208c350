// Pictures shown upright: the EXIF orientation that exiftool writes into JPEG, PNG, TIFF and WebP files
// is applied by the import and the WebP still decoder, and left alone when the setting is off.

#include "MetadataFixtures.h"
#include "TestDoubles.h"
#include "ViewingFixtures.h"

#include <QTransform>
#include <QtTest>

using namespace quorvanta;

namespace {

constexpr int kBlock = 8;

// 3 x 2 blocks of flat, far-apart colours: every mirror and turn puts a different colour in each corner,
// and the blocks survive JPEG.
QImage blockPicture()
{
    static const QRgb colours[6] = {qRgb(230, 20, 20), qRgb(20, 230, 20), qRgb(20, 20, 230),
                                    qRgb(230, 230, 20), qRgb(230, 20, 230), qRgb(20, 230, 230)};
    QImage image(3 * kBlock, 2 * kBlock, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, colours[(y / kBlock) * 3 + x / kBlock]);
    return image;
}

// How the picture must look for each orientation, made with Qt's own transforms.
QImage upright(const QImage& stored, int orientation)
{
    const auto turned = [&stored](int degrees) { return stored.transformed(QTransform().rotate(degrees)); };
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return turned(90).mirrored(true, false);
    case 6: return turned(90);
    case 7: return turned(270).mirrored(true, false);
    case 8: return turned(270);
    default: return stored;
    }
}

// Empty when `shown` has the size of `expected` and the colour at the centre of each block.
QString compareBlocks(const QImage& shown, const QImage& expected)
{
    if (shown.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(shown.width()).arg(shown.height()).arg(expected.width()).arg(expected.height());
    for (int y = kBlock / 2; y < expected.height(); y += kBlock)
        for (int x = kBlock / 2; x < expected.width(); x += kBlock) {
            const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 24 || std::abs(qGreen(a) - qGreen(b)) > 24 ||
                std::abs(qBlue(a) - qBlue(b)) > 24)
                return QStringLiteral("at %1,%2: %3, expected %4").arg(x).arg(y).arg(a, 8, 16).arg(b, 8, 16);
        }
    return {};
}

} // namespace

class TestUpright : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    const QStringList formats{"jpeg", "png", "tiff", "webp"};

    QString tagged(const QString& format, int orientation) const
    {
        return scratch.filePath(QStringLiteral("o%1.%2").arg(orientation).arg(format));
    }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("exiftool");
        REQUIRE_TOOL("cwebp");
        QVERIFY(scratch.isValid());
        // One exiftool run per orientation tags the picture in every format.
        for (int orientation = 1; orientation <= 8; ++orientation) {
            QStringList files;
            for (const QString& format : formats) {
                const QString made = metadatatest::writePicture(blockPicture(), scratch.path(),
                                                                QStringLiteral("o%1").arg(orientation), format);
                QVERIFY2(!made.isEmpty(), qPrintable(format));
                files << made;
            }
            QVERIFY(metadatatest::exiftool(QStringList{"-n", "-overwrite_original",
                                                       QStringLiteral("-Orientation=%1").arg(orientation)} + files));
        }
    }

    void shownUpright_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("apply");
        for (const QString& format : formats)
            for (int orientation = 1; orientation <= 8; ++orientation)
                QTest::addRow("%s %d", qPrintable(format), orientation) << format << orientation << true;
        // With the setting off the picture is shown as stored, whatever its tag says.
        for (const QString& format : formats)
            QTest::addRow("%s 6, setting off", qPrintable(format)) << format << 6 << false;
    }
    void shownUpright()
    {
        QFETCH(QString, format);
        QFETCH(int, orientation);
        QFETCH(bool, apply);
        const QString file = tagged(format, orientation);
        // The oracle reads back the tag the picture was given, so a file exiftool left untagged fails here.
        QByteArray said;
        QVERIFY(metadatatest::exiftool({"-n", "-s3", "-Orientation", file}, &said));
        QCOMPARE(said.trimmed().toInt(), orientation);

        FixedSettings settings;
        settings.orientationValue = apply;
        PictureView view;
        view.setSettings(&settings);
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(view.state().mode, format == "webp" ? Mode::Still : Mode::Imported);
        const QImage expected = upright(blockPicture(), apply ? orientation : 1);
        QCOMPARE(compareBlocks(view.displayImage(), expected), QString());
        if (format != "webp") {
            // The imported picture, which the encoder takes, is upright too.
            const QImage imported = metadatatest::imageOf(view.state().importBuffer);
            QCOMPARE(compareBlocks(imported, expected), QString());
        }
    }
};

QTEST_MAIN(TestUpright)
#include "tst_upright.moc"
