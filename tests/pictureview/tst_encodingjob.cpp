// Encodings as jobs of the picture object: on a worker thread the picture is lent and given back, the
// progress arrives in order, and the result comes as one signal; the progress of an animation moves
// through each frame; the words of a saved file. (Cancelling, and what the window shows, are in the
// shell's suite tests/app/tst_messages.cpp.)

#include "EncodingWindow.h"

#include <QSignalSpy>
#include <QtTest>

using namespace quorvanta;
using namespace fixtures;
using testsupport::readAll;

class TestEncodingJob : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // On a worker thread: the command returns at once, the imported picture is lent to the encoder and
    // comes back, the gauge moves forward only, and the window hears of the saved file once.
    void workerEncodingGivesThePictureBack()
    {
        QTemporaryDir dir;
        Window w;
        w.view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        w.importPicture(dir, makePicture(400, 300, false, 5));
        const auto* pixels = w.d().importBuffer.pixels.get();
        QSignalSpy saved(&w.view, &PictureView::succeeded);
        QSignalSpy failed(&w.view, &PictureView::failed);

        w.view.send(MethodId::EncodePicture, dir.filePath("out.webp").toStdString());
        QVERIFY(w.view.encoding());
        QVERIFY(!w.d().importBuffer.pixels);
        QVERIFY(!BusyPointer::active()); // the window stays usable
        QVERIFY(saved.wait(30000));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(failed.count(), 0);
        QVERIFY(!w.view.encoding());
        QCOMPARE(w.d().importBuffer.pixels.get(), pixels);
        QCOMPARE(w.d().importBuffer.width, 400u);
        QVERIFY(std::is_sorted(w.gaugeValues.begin(), w.gaugeValues.end() - 1));
        QCOMPARE(w.gaugeValues.back(), 0);
        QVERIFY(w.gauge->isHidden());
        QCOMPARE(decodeWebP(readAll(dir.filePath("out.webp"))).width, 400);
    }

    // A failed encoding gives the picture back too, and reports once, on the same signal for either
    // runner.
    void failureGivesThePictureBack()
    {
        QTemporaryDir dir;
        Window w;
        w.importPicture(dir, makePicture(20, 10, false, 6));
        w.settings.qualityValue = 1000;
        QSignalSpy failed(&w.view, &PictureView::failed);
        w.view.send(MethodId::EncodePicture, dir.filePath("out.webp").toStdString());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed[0][0].value<Problem>().failure, Failure::InvalidSetting);
        QVERIFY(w.d().importBuffer.pixels);
        QVERIFY(!QFileInfo::exists(dir.filePath("out.webp")));
        w.settings.qualityValue = 90;
        w.view.send(MethodId::EncodePicture, dir.filePath("out.webp").toStdString());
        QCOMPARE(decodeWebP(readAll(dir.filePath("out.webp"))).width, 20);
    }

    // The bar of an animation gives each frame its share, filled by the encoder's percentage; it never
    // goes back.
    void progressOfFramesAndPercent()
    {
        std::vector<int> shown;
        EncodeProgress progress([&shown](int percent) { shown.push_back(percent); });
        progress.frames(0, 4);
        progress.percent(50);
        progress.frames(1, 4);
        progress.percent(40);
        progress.percent(30); // the encoder's second pass starts lower: the bar stays
        progress.frames(2, 4);
        progress.frames(4, 4);
        progress.percent(100); // a report after the last frame stays within the bar
        QCOMPARE(shown, (std::vector<int>{0, 12, 25, 35, 50, 100}));

        // A still picture: libwebp's percentage as it is.
        shown.clear();
        EncodeProgress still([&shown](int percent) { shown.push_back(percent); });
        for (int percent : {0, 5, 5, 70, 100})
            still.percent(percent);
        QCOMPARE(shown, (std::vector<int>{0, 5, 70, 100}));
    }

    void savedMessages_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << quint64(812) << 0 << 40 << "" << "Saved photo.webp, 812 bytes, 0.0 s";
        QTest::newRow("KB") << quint64(75600) << 0 << 3240 << "" << "Saved photo.webp, 75.6 KB, 3.2 s";
        QTest::newRow("MB") << quint64(3456789) << 0 << 61000 << "" << "Saved photo.webp, 3.5 MB, 61.0 s";
        QTest::newRow("one frame") << quint64(999) << 1 << 100 << "" << "Saved photo.webp, 1 frame, 999 bytes, 0.1 s";
        QTest::newRow("frames") << quint64(1000) << 12 << 100 << "" << "Saved photo.webp, 12 frames, 1.0 KB, 0.1 s";
        QTest::newRow("with a note") << quint64(8000) << 0 << 100 << "quality 71.0 for a target of 8.0 KB"
                                     << "Saved photo.webp, 8.0 KB, 0.1 s, quality 71.0 for a target of 8.0 KB";
    }
    void savedMessages()
    {
        QFETCH(quint64, bytes);
        QFETCH(int, frames);
        QFETCH(int, ms);
        QFETCH(QString, note);
        QFETCH(QString, text);
        const Saved saved{"/some/where/photo.webp", bytes, frames, std::chrono::milliseconds(ms), note.toStdString()};
        QCOMPARE(QString::fromStdString(savedMessage(saved)), text);
    }
};

QTEST_MAIN(TestEncodingJob)
#include "tst_encodingjob.moc"
