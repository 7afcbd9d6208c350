// Where the picture lies in the area and how it is scaled: the view's geometry and the resampler.

#include "pictureview/Resample.h"
#include "pictureview/Viewport.h"

#include <QtTest>

#include <vector>

using namespace quorvanta;

namespace {

Viewport viewport(QSize picture, QSize area, ViewChoice choice = {})
{
    Viewport view;
    view.setChoice(choice);
    view.setArea(area);
    view.setPicture(picture);
    return view;
}

ViewChoice zoomed(double zoom)
{
    ViewChoice choice;
    choice.scaling = Scaling::Zoom;
    choice.zoom = zoom;
    return choice;
}

std::uint32_t argb(int a, int r, int g, int b)
{
    return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}

// The whole of `pixels` (width x height) scaled to scaledWidth x scaledHeight.
std::vector<std::uint32_t> scaled(const std::vector<std::uint32_t>& pixels, int width, int height, int scaledWidth,
                                  int scaledHeight, Sampling sampling, PixelRect region = {})
{
    if (region.width == 0)
        region = {0, 0, scaledWidth, scaledHeight};
    std::vector<std::uint32_t> out(std::size_t(region.width) * region.height, 0xDEADBEEF);
    Resampler resampler;
    const bool ok = resampler.scale({pixels.data(), width, height, width}, scaledWidth, scaledHeight, region, sampling,
                                    out.data(), region.width);
    return ok ? out : std::vector<std::uint32_t>{};
}

} // namespace

