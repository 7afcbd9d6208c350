// Loading with worker threads, as the program runs: a command returns at once and the picture follows,
// only the newest load is put on show, a failure reports its reason and keeps what is on show, and a
// directory frame still being imported never holds up a tick.

#include "Bombs.h"
#include "ViewingFixtures.h"

#include "core/DecodeBudget.h"
#include "pictureview/BusyPointer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvanta;
using namespace viewingtest;

namespace {

// Enough zeros that inflating them takes a while (64 MB), in a file of 400 kB.
constexpr std::uint32_t kSlowSide = 4000;

void waitForJobs()
{
    QVERIFY(JobRunner::waitForIdle(std::chrono::seconds(60)));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace

class TestBackgroundLoading : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString slow, small;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        slow = dir.filePath("slow.png");
        small = dir.filePath("small.png");
        QVERIFY(testsupport::writeAll(slow, bombs::png(kSlowSide, kSlowSide, true)));
        QVERIFY(testsupport::writeAll(small, bombs::png(7, 5, true)));
    }

    void loadReturnsAtOnce()
    {
        PictureView view;
        view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        view.send(MethodId::Load, testsupport::bytesOf(slow));
        // Nothing of it is on show before the event loop hands the result over.
        QCOMPARE(view.state().path, std::string());
        QVERIFY(BusyPointer::active());
        QTRY_COMPARE(view.state().importBuffer.width, kSlowSide);
        QCOMPARE(view.mode(), Mode::Imported);
        QVERIFY(!BusyPointer::active());
    }

    // Opening another file while one loads: only the newer one is ever put on show, and the older one
    // neither prints nor reports anything.
    void newerLoadWins()
    {
        PictureView view;
        view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        QSignalSpy paths(&view, &PictureView::pathChanged);
        QSignalSpy failed(&view, &PictureView::failed);
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(slow));
        view.send(MethodId::Load, testsupport::bytesOf(small));
        QTRY_COMPARE(view.state().path, testsupport::bytesOf(small));
        waitForJobs();
        QCOMPARE(view.state().path, testsupport::bytesOf(small));
        QCOMPARE(view.state().width, 7u);
        QCOMPARE(paths.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(out.text(), QByteArray());
        QVERIFY(!BusyPointer::active());
    }

    // A directory opened while a file loads: the file does not replace the directory when it arrives.
    void directoryAfterALoad()
    {
        QTemporaryDir frames;
        QVERIFY(testsupport::writeAll(frames.filePath("a.png"), bombs::png(3, 3, true)));
        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(small));
        view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        view.send(MethodId::Load, testsupport::bytesOf(slow));
        view.send(MethodId::LoadDirectory, testsupport::bytesOf(frames.path()));
        QTRY_COMPARE(view.state().width, 3u);
        waitForJobs();
        QCOMPARE(view.mode(), Mode::Directory);
        QCOMPARE(view.state().path, testsupport::bytesOf(frames.path()));
    }

    void failureKeepsWhatIsShown()
    {
        PictureView view;
        view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        view.send(MethodId::Load, testsupport::bytesOf(small));
        QTRY_COMPARE(view.state().width, 7u);
        QSignalSpy failed(&view, &PictureView::failed);
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(dir.filePath("missing.png")));
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<Problem>().failure, Failure::CantOpen);
        QCOMPARE(out.text(), QByteArray("Can't read the file!\n"));
        QCOMPARE(view.state().width, 7u);
        QCOMPARE(view.state().path, testsupport::bytesOf(small));
    }

    // A directory frame whose picture is not imported yet is not waited for: the frame on show stays
    // and the picture is shown when it arrives.
    void directoryFrameNeverWaits()
    {
        QTemporaryDir frames;
        QVERIFY(testsupport::writeAll(frames.filePath("1.png"), bombs::png(3, 3, true)));
        QVERIFY(testsupport::writeAll(frames.filePath("2.png"), bombs::png(kSlowSide, kSlowSide, true)));
        PictureView view;
        view.setJobRunner(JobRunner(JobRunner::Threads::Worker));
        view.setClock(std::make_unique<ManualPlaybackClock>());
        view.send(MethodId::LoadDirectory, testsupport::bytesOf(frames.path()));
        QCOMPARE(view.state().frameCount, 2);
        QVERIFY(!view.state().importBuffer.pixels); // the first picture is on its way
        QTRY_VERIFY(view.state().importBuffer.pixels);
        waitForJobs(); // frame 2, imported ahead, is ready
        const std::uint32_t* first = view.state().importBuffer.pixels.get();
        // Back to frame 1, which is imported again; frame 2 asked for at once waits behind it.
        view.send(MethodId::GotoFrame, 1);
        view.send(MethodId::ShowDirFrame, 2);
        QCOMPARE(view.state().importBuffer.pixels.get(), first); // still frame 1 on show
        QTRY_VERIFY(view.state().importBuffer.pixels.get() != first);
    }
};

QTEST_MAIN(TestBackgroundLoading)
#include "tst_background_loading.moc"
