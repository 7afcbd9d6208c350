// Layout and drawing of the picture object: pixels are checked on a grab of the real widget.

#include "ShowPicture.h"
#include "pictureview/PictureView.h"

#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

using namespace quorvanta;
using fixtures::showPicture;

namespace {

QImage grab(PictureView& view)
{
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels of `colour`.
QRect pixelsOf(const QImage& image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

ViewChoice zoomed(double zoom)
{
    ViewChoice choice;
    choice.scaling = Scaling::Zoom;
    choice.zoom = zoom;
    return choice;
}

// Each pixel tells where it is: red the column, green the row.
std::uint32_t placeColour(std::uint32_t x, std::uint32_t y)
{
    return 0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | 0x40;
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

    void fitKeepsTheShapeAtEveryWindowShape_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::newRow("square") << QSize(200, 200);
        QTest::newRow("wide") << QSize(500, 90);
        QTest::newRow("tall") << QSize(120, 400);
        QTest::newRow("larger than the picture") << QSize(700, 500);
    }
    void fitKeepsTheShapeAtEveryWindowShape()
    {
        QFETCH(QSize, window);
        PictureView view;
        view.resize(window);
        showPicture(view, 300, 100, [](std::uint32_t, std::uint32_t) { return 0xFFFF0000u; });
        const QImage image = grab(view);
        const QRect shown = pixelsOf(image, qRgb(255, 0, 0));
        QVERIFY(!shown.isEmpty());
        // The whole picture in its shape, centred, never above 100 %.
        QVERIFY2(qAbs(shown.width() - 3 * shown.height()) <= 3, qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
        QVERIFY(shown.width() == window.width() || shown.height() == window.height() || shown.size() == QSize(300, 100));
        QVERIFY(qAbs(shown.left() - (window.width() - 1 - shown.right())) <= 1);
        QVERIFY(qAbs(shown.top() - (window.height() - 1 - shown.bottom())) <= 1);
    }

    void actualSizeScrollsAndPans()
    {
        PictureView view;
        view.setViewChoice(zoomed(1.0));
        view.resize(160, 120);
        showPicture(view, 300, 200, placeColour);
        view.show();
        QVERIFY(view.view().pannable());
        const auto bars = view.findChildren<QScrollBar*>();
        QCOMPARE(bars.size(), 2);
        for (const QScrollBar* bar : bars)
            QVERIFY(bar->isVisible());
        // One picture pixel to one pixel, starting at the pan.
        auto topLeftShows = [&view] {
            const QImage image = grab(view);
            const QPoint pan = view.view().pan();
            return image.pixel(0, 0) == placeColour(pan.x(), pan.y()) && image.pixel(10, 7) == placeColour(pan.x() + 10, pan.y() + 7);
        };
        QVERIFY(topLeftShows());
        // Dragging moves the picture with the pointer.
        const QPoint before = view.view().pan();
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(80, 60));
        QTest::mouseMove(&view, QPoint(60, 50));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(60, 50));
        QCOMPARE(view.view().pan(), before + QPoint(20, 10));
        QVERIFY(topLeftShows());
        // The scroll bars move it as well.
        bars[0]->setValue(bars[0]->orientation() == Qt::Horizontal ? 3 : 4);
        bars[1]->setValue(bars[1]->orientation() == Qt::Horizontal ? 3 : 4);
        QCOMPARE(view.view().pan(), QPoint(3, 4));
        QVERIFY(topLeftShows());
        // Ctrl and the wheel zoom in about the pointer: the pixel under it stays under it.
        const QRgb under = grab(view).pixel(40, 30);
        QWheelEvent wheel(QPointF(40, 30), view.mapToGlobal(QPointF(40, 30)), {}, QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        QCOMPARE(view.view().zoom(), 1.5);
        const QImage zoomedIn = grab(view);
        QVERIFY(qAbs(qRed(zoomedIn.pixel(40, 30)) - qRed(under)) <= 1);
        QVERIFY(qAbs(qGreen(zoomedIn.pixel(40, 30)) - qGreen(under)) <= 1);
    }

    void transparencyOverColourOrCheckerboard()
    {
        PictureView view;
        view.resize(100, 100);
        showPicture(view, 64, 64, [](std::uint32_t x, std::uint32_t) { return x < 32 ? 0u : 0xFF0000FFu; });
        QImage image = grab(view);
        QCOMPARE(QColor(image.pixel(30, 50)), QColor(Qt::white));
        ViewChoice choice;
        choice.checkerboard = true;
        view.setViewChoice(choice);
        image = grab(view);
        // Two greys in the transparent half, the picture itself unchanged, nothing outside the picture.
        QSet<QRgb> transparent;
        for (int y = 18; y < 82; ++y)
            for (int x = 18; x < 50; ++x)
                transparent.insert(image.pixel(x, y));
        QCOMPARE(transparent.size(), 2);
        QVERIFY(!transparent.contains(qRgb(255, 255, 255)));
        QCOMPARE(QColor(image.pixel(70, 50)), QColor(Qt::blue));
        PictureView empty;
        empty.resize(100, 100);
        QCOMPARE(image.pixel(5, 5), grab(empty).pixel(5, 5));
    }

    void scaledOncePerPictureFrameOrZoom()
    {
        PictureView view;
        view.resize(100, 100);
        showPicture(view, 400, 300, placeColour);
        grab(view);
        QCOMPARE(view.scaledPicture().scalings(), 1u);
        // Painting again scales nothing.
        grab(view);
        grab(view);
        QCOMPARE(view.scaledPicture().scalings(), 1u);
        // A new frame of the same size, and another zoom, are scaled once each.
        showPicture(view, 400, 300, [](std::uint32_t, std::uint32_t) { return 0xFF00FF00u; });
        grab(view);
        grab(view);
        QCOMPARE(view.scaledPicture().scalings(), 2u);
        QCOMPARE(QColor(grab(view).pixel(50, 50)), QColor(Qt::green));
        view.zoomOut();
        grab(view);
        grab(view);
        QCOMPARE(view.scaledPicture().scalings(), 3u);
        // At 100 % nothing is scaled at all.
        view.setViewChoice(zoomed(1.0));
        grab(view);
        QCOMPARE(view.scaledPicture().scalings(), 3u);
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