class TestViewport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fitKeepsTheShape_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<bool>("enlarge");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide in a square") << QSize(300, 100) << QSize(200, 200) << false << QSize(200, 67);
        QTest::newRow("tall in a wide area") << QSize(100, 300) << QSize(900, 150) << false << QSize(50, 150);
        QTest::newRow("large in a narrow strip") << QSize(8000, 6000) << QSize(1000, 90) << false << QSize(120, 90);
        QTest::newRow("odd shape") << QSize(1601, 997) << QSize(333, 777) << false << QSize(333, 207);
        QTest::newRow("small stays at 100 %") << QSize(16, 16) << QSize(400, 300) << false << QSize(16, 16);
        QTest::newRow("small enlarged when asked") << QSize(16, 16) << QSize(400, 300) << true << QSize(300, 300);
        QTest::newRow("one pixel high") << QSize(5000, 1) << QSize(500, 500) << false << QSize(500, 1);
    }
    void fitKeepsTheShape()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, area);
        QFETCH(bool, enlarge);
        ViewChoice choice;
        choice.enlargeSmall = enlarge;
        const Viewport view = viewport(picture, area, choice);
        const QRect rect = view.pictureRect();
        QTEST(rect.size(), "shown");
        // Inside the area, centred, and of the picture's shape within one pixel.
        QVERIFY(QRect(QPoint(0, 0), area).contains(rect));
        QVERIFY(qAbs(rect.left() - (area.width() - rect.right() - 1)) <= 1);
        QVERIFY(qAbs(rect.top() - (area.height() - rect.bottom() - 1)) <= 1);
        QVERIFY(qAbs(double(rect.width()) * picture.height() / picture.width() - rect.height()) <= 1.0);
        QVERIFY(!view.pannable());
    }

    void zoomLadder()
    {
        std::vector<double> up{1.0};
        while (up.back() < Viewport::kMaxZoom)
            up.push_back(Viewport::zoomInStep(up.back()));
        QCOMPARE(up[1], 1.5);
        QCOMPARE(up[2], 2.0);
        QCOMPARE(up.back(), 32.0);
        QCOMPARE(Viewport::zoomInStep(32.0), 32.0);
        // A zoom between steps goes to the neighbouring step; the ends hold.
        QCOMPARE(Viewport::zoomInStep(0.11), 0.125);
        QCOMPARE(Viewport::zoomOutStep(0.11), 1.0 / 12);
        QCOMPARE(Viewport::zoomOutStep(1.0), 2.0 / 3);
        QCOMPARE(Viewport::zoomOutStep(1.0 / 32), 1.0 / 32);
    }

    void zoomKeepsThePointUnderThePointer()
    {
        Viewport view = viewport(QSize(400, 300), QSize(200, 200), zoomed(1.0));
        QCOMPARE(view.maxPan(), QPoint(200, 100));
        QCOMPARE(view.pan(), QPoint(100, 50)); // opened centred
        // The picture point under (50, 40) is (150, 90); at 200 % it is still under the pointer.
        view.zoomTo(2.0, QPointF(50, 40));
        QCOMPARE(view.scaledSize(), QSize(800, 600));
        QCOMPARE(view.pictureRect().topLeft() + QPoint(300, 180), QPoint(50, 40));
        // Zoomed out below the area: centred again, nothing to pan.
        view.zoomTo(0.25, QPointF(0, 0));
        QCOMPARE(view.pictureRect(), QRect(50, 62, 100, 75));
        QVERIFY(!view.pannable());
        // Panning stops at the picture's edges.
        view.zoomAtCentre(1.0);
        view.panBy(QPoint(1000, -1000));
        QCOMPARE(view.pan(), QPoint(0, 100));
        // The same size again (the next frame) keeps the place; another size is centred.
        view.setPicture(QSize(400, 300));
        QCOMPARE(view.pan(), QPoint(0, 100));
        view.setPicture(QSize(600, 300));
        QCOMPARE(view.pan(), QPoint(200, 50));
    }

    void sampling_data()
    {
        QTest::addColumn<ViewChoice>("choice");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<bool>("scaled");
        QTest::addColumn<bool>("nearest");
        ViewChoice stretched;
        stretched.scaling = Scaling::Stretch;
        QTest::newRow("actual size") << zoomed(1.0) << QSize(50, 50) << false << false;
        QTest::newRow("reduced") << zoomed(0.5) << QSize(50, 50) << true << false;
        QTest::newRow("200 %") << zoomed(2.0) << QSize(50, 50) << true << false;
        QTest::newRow("300 %") << zoomed(3.0) << QSize(50, 50) << true << true;
        QTest::newRow("stretched 5x across, reduced down") << stretched << QSize(500, 5) << true << false;
        QTest::newRow("stretched 5x both ways") << stretched << QSize(500, 100) << true << true;
    }
    void sampling()
    {
        QFETCH(ViewChoice, choice);
        QFETCH(QSize, area);
        const Viewport view = viewport(QSize(100, 20), area, choice);
        QTEST(view.scaled(), "scaled");
        QFETCH(bool, nearest);
        QCOMPARE(view.sampling() == Sampling::Nearest, nearest);
    }

    void resampling()
    {
        // 4 x 2: each pair of columns one colour, the rows alike but for the last pixel.
        const std::vector<std::uint32_t> picture{argb(255, 200, 0, 0),  argb(255, 100, 0, 0), argb(255, 0, 40, 0),
                                                 argb(255, 0, 40, 0),   argb(255, 200, 0, 0), argb(255, 100, 0, 0),
                                                 argb(255, 0, 40, 0),   argb(0, 0, 0, 0)};
        // Same size: every pixel as it was.
        QCOMPARE(scaled(picture, 4, 2, 4, 2, Sampling::Smooth), picture);
        // Halved: the average of the 2 x 2 block each output pixel covers.
        QCOMPARE(scaled(picture, 4, 2, 2, 1, Sampling::Smooth),
                 (std::vector<std::uint32_t>{argb(255, 150, 0, 0), argb(191, 0, 30, 0)}));
        // Nearest at 300 %: each pixel three times, exactly.
        const std::vector<std::uint32_t> tripled = scaled(picture, 4, 2, 12, 6, Sampling::Nearest);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                QCOMPARE(tripled[std::size_t(y * 12 + x)], picture[std::size_t((y / 3) * 4 + x / 3)]);
        // Enlarged smoothly: between neighbours, never outside them; premultiplied stays premultiplied.
        for (std::uint32_t p : scaled(picture, 4, 2, 7, 5, Sampling::Smooth)) {
            const int a = int(p >> 24), r = int(p >> 16 & 255), g = int(p >> 8 & 255);
            QVERIFY(r <= a && g <= a && r <= 200 && g <= 40);
        }
        // A rectangle of the scaled picture is the same as that part of the whole.
        const std::vector<std::uint32_t> whole = scaled(picture, 4, 2, 9, 7, Sampling::Smooth);
        const std::vector<std::uint32_t> part = scaled(picture, 4, 2, 9, 7, Sampling::Smooth, {3, 2, 4, 5});
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 4; ++x)
                QCOMPARE(part[std::size_t(y * 4 + x)], whole[std::size_t((y + 2) * 9 + x + 3)]);
        // A region outside the scaled picture is refused.
        QVERIFY(scaled(picture, 4, 2, 9, 7, Sampling::Smooth, {6, 0, 4, 1}).empty());
    }

    void largeReductionAveragesEveryPixel()
    {
        // 1000 x 3: black with one white column in ten; reduced 100 times across, every output pixel
        // is the same grey (a sampler that skips pixels would find black or white).
        std::vector<std::uint32_t> picture(3000);
        for (int i = 0; i < 3000; ++i)
            picture[std::size_t(i)] = i % 10 == 0 ? 0xFFFFFFFFu : 0xFF000000u;
        for (std::uint32_t p : scaled(picture, 1000, 3, 10, 1, Sampling::Smooth))
            QVERIFY2(qAbs(int(p & 255) - 26) <= 1, qPrintable(QString::number(p, 16)));
    }
};

QTEST_MAIN(TestViewport)
#include "tst_viewport.moc"
