// The encoding preview: "Encode picture" writes the previewed bytes without encoding again, and only
// while they are what the settings in force make; a change of settings makes a new preview; the split
// draws the picture and its preview through one place and zoom, with a divider that is dragged.

#include "EncodingWindow.h"
#include "MetadataFixtures.h"
#include "core/DecodeBudget.h"

#include <QColorSpace>
#include <QSignalSpy>
#include <QtTest>

using namespace quorvanta;
using fixtures::makePicture;

Q_DECLARE_METATYPE(quorvanta::KeepMetadata)

namespace {

// Counts the encoder's reports: a file written from a preview makes none.
struct EncoderReports {
    std::atomic<int> count{0};
    EncoderReports() { setEncodeProgressProbe([this](int) { ++count; }); }
    ~EncoderReports() { setEncodeProgressProbe({}); }
};

QByteArray written(const QString& path)
{
    return testsupport::readAll(path);
}

QByteArray bytesOf(const EncodedPreview* preview)
{
    return preview ? QByteArray(reinterpret_cast<const char*>(preview->file.data()), qsizetype(preview->file.size()))
                   : QByteArray();
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // A photo-like JPEG with a wide-gamut colour profile, so that kept metadata shows in the bytes.
    QString jpegWithProfile()
    {
        const QString path = dir.filePath("profiled.jpg");
        if (!QFile::exists(path)) {
            QImage picture = makePicture(120, 90, false, 5);
            picture.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
            picture.save(path, "JPEG", 80);
        }
        return path;
    }

private Q_SLOTS:
    void encodeWritesThePreviewedBytes_data()
    {
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<int>("targetKB");
        QTest::addColumn<KeepMetadata>("keep");
        QTest::addColumn<QString>("told"); // by the preview
        QTest::addColumn<QString>("note"); // in the success message
        QTest::newRow("lossy, profile kept") << false << 0 << KeepMetadata::ColourProfile << "PSNR" << "";
        QTest::newRow("lossy to a target of 4 KB")
            << false << 4 << KeepMetadata::All << "for a target of 4.0 KB" << "for a target of 4.0 KB";
        // The JPEG's decoded pixels without loss take more room than the JPEG.
        QTest::newRow("lossless, nothing kept") << true << 0 << KeepMetadata::None
                                                << "the same pixels as the source" << "larger than the source";
    }
    void encodeWritesThePreviewedBytes()
    {
        QFETCH(bool, lossless);
        QFETCH(int, targetKB);
        QFETCH(KeepMetadata, keep);
        QFETCH(QString, told);
        QFETCH(QString, note);
        fixtures::Window w;
        w.settings.losslessValue = lossless;
        w.settings.targetKB = targetKB;
        w.settings.keep = keep;
        QString said, toldNow;
        QObject::connect(&w.view, &PictureView::succeeded, &w.root, [&said](const QString& m) { said = m; });
        QObject::connect(&w.view, &PictureView::previewTold, &w.root, [&toldNow](const QString& t) { toldNow = t; });
        w.view.send(MethodId::Load, jpegWithProfile().toStdString());
        w.view.setPreview(true);
        const QByteArray previewed = bytesOf(w.view.preview());
        QVERIFY(!previewed.isEmpty());
        QVERIFY2(toldNow.contains(told) && toldNow.contains("% of the source"), qPrintable(toldNow));

        const QString out = dir.filePath("previewed.webp");
        EncoderReports reports;
        w.view.send(MethodId::EncodePicture, out.toStdString());
        QCOMPARE(written(out), previewed);
        QCOMPARE(reports.count.load(), 0);
        QVERIFY2(said.startsWith("Saved previewed.webp") && said.contains(note), qPrintable(said));
        // The preview and the file written agree on whether it outgrew its source.
        QCOMPARE(toldNow.contains("larger than the source file"), said.contains("larger than the source"));

        // The preview made what an encoding without it makes.
        w.view.setPreview(false);
        const QString again = dir.filePath("encoded.webp");
        w.view.send(MethodId::EncodePicture, again.toStdString());
        QCOMPARE(written(again), previewed);
    }

    void aSettingChangeMakesANewPreview()
    {
        fixtures::Window w;
        QStringList told;
        QObject::connect(&w.view, &PictureView::previewTold, &w.root, [&told](const QString& t) { told << t; });
        w.view.send(MethodId::Load, jpegWithProfile().toStdString());
        w.view.setPreview(true);
        const QByteArray atFifty = bytesOf(w.view.preview());
        QCOMPARE(told.size(), 2); // being made, then its figures
        QVERIFY2(told.last().contains("% of the source") && told.last().contains("PSNR"), qPrintable(told.last()));

        // An edit that leaves the settings as they were changes nothing.
        w.view.encodeSettingsChanged();
        QCOMPARE(told.size(), 2);

        w.settings.qualityValue = 90;
        w.view.encodeSettingsChanged();
        QCOMPARE(told.size(), 4);
        const QByteArray atNinety = bytesOf(w.view.preview());
        QVERIFY(atNinety.size() > atFifty.size());

        // A setting changed but not yet told: the preview no longer matches, the picture is encoded anew.
        w.settings.qualityValue = 20;
        const QString out = dir.filePath("changed.webp");
        EncoderReports reports;
        w.view.send(MethodId::EncodePicture, out.toStdString());
        QVERIFY(reports.count.load() > 0);
        QVERIFY(written(out) != atNinety);
        QVERIFY(written(out).size() < atFifty.size());
    }

    void aStoppedPreviewEndsAsCancelled_data()
    {
        QTest::addColumn<bool>("lossless");
        QTest::newRow("lossy") << false;
        QTest::newRow("lossless") << true;
    }
    void aStoppedPreviewEndsAsCancelled()
    {
        QFETCH(bool, lossless);
        const PictureRecord source = metadatatest::recordOf(makePicture(64, 48, true, 8));
        StillChoice choice;
        choice.encoder.lossless = lossless;
        const std::atomic<bool> stop{true};
        const Result<EncodedPreview> made = MakeEncodedPreview(source, choice, {}, 0, 1, &stop);
        QVERIFY(!made);
        QCOMPARE(made.problem().failure, Failure::Cancelled);
    }

    void anotherPictureEndsThePreview()
    {
        fixtures::Window w;
        QList<bool> switched;
        QObject::connect(&w.view, &PictureView::previewSwitched, &w.root, [&switched](bool on) { switched << on; });
        w.view.send(MethodId::Load, jpegWithProfile().toStdString());
        w.view.setPreview(true);
        const QString other = dir.filePath("other.png");
        QVERIFY(fixtures::savePng(makePicture(64, 48, true, 2), other));
        w.view.send(MethodId::Load, other.toStdString());
        QCOMPARE(switched, (QList<bool>{true, false}));
        QVERIFY(!w.view.previewOn() && !w.view.preview());
        // What is written is the picture on show, not the one previewed before.
        const QString out = dir.filePath("other.webp");
        w.view.send(MethodId::EncodePicture, out.toStdString());
        QCOMPARE(fixtures::decodeWebP(written(out)).width, 64);

        // Nothing to preview on a WebP: refused, and the button goes back.
        const QString webp = dir.filePath("shown.webp");
        QVERIFY(QFile::copy(out, webp));
        w.view.send(MethodId::Load, webp.toStdString());
        w.view.setPreview(true);
        QVERIFY(!w.view.previewOn());
        QCOMPARE(switched.last(), false);

        // A picture whose preview would hold it three times over the decode budget: refused, said why.
        w.view.send(MethodId::Load, other.toStdString());
        QSignalSpy failures(&w.view, &PictureView::failed);
        SetDecodeBudgetBytes(64 * 48 * 4 * 2);
        w.view.setPreview(true);
        SetDecodeBudgetBytes(0);
        QVERIFY(!w.view.previewOn());
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.first().first().value<Problem>().failure, Failure::OverBudget);
    }

