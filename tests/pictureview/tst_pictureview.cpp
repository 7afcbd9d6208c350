#include "pictureview/PictureView.h"

#include <QtTest>

using namespace quorvanta;

class TestPictureView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizeRange_data()
    {
        QTest::addColumn<qint64>("requestedWidth");
        QTest::addColumn<qint64>("requestedHeight");
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::newRow("defaults") << qint64(100) << qint64(100) << 100u << 100u;
        QTest::newRow("smallest") << qint64(1) << qint64(1) << 1u << 1u;
        QTest::newRow("largest") << qint64(1280) << qint64(1024) << 1280u << 1024u;
        QTest::newRow("zero") << qint64(0) << qint64(0) << 100u << 100u;
        QTest::newRow("negative") << qint64(-5) << qint64(-5) << 100u << 100u;
        QTest::newRow("one beyond") << qint64(1281) << qint64(1025) << 100u << 100u;
        QTest::newRow("huge") << qint64(5000) << qint64(4294967297) << 100u << 100u;
    }
    void sizeRange()
    {
        QFETCH(qint64, requestedWidth);
        QFETCH(qint64, requestedHeight);
        QFETCH(uint, width);
        QFETCH(uint, height);
        PictureView view(requestedWidth, requestedHeight);
        QCOMPARE(view.state().width, width);
        QCOMPARE(view.state().height, height);
        // The creation size is the picture area's default size until a picture comes.
        QCOMPARE(view.sizeHint(), QSize(int(width), int(height)).expandedTo(view.minimumSizeHint()));
    }

    void newObjectShowsNothing()
    {
        PictureView view;
        const InstanceData& d = view.state();
        QVERIFY(!d.pixels);
        QCOMPARE(d.mode, Mode::Still);
        QCOMPARE(d.currentFrame, 1);
        QCOMPARE(d.frameDelay, 1000000);
        QCOMPARE(d.backgroundColor, 0xFFFFFFFFu);
        QVERIFY(view.displayImage().isNull());
    }
};

QTEST_MAIN(TestPictureView)
#include "tst_pictureview.moc"
