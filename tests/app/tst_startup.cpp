// The program's start: the command line's picture is loaded while the windows are built, and the main
// window opens with it, sized for it, or with the reason it could not be shown, or empty after a wait.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "core/DecodeBudget.h"
#include "pictureview/PictureView.h"

#include "TestSupport.h"
#include "WebPBuilder.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <memory>

using namespace quorvanta;
using testsupport::writeAll;

namespace {

class CancellingBackend : public RequesterBackend {
public:
    RequestAnswer ask(const RequestOptions&) override { return {}; }
};

// One run of the program over scratch stores, started with `path` on the command line.
struct Run {
    Run(const QString& path, Shell::Opening opening, const QVariantHash& stored = {})
    {
        const Stores stores(folder.filePath("run"), folder.filePath("config"));
        if (!stored.isEmpty())
            stores.write(stored, Stores::Permanent);
        record.path = path.toStdString();
        shell = std::make_unique<Shell>(&record, stores, std::make_unique<CancellingBackend>(), opening);
        // Nothing the load sends back is taken before the event loop runs.
        shown = std::make_unique<QSignalSpy>(shell->pictureView(), &PictureView::pictureShown);
        shell->start();
    }
    ~Run() { SetDecodeBudgetBytes(0); }
    void waitForLoad() const
    {
        QVERIFY(JobRunner::waitForIdle(std::chrono::seconds(30)));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    MainWindow& window() const { return *shell->mainWindow(); }

    QTemporaryDir folder;
    ArgumentRecord record;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<QSignalSpy> shown;
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The window waits for the picture, then opens sized for it: the picture whole at 100 %. The
    // picture is loaded once.
    void opensWithThePicture()
    {
        QTemporaryDir files;
        const QString path = files.filePath("wide.webp");
        QVERIFY(writeAll(path, webpbuild::losslessFile(480, 360, 0xFF2080C0)));

        Run run(path, Shell::Opening::WithPicture);
        QVERIFY(!run.window().isVisible());
        QVERIFY(run.window().awaitsPicture());
        run.waitForLoad();
        QVERIFY(run.window().isVisible());
        QVERIFY(!run.window().awaitsPicture());
        QCOMPARE(run.shown->count(), 1);
        QCOMPARE(run.window().pictureView->size(), QSize(480, 360));
        QVERIFY(run.window().messageBar->isHidden());
    }

    // A first load that fails opens the window with the reason; the stored settings are in force for
    // that load already.
    void opensWhenTheLoadFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // null: no such file
        QTest::addColumn<QVariantHash>("stored");
        QTest::addColumn<QString>("said");
        QTest::newRow("no such file") << "gone.webp" << QByteArray() << QVariantHash()
                                      << "gone.webp can't be opened: No such file or directory";
        QTest::newRow("over the stored decode budget")
            << "huge.pgm" << QByteArray("P5\n20000 20000\n255\n") + QByteArray(16, '\0')
            << QVariantHash{{QStringLiteral("10"), QStringLiteral("16")}}
            << "huge.pgm is too large for the memory limit: 20000 x 20000 needs 1.9 GiB; the limit is 16.0 MiB (Settings)";
    }
    void opensWhenTheLoadFails()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariantHash, stored);
        QFETCH(QString, said);
        QTemporaryDir files;
        if (!bytes.isNull())
            QVERIFY(writeAll(files.filePath(name), bytes));

        Run run(files.filePath(name), Shell::Opening::WithPicture, stored);
        QVERIFY(!run.window().isVisible());
        run.waitForLoad();
        QVERIFY(run.window().isVisible());
        QVERIFY(run.window().messageBar->isVisible());
        QCOMPARE(run.window().messageText->text(), said);
        QCOMPARE(run.shown->count(), 0);
    }

    // The first load turns the picture upright or not as the stored setting says, although it is sent
    // before the settings window exists.
    void storedOrientationApplies_data()
    {
        QTest::addColumn<QVariantHash>("stored");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("nothing stored: upright") << QVariantHash() << QSize(32, 48);
        QTest::newRow("stored on") << QVariantHash{{QStringLiteral("11"), QStringLiteral("true")}} << QSize(32, 48);
        QTest::newRow("stored off") << QVariantHash{{QStringLiteral("11"), QStringLiteral("false")}} << QSize(48, 32);
    }
    void storedOrientationApplies()
    {
        REQUIRE_TOOL("exiftool");
        QFETCH(QVariantHash, stored);
        QFETCH(QSize, shown);
        QTemporaryDir files;
        const QString path = files.filePath("turned.png");
        QImage picture(48, 32, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(path));
        QVERIFY(testsupport::run(testsupport::tool("exiftool"),
                                 {"-q", "-q", "-overwrite_original", "-n", "-Orientation=6", path}));

        Run run(path, Shell::Opening::WithPicture, stored);
        run.waitForLoad();
        const InstanceData& d = run.shell->pictureView()->state();
        QCOMPARE(QSize(int(d.width), int(d.height)), shown);
    }

    // A load that does not end (or no load at all) does not keep the window closed.
    void opensAfterTheWait()
    {
        MainWindow window(new PictureView);
        window.openWithPicture(std::chrono::milliseconds(0));
        QVERIFY(!window.isVisible());
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!window.awaitsPicture());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