    // The preview is drawn beside the picture in the same colours: converted from the picture's profile
    // while colour management is on, as stored while it is off.
    void previewDrawnInThePicturesColours()
    {
        FixedSettings settings;
        settings.qualityValue = 95;
        PictureView view;
        view.setSettings(&settings);
        view.send(MethodId::Load, jpegWithProfile().toStdString());
        view.setPreview(true);
        QVERIFY(view.preview());
        QImage stored = QImage::fromData(bytesOf(view.preview()), "WEBP").convertToFormat(QImage::Format_RGB32);
        QVERIFY(!stored.isNull());
        stored.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const QImage converted = stored.convertedToColorSpace(QColorSpace(QColorSpace::SRgb));
        QVERIFY(metadatatest::largestDifference(stored, converted) > 10);
        QVERIFY(metadatatest::largestDifference(view.preview()->image, converted) <= 2);
        view.setColourManaged(false);
        QVERIFY(view.preview());
        QVERIFY(metadatatest::largestDifference(view.preview()->image, stored) <= 2);
    }

    void splitDrawsBothSidesThroughOneViewAndTheDividerMoves()
    {
        // One-pixel red and blue stripes: lossy coding keeps colour at half the resolution and mixes
        // them, so each side is told apart.
        FixedSettings settings;
        settings.qualityValue = 0;
        PictureView view;
        view.setSettings(&settings);
        const QString source = dir.filePath("stripes.png");
        QImage stripes(80, 60, QImage::Format_RGB32);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x)
                stripes.setPixel(x, y, x % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
        QVERIFY(fixtures::savePng(stripes, source));
        view.send(MethodId::Load, source.toStdString());
        view.resize(200, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        ViewChoice choice;
        choice.scaling = Scaling::Zoom;
        choice.zoom = 4;
        view.setViewChoice(choice);
        view.setPreview(true);
        const QImage decoded = QImage::fromData(bytesOf(view.preview()), "WEBP").convertToFormat(QImage::Format_RGB32);
        QVERIFY(!decoded.isNull());
        const QPoint pan = view.view().pan();
        const int area = view.view().areaSize().width();
        QVERIFY(pan.x() > 0 && area > 100);

        // Each area pixel shows the picture pixel the one view puts there, from the side it lies on.
        auto check = [&](double divider) {
            const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
            const int split = int(std::lround(area * divider));
            for (int x : {split - 12, split - 9, split + 9, split + 12}) {
                const QPoint at(x, 60);
                const QPoint offset = at - view.view().pictureRect().topLeft();
                const QPoint picturePixel(offset.x() / 4, offset.y() / 4);
                const QImage& expected = x < split ? stripes : decoded;
                if (shown.pixel(at) != expected.pixel(picturePixel) || stripes.pixel(picturePixel) == decoded.pixel(picturePixel))
                    return QStringLiteral("at %1 (divider at %2)").arg(x).arg(split);
            }
            return QString();
        };
        QCOMPARE(view.previewDivider(), 0.5);
        QCOMPARE(check(0.5), QString());

        // The divider follows the pointer; the picture stays where it was.
        const int middle = int(std::lround(area * 0.5));
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(middle + 3, 60));
        const QPointF to(area * 0.25, 60);
        QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, to.toPoint());
        QCOMPARE(view.previewDivider(), 0.25);
        QCOMPARE(view.view().pan(), pan);
        QCOMPARE(check(0.25), QString());
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
