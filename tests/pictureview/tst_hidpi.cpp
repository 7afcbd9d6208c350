// The picture area on a screen scaled by 2: at 100 % one picture pixel is one device pixel, and the
// text around it may be sharp without the picture being enlarged.

#include "ShowPicture.h"
#include "pictureview/PictureView.h"

#include <QtTest>

using namespace quorvanta;

namespace {

// Shows a width x height picture whose pixels tell their place: red the column, green the row.
void showPlaces(PictureView& view, std::uint32_t width, std::uint32_t height)
{
    fixtures::showPicture(view, width, height, [](std::uint32_t x, std::uint32_t y) {
        return 0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | 0x80;
    });
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void actualSizeIsOneToOneInDevicePixels()
    {
        PictureView view;
        QCOMPARE(view.devicePixelRatioF(), 2.0);
        ViewChoice choice;
        choice.scaling = Scaling::Zoom;
        view.setViewChoice(choice);
        view.resize(60, 50); // 120 x 100 device pixels
        showPlaces(view, 40, 30);

        const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.size(), QSize(120, 100));
        // Centred: 40 device pixels either side across, 35 above and below.
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                QCOMPARE(image.pixel(40 + x, 35 + y), qRgb(x, y, 0x80));
        QCOMPARE(image.pixel(39, 50), image.pixel(0, 0));
        QCOMPARE(image.pixel(80, 50), image.pixel(0, 0));
        QCOMPARE(view.view().zoom(), 1.0);
    }

    void defaultSizeIsThePicturesOwnInDevicePixels()
    {
        PictureView view;
        showPlaces(view, 640, 480);
        QCOMPARE(view.sizeHint(), QSize(320, 240));
        view.setRoom(QSize(160, 200));
        QCOMPARE(view.sizeHint(), QSize(160, 120));
        // Fitted into 120 x 100 device pixels: reduced, not enlarged and blurred.
        view.setRoom(QSize());
        view.resize(60, 50);
        view.grab();
        QCOMPARE(view.view().pictureRect().size(), QSize(120, 90));
        QVERIFY(view.view().zoom() < 1.0);
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
