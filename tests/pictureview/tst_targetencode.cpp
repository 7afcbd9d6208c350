// "Encode picture" with a target size: the file is the largest not over the target, and the success
// message says the quality reached, that lossless mode has no target, or that the file outgrew its source.

#include "EncodingWindow.h"

#include <QPainter>
#include <QtTest>

using namespace quorvanta;
using fixtures::makePicture;
using fixtures::savePng;

namespace {

// A soft scene: gradients and a few shapes, the kind of picture lossy coding is meant for.
QImage scene(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(250, 200, 120));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(30, 120, 40));
    painter.drawEllipse(QPoint(width / 3, height), width / 2, height / 3);
    painter.setBrush(QColor(240, 240, 200));
    painter.drawEllipse(QPoint(width * 3 / 4, height / 4), width / 12, width / 12);
    return image;
}

} // namespace

class TestTargetEncode : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Loads `source` through the program's import and encodes it; the success message, empty on failure.
    QString encode(fixtures::Window& w, const QString& source, const QString& out)
    {
        QString said;
        QObject::connect(&w.view, &PictureView::succeeded, &w.root, [&said](const QString& m) { said = m; });
        w.view.send(MethodId::Load, source.toStdString());
        if (w.d().mode != Mode::Imported)
            return {};
        w.view.send(MethodId::EncodePicture, out.toStdString());
        return said;
    }

private Q_SLOTS:
    void targetHonoured_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("targetKB");
        QTest::addRow("noise 160x120, 12 KB") << makePicture(160, 120, false, 7) << 12;
        QTest::addRow("scene 640x480, 9 KB") << scene(640, 480) << 9;
        QTest::addRow("noise with alpha 96x96, 5 KB") << makePicture(96, 96, true, 11) << 5;
    }
    void targetHonoured()
    {
        QFETCH(QImage, picture);
        QFETCH(int, targetKB);
        const QString source = dir.filePath(QStringLiteral("%1.png").arg(QTest::currentDataTag()));
        QVERIFY(savePng(picture, source));
        fixtures::Window w;
        w.settings.qualityValue = 100;
        w.settings.targetKB = targetKB;
        const QString out = dir.filePath("target.webp");
        const QString said = encode(w, source, out);
        QVERIFY2(said.contains(QStringLiteral("for a target of %1.0 KB").arg(targetKB)), qPrintable(said));
        const qint64 bytes = QFileInfo(out).size();
        QVERIFY2(bytes <= targetKB * 1000, qPrintable(QString::number(bytes)));
        // Within a quality step of the target: the next step up would pass it, so the file is close below.
        QVERIFY2(bytes >= targetKB * 1000 * 8 / 10, qPrintable(QString::number(bytes)));
        QCOMPARE(fixtures::decodeWebP(testsupport::readAll(out)).width, picture.width());
    }

    void messageNotes_data()
    {
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<int>("targetKB");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("doesNotSay");
        QTest::newRow("lossless: no target") << true << 5 << "no target size in lossless mode" << "quality";
        QTest::newRow("lossless from a coarse JPEG: larger") << true << 0 << "larger than the source (" << "target";
        QTest::newRow("lossy at 50: smaller, nothing said") << false << 0 << "" << "larger";
    }
    void messageNotes()
    {
        QFETCH(bool, lossless);
        QFETCH(int, targetKB);
        QFETCH(QString, says);
        QFETCH(QString, doesNotSay);
        // Noise kept at JPEG quality 5 is small; coding its decoded pixels without loss is not.
        const QString source = dir.filePath("coarse.jpg");
        QVERIFY(makePicture(200, 150, false, 3).save(source, "JPEG", 5));
        fixtures::Window w;
        w.settings.losslessValue = lossless;
        w.settings.targetKB = targetKB;
        const QString said = encode(w, source, dir.filePath("notes.webp"));
        QVERIFY(said.startsWith("Saved notes.webp"));
        QVERIFY2(said.contains(says), qPrintable(said));
        QVERIFY2(!said.contains(doesNotSay), qPrintable(said));
    }
};

QTEST_MAIN(TestTargetEncode)
#include "tst_targetencode.moc"
