#include "EncodingWindow.h"
#include "pictureview/BusyPointer.h"
#include "core/Messages.h"

#include <QProgressBar>
#include <QSlider>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using namespace quorvanta;
using namespace fixtures;
using testsupport::readAll;
using testsupport::writeAll;

class TestPictureViewEncoding : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusedForWebPSources_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::newRow("still") << Mode::Still;
        QTest::newRow("animation") << Mode::Animated;
        QTest::newRow("directory") << Mode::Directory;
    }
    void refusedForWebPSources()
    {
        QFETCH(Mode, mode);
        QTemporaryDir dir;
        Window w;
        w.importPicture(dir, makePicture(20, 10, false, 1));
        w.d().mode = mode;
        const auto* pixels = w.d().importBuffer.pixels.get();
        w.gauge->setValue(42);
        w.gaugeValues.clear();
        StdoutCapture capture;
        w.view.send(MethodId::EncodePicture, dir.filePath("out.webp").toStdString());
        QCOMPARE(capture.text(), QByteArray(kCantEncodeWebPSource.data(), qsizetype(kCantEncodeWebPSource.size())));
        QVERIFY(!QFileInfo::exists(dir.filePath("out.webp")));
        QCOMPARE(w.d().importBuffer.pixels.get(), pixels);
        QVERIFY(w.gaugeValues.empty());
        QVERIFY(w.gauge->isHidden());
    }

    // Settings are read when the encoding starts, the gauge moves while the pointer is busy, and the
    // imported picture stays for another go.
    void encodesImportedPictureAgainAndAgain()
    {
        QTemporaryDir dir;
        Window w;
        w.importPicture(dir, makePicture(120, 80, true, 2));
        const auto source = pixelsOf(w.d().importBuffer);
        const QString out = dir.filePath("out.webp");

        w.view.send(MethodId::EncodePicture, out.toStdString());
        const QByteArray lossy = readAll(out);
        QCOMPARE(decodeWebP(lossy).width, 120);
        QVERIFY(w.gaugeSeenWithBusyPointer);
        QCOMPARE(w.gaugeValues.front(), 0);
        QCOMPARE(w.gaugeValues.back(), 0);
        QVERIFY(w.gauge->isHidden());
        QVERIFY(!BusyPointer::active());

        w.settings.losslessValue = true;
        w.view.send(MethodId::EncodePicture, out.toStdString());
        const Decoded lossless = decodeWebP(readAll(out));
        QVERIFY(readAll(out) != lossy);
        for (std::size_t i = 0; i < source.size(); ++i)
            QCOMPARE(lossless.pixels[i], (source[i] >> 24) ? source[i] : 0u);
        QVERIFY(w.d().importBuffer.pixels);
        QCOMPARE(w.d().mode, Mode::Imported);
    }

    void nothingImportedWritesNothing()
    {
        QTemporaryDir dir;
        Window w;
        w.d().mode = Mode::Imported;
        StdoutCapture capture;
        w.view.send(MethodId::EncodePicture, dir.filePath("out.webp").toStdString());
        QCOMPARE(capture.text(), QByteArray());
        QVERIFY(entriesOf(dir.path()).isEmpty());
        QVERIFY(w.gauge->isHidden());
        QVERIFY(!BusyPointer::active());
    }

    void saveRequester()
    {
        QTemporaryDir dir;
        Window w;
        w.importPicture(dir, makePicture(30, 20, false, 3));
        const QString target = dir.filePath("chosen name");
        QVERIFY(writeAll(target, "old bytes"));
        w.answers = {RequestAnswer{RequestAnswer::Outcome::Cancelled, {}, {}}, chosen(target)};

        w.view.send(MethodId::SavePicture);
        QCOMPARE(readAll(target), QByteArray("old bytes"));
        QVERIFY(w.d().importBuffer.pixels);
        w.view.send(MethodId::SavePicture);
        QCOMPARE(decodeWebP(readAll(target)).width, 30);
        QCOMPARE(entriesOf(dir.path()), (QStringList{"chosen name", "in.png"}));

        QCOMPARE(w.asked.size(), std::size_t(2));
        QCOMPARE(w.asked[0].title, QStringLiteral("Save picture as..."));
        QVERIFY(w.asked[0].saveMode && !w.asked[0].drawersOnly);
        QCOMPARE(w.asked[0].pattern, QStringLiteral("#?.(webp)"));
        QCOMPARE(w.asked[0].initialDrawer, QStringLiteral("ram:"));
    }

    void loadDirectorySetsUpPlayback()
    {
        QTemporaryDir dir;
        for (const char* name : {"frame10.png", "frame2.png", "frame1.png"})
            QVERIFY(savePng(makePicture(16, 16, false, 4), dir.filePath(name)));
        QVERIFY(writeAll(dir.filePath("readme.txt"), "text"));
        QVERIFY(writeAll(dir.filePath("fake.png"), "not a picture"));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        Window w;
        w.settings.durationText = QStringLiteral("250");
        w.answers = {chosen(dir.path() + "/")};
        std::vector<std::int32_t> framesShown;
        connect(&w.view, &PictureView::methodReceived, this, [&framesShown](MethodId id, std::int32_t value) {
            if (id == MethodId::ShowDirFrame)
                framesShown.push_back(value);
        });

        testsupport::StderrCapture errors;
        w.view.send(MethodId::OpenDirectory);
        QCOMPARE(w.asked.at(0).title, QStringLiteral("Open image directory ..."));
        QVERIFY(w.asked[0].saveMode && w.asked[0].drawersOnly);
        QCOMPARE(w.asked[0].pattern, QStringLiteral("#?.(iff|bmp|png|jpg|jpeg|tif|tiff)"));
        const InstanceData& d = w.d();
        QCOMPARE(d.mode, Mode::Directory);
        // The files that are not pictures are left out when the directory is opened, each named once.
        QCOMPARE(d.frameCount, 3);
        QCOMPARE(w.slider->maximum(), 3);
        const QByteArray said = errors.text();
        QCOMPARE(said.count('\n'), 2);
        QVERIFY(said.contains("/fake.png: ") && said.contains("/readme.txt: "));
        QCOMPARE(w.slider->value(), 1);
        QCOMPARE(d.currentFrame, 1);
        QCOMPARE(d.frameDelay, 250000);
        QCOMPARE(d.loopCount, 0);
        QVERIFY(d.inputHandlerAdded);
        QVERIFY(w.encodePicturePanel->isHidden());
        QVERIFY(!w.animationBar->isHidden() && !w.encodeAnimationPanel->isHidden());
        QCOMPARE(framesShown, std::vector<std::int32_t>{1});
        QVERIFY(!BusyPointer::active());

        // A file given as the directory plays nothing.
        w.view.send(MethodId::LoadDirectory, dir.filePath("frame1.png").toStdString());
        QCOMPARE(w.d().frameCount, 0);
        QCOMPARE(w.slider->maximum(), 0);
    }

    // The pictures in natural name order, each at the top-left of a canvas of the largest width and
    // height, transparent beyond it; a file that is not a picture is no frame.
    void playsFramesInNaturalOrder()
    {
        REQUIRE_IMPORTER();
        QTemporaryDir dir;
        std::vector<QImage> pictures;
        for (int i = 0; i < 3; ++i)
            pictures.push_back(makePicture(20 + i, 8 + 2 * (i % 2), false, quint32(i + 1)));
        QVERIFY(savePng(pictures[0], dir.filePath("f1.png")));
        QVERIFY(savePng(pictures[1], dir.filePath("F2.png")));
        QVERIFY(writeAll(dir.filePath("f3.png"), "not a picture"));
        QVERIFY(savePng(pictures[2], dir.filePath("f10.png")));
        Window w;
        w.view.send(MethodId::LoadDirectory, dir.path().toStdString());
        QCOMPARE(w.d().frameCount, 3);
        const auto shown = [&w] { return w.view.displayImage().convertToFormat(QImage::Format_ARGB32); };
        const auto placed = [](const QImage& picture) {
            QImage canvas(22, 10, QImage::Format_ARGB32);
            canvas.fill(0);
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    canvas.setPixel(x, y, picture.pixel(x, y));
            return canvas;
        };
        QCOMPARE(shown(), placed(pictures[0]));
        w.view.send(MethodId::ShowDirFrame, 2);
        QCOMPARE(shown(), placed(pictures[1]));
        w.view.send(MethodId::ShowDirFrame, 3);
        QCOMPARE(shown(), placed(pictures[2]));
        w.view.send(MethodId::ShowDirFrame, 9); // no such frame: what is on show stays
        QCOMPARE(shown(), placed(pictures[2]));
        QCOMPARE(w.d().frameCount, 3);
        w.view.send(MethodId::ShowDirFrame, 1);
        QCOMPARE(shown(), placed(pictures[0]));
        QCOMPARE(w.d().backgroundColor, 0xFFFFFFFFu);
        // Transparent parts are drawn over the background the written file will carry.
        w.settings.color = {0x10000000, 0x20000000, 0x30000000};
        w.view.send(MethodId::ShowDirFrame, 2);
        QCOMPARE(w.d().backgroundColor, 0xFF102030u);
    }

    void savesDirectoryAsAnimation()
    {
        REQUIRE_IMPORTER();
        QTemporaryDir dir;
        const QString frames = dir.filePath("frames");
        QVERIFY(QDir().mkdir(frames));
        QVERIFY(savePng(makePicture(20, 10, true, 1), frames + "/a1.png"));
        QVERIFY(savePng(makePicture(30, 12, false, 2), frames + "/a2.png"));
        QVERIFY(writeAll(frames + "/a3.txt", "text"));
        Window w;
        w.settings.durationText = QStringLiteral("40");
        w.settings.loops = 2;
        w.settings.color = {0x80000000, 0x40000000, 0x20FFFFFF};
        w.view.send(MethodId::LoadDirectory, frames.toStdString());
        const QString target = dir.filePath("anim");
        w.answers = {chosen(target)};
        w.view.send(MethodId::SaveAnimation);
        QCOMPARE(w.asked.at(0).title, QStringLiteral("Save animation as..."));
        const QByteArray written = readAll(target);
        const testsupport::DecodedAnimation decoded = testsupport::decodeAnimation({written.begin(), written.end()});
        QCOMPARE(decoded.frames.size(), std::size_t(2));
        QCOMPARE(decoded.durations, (std::vector<int>{40, 40}));
        QCOMPARE(QSize(decoded.width, decoded.height), QSize(30, 12));
        QCOMPARE(decoded.loopCount, 2);
        QCOMPARE(decoded.background, 0xFF804020u);
        QVERIFY(w.gaugeValues.size() >= 3); // 0, a step for each frame, and 0 again
        QCOMPARE(*std::max_element(w.gaugeValues.begin(), w.gaugeValues.end()), 100);
        QVERIFY(w.gauge->isHidden());
        QVERIFY(!BusyPointer::active());
    }

    void saveAnimationWritesNothingWithoutFrames()
    {
        QTemporaryDir dir;
        const QString empty = dir.filePath("empty");
        QVERIFY(QDir().mkdir(empty));
        const QString target = dir.filePath("target.webp");
        QVERIFY(writeAll(target, "old bytes"));
        Window w;
        for (const QString& source : {empty, dir.filePath("missing")}) {
            w.view.send(MethodId::LoadDirectory, source.toStdString());
            w.answers = {chosen(target)};
            w.view.send(MethodId::SaveAnimation);
            QCOMPARE(readAll(target), QByteArray("old bytes"));
            QVERIFY(w.gauge->isHidden());
        }
        // A cancelled requester does not even show the gauge.
        w.gaugeValues.clear();
        w.answers = {RequestAnswer{RequestAnswer::Outcome::Cancelled, {}, {}}};
        w.view.send(MethodId::SaveAnimation);
        QVERIFY(w.gaugeValues.empty());
        // With a still on show (the directory still held) nothing is asked.
        w.d().mode = Mode::Still;
        const std::size_t asked = w.asked.size();
        w.view.send(MethodId::SaveAnimation);
        QCOMPARE(w.asked.size(), asked);
        QCOMPARE(entriesOf(dir.path()), (QStringList{"empty", "target.webp"}));
    }
};

QTEST_MAIN(TestPictureViewEncoding)
#include "tst_encoding.moc"
