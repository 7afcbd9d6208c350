// Layout and drawing of the picture object: pixels are checked on a grab of the real widget.

#include "pictureview/PictureView.h"

#include <QtTest>

using namespace quorvanta;

namespace {

// Fills the view's imported picture with `argb` values and shows it.
void showPicture(PictureView& view, std::uint32_t width, std::uint32_t height,
                 const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& argb)
{
    PictureRecord& record = const_cast<PictureRecord&>(view.state().importBuffer);
    record.releasePixels();
    record.pixels = allocZeroed<std::uint32_t>(std::uint64_t{width} * height);
    record.size = std::uint64_t{width} * height * 4;
    record.width = width;
    record.height = height;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            record.pixels[y * width + x] = argb(x, y);
    view.send(MethodId::ShowImported);
}

QImage grab(PictureView& view)
{
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void stretch(PictureView& view)
{
    ViewChoice choice;
    choice.scaling = Scaling::Stretch;
    view.setViewChoice(choice);
}

} // namespace

class TestDrawing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showImportedReordersPixelsToArgbBytes()
    {
        PictureView view;
        showPicture(view, 3, 2, [](std::uint32_t x, std::uint32_t y) { return 0x80102030u + x + 16 * y; });
        const InstanceData& d = view.state();
        QCOMPARE(d.bytesPerRow, 12u);
        QCOMPARE(d.pixelFormat, PixelFormat::ARGB);
        QCOMPARE(d.width, 3u);
        QCOMPARE(d.height, 2u);
        QCOMPARE(d.pixels.size, 24u);
        const std::uint8_t* p = d.pixels.data.get();
        // Last pixel: 0x80102030 + 2 + 16 = 0x80102042, stored as bytes A, R, G, B.
        QCOMPARE(std::vector<int>(p + 20, p + 24), (std::vector<int>{0x80, 0x10, 0x20, 0x42}));
        // The imported picture stays where it was: encoding reads it later.
        QVERIFY(d.importBuffer.pixels != nullptr);
    }

    void stretchedOpaquePictureFillsTheWholeRectangle()
    {
        PictureView view;
        stretch(view);
        view.resize(40, 30);
        // Left half red, right half blue: stretched, each half still covers its half of the area.
        showPicture(view, 2, 1, [](std::uint32_t x, std::uint32_t) { return x == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
        const QImage image = grab(view);
        QCOMPARE(image.size(), QSize(40, 30));
        QCOMPARE(QColor(image.pixel(0, 0)), QColor(Qt::red));
        QCOMPARE(QColor(image.pixel(5, 29)), QColor(Qt::red));
        QCOMPARE(QColor(image.pixel(39, 0)), QColor(Qt::blue));
        QCOMPARE(QColor(image.pixel(34, 29)), QColor(Qt::blue));
    }

    void transparentPixelsShowTheBackgroundColour()
    {
        PictureView view;
        stretch(view);
        view.resize(20, 20);
        // Top row fully transparent black, bottom row opaque green.
        showPicture(view, 1, 2, [](std::uint32_t, std::uint32_t y) { return y == 0 ? 0x00000000u : 0xFF00FF00u; });
        const QImage image = grab(view);
        QCOMPARE(QColor(image.pixel(10, 1)), QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(10, 18)), QColor(Qt::green));
    }

    void halfTransparentPixelsBlend()
    {
        PictureView view;
        stretch(view);
        view.resize(10, 10);
        showPicture(view, 1, 1, [](std::uint32_t, std::uint32_t) { return 0x80000000u; });
        const QColor c(grab(view).pixel(5, 5));
        // Half-opaque black over white.
        QVERIFY2(qAbs(c.red() - 127) <= 2, qPrintable(c.name()));
        QCOMPARE(c.red(), c.blue());
    }

    void withoutPictureTheWindowBackgroundShows()
    {
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(12, 34, 56));
        window.setPalette(palette);
        auto* view = new PictureView(100, 100, &window);
        window.resize(100, 100);
        view->setGeometry(0, 0, 100, 100);
        const QImage image = window.grab().toImage();
        QCOMPARE(QColor(image.pixel(50, 50)), QColor(12, 34, 56));
        QVERIFY(view->displayImage().isNull());
    }

    void sizeHintsFollowThePicture()
    {
        PictureView view(100, 100);
        showPicture(view, 400, 300, [](std::uint32_t, std::uint32_t) { return 0xFF000000u; });
        // The minimum stays small; the default size is the picture's own while there is room.
        QCOMPARE(view.minimumSizeHint(), QSize(100, 100));
        QCOMPARE(view.sizeHint(), QSize(400, 300));
        QVERIFY(view.maximumSize().width() > 10000);
        // Within the room the window can give: the largest zoom that keeps it whole, in its shape.
        view.setRoom(QSize(200, 200));
        QCOMPARE(view.sizeHint(), QSize(200, 150));
        view.setRoom(QSize(60, 500));
        QCOMPARE(view.minimumSizeHint(), QSize(60, 100));
        QCOMPARE(view.sizeHint(), QSize(60, 100)); // 60 x 45 at least the minimum
        // A picture smaller than the minimum is not enlarged for the default size.
        view.setRoom(QSize());
        showPicture(view, 16, 16, [](std::uint32_t, std::uint32_t) { return 0xFF000000u; });
        QCOMPARE(view.sizeHint(), QSize(100, 100));
    }

    void pictureIsConvertedOncePerNewPicture()
    {
        PictureView view;
        view.resize(30, 30);
        showPicture(view, 4, 4, [](std::uint32_t, std::uint32_t) { return 0x80FF0000u; });
        const qint64 key = view.displayImage().cacheKey();
        grab(view);
        grab(view);
        QCOMPARE(view.displayImage().cacheKey(), key);
    }
};

QTEST_MAIN(TestDrawing)
#include "tst_drawing.moc"
