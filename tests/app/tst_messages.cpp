// What the window tells the user: every failure the user can act on and every saved file appear in the
// message bar, in words; an encoding runs while the window paints, takes no other command, can be
// cancelled without a trace, and quitting during it asks first.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "core/DecodeBudget.h"
#include "pictureview/PictureView.h"

#include "EncodeGate.h"
#include "PictureFixtures.h"
#include "TestDoubles.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using fixtures::entriesOf;
using fixtures::makePicture;
using fixtures::savePng;
using testsupport::EncodeGate;
using testsupport::OrdinaryUser;
using testsupport::writeAll;

namespace {

// The shell over scratch stores, with scripted answers to its requesters.
struct Fixture {
    QTemporaryDir folder;
    std::deque<RequestAnswer> answers;
    std::vector<RequestOptions> asked;
    FixedSettings fixed; // given to the picture object by the cases that need settings out of range
    Shell shell{nullptr, Stores(folder.filePath("run"), folder.filePath("config")),
                std::make_unique<ScriptedBackend>(answers, asked)};

    Fixture() { shell.start(); }
    MainWindow& window() { return *shell.mainWindow(); }
    PictureView& view() { return *shell.pictureView(); }
    QString path(const QString& name) const { return folder.filePath(name); }

    // What the message bar says; empty while it is hidden.
    QString message() { return window().messageBar->isVisible() ? window().messageText->text() : QString(); }

    QString picture(const QString& name, int width = 48, int height = 32)
    {
        const QString file = path(name);
        return savePng(makePicture(width, height, false, 3), file) ? file : QString();
    }
    // Loading runs on a worker thread: its result is taken from the event loop before going on.
    void open(const QString& file)
    {
        view().send(MethodId::Load, file.toStdString());
        if (view().encoding())
            return; // refused: no load runs, and the encoding's job is held by a test's gate
        JobRunner::waitForIdle(std::chrono::seconds(30));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    void openFolder(const QString& dir) { view().send(MethodId::LoadDirectory, dir.toStdString()); }
    void pressEncodePicture(const QString& target)
    {
        answers = {chosen(target)};
        QTest::mouseClick(window().encodePictureButton, Qt::LeftButton);
    }
    void pressEncodeAnimation(const QString& target)
    {
        answers = {chosen(target)};
        QTest::mouseClick(window().encodeAnimationButton, Qt::LeftButton);
    }
    // Runs the event loop until the encoding has ended.
    bool encodingEnds()
    {
        QSignalSpy hidden(&view(), &PictureView::progressShown);
        while (view().encoding())
            if (!hidden.wait(30000))
                return false;
        return true;
    }
};

using Scenario = std::function<void(Fixture&)>;

// Counts the paint events of the widget it watches.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(int& paints) : paints(paints) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }

private:
    int& paints;
};

// Encodes the picture on show into `target` with the given settings.
Scenario encodeWith(EncodeSettings values, const char* target = "out.webp")
{
    return [values, target](Fixture& f) {
        f.open(QFileInfo::exists(f.path("in.png")) ? f.path("in.png") : f.picture("in.png"));
        f.fixed.losslessValue = values.lossless != 0;
        f.fixed.qualityValue = values.quality;
        f.fixed.speedValue = values.method;
        f.fixed.strength = values.filterStrength;
        f.fixed.sharpness = values.filterSharpness;
        f.view().setSettings(&f.fixed);
        f.pressEncodePicture(f.path(target));
    };
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestMessages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(!JobRunner::running()); }

    // Each failure shows its reason in the bar; the stdout messages stay as they were besides.
    void failureMessages_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<QString>("expected");
        QTest::newRow("not a picture") << Scenario([](Fixture& f) {
            QVERIFY(writeAll(f.path("notes.txt"), "some words"));
            f.open(f.path("notes.txt"));
        }) << "notes.txt is not a picture";
        QTest::newRow("missing") << Scenario([](Fixture& f) { f.open(f.path("gone.png")); })
                                 << "gone.png can't be opened: No such file or directory";
        QTest::newRow("unreadable") << Scenario([](Fixture& f) {
            const QString secret = f.picture("secret.png");
            QCOMPARE(::chmod(secret.toLocal8Bit().constData(), 0), 0);
            const OrdinaryUser user;
            f.open(secret);
        }) << "secret.png can't be opened: Permission denied";
        QTest::newRow("a folder") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("holiday"));
            f.open(f.path("holiday"));
        }) << "holiday is not a regular file";
        QTest::newRow("over the decode budget") << Scenario([](Fixture& f) {
            QVERIFY(writeAll(f.path("huge.pgm"), QByteArray("P5\n20000 20000\n255\n") + QByteArray(16, '\0')));
            SetDecodeBudgetMiB(16);
            f.open(f.path("huge.pgm"));
            SetDecodeBudgetBytes(0);
        }) << "huge.pgm is too large for the memory limit: 20000 x 20000 needs 1.9 GiB; the limit is 16.0 MiB (Settings)";
        QTest::newRow("quality 1000") << encodeWith({0, 1000, 0, 0, 0})
                                      << "A setting is out of range: quality 1000 is outside 0-100";
        QTest::newRow("sharpness 99") << encodeWith({0, 50, 0, 0, 99})
                                      << "A setting is out of range: filter sharpness 99 is outside 0-7";
        QTest::newRow("speed -3") << encodeWith({0, 50, -3, 0, 0})
                                  << "A setting is out of range: speed -3 is outside 0-6";
        QTest::newRow("read-only target folder") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("locked"));
            QCOMPARE(::chmod(f.folder.path().toLocal8Bit().constData(), 0755), 0);
            QCOMPARE(::chmod(f.path("locked").toLocal8Bit().constData(), 0555), 0);
            QVERIFY(!f.picture("in.png").isEmpty());
            const OrdinaryUser user;
            encodeWith({}, "locked/out.webp")(f);
        }) << "out.webp can't be written: Permission denied";
        QTest::newRow("disk full") << Scenario([](Fixture& f) {
            rlimit saved{};
            ::getrlimit(RLIMIT_FSIZE, &saved);
            rlimit lowered = saved;
            lowered.rlim_cur = 100;
            QVERIFY(!f.picture("in.png").isEmpty());
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
            encodeWith({1, 50, 0, 0, 0})(f);
            ::setrlimit(RLIMIT_FSIZE, &saved);
        }) << "out.webp: the disk is full: the file size limit was reached";
        QTest::newRow("a folder as target") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("out.webp"));
            encodeWith({})(f);
        }) << "out.webp can't be written: it is a folder";
        QTest::newRow("a WebP on show") << Scenario([](Fixture& f) {
            f.open(QStringLiteral(QUORVANTA_SOURCE_DIR "/docs/sample.webp"));
            f.view().send(MethodId::EncodePicture, f.path("out.webp").toStdString());
        }) << "Nothing to encode: a WebP picture is on show; open a picture of another format";
        QTest::newRow("empty folder") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("empty"));
            f.openFolder(f.path("empty"));
            f.pressEncodeAnimation(f.path("anim.webp"));
        }) << "Nothing to encode: empty holds no pictures";
        QTest::newRow("no picture in the folder") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("texts"));
            QVERIFY(writeAll(f.path("texts/a.txt"), "words"));
            f.openFolder(f.path("texts"));
            f.pressEncodeAnimation(f.path("anim.webp"));
        }) << "Nothing to encode: texts holds no pictures";
        QTest::newRow("loop count 70000") << Scenario([](Fixture& f) {
            QVERIFY(QDir(f.folder.path()).mkdir("frames"));
            QVERIFY(savePng(makePicture(8, 8, false, 1), f.path("frames/a.png")));
            f.fixed.loops = 70000;
            f.view().setSettings(&f.fixed);
            f.openFolder(f.path("frames"));
            f.pressEncodeAnimation(f.path("anim.webp"));
        }) << "A setting is out of range: loop count 70000 is outside 0-65535";
    }
    void failureMessages()
    {
        QFETCH(Scenario, scenario);
        QFETCH(QString, expected);
        Fixture f;
        f.view().setJobRunner(JobRunner()); // inline: the permission cases hold for this thread only
        scenario(f);
        QVERIFY(f.encodingEnds());
        QCOMPARE(f.message(), expected);
        QVERIFY(!f.window().messageIcon->pixmap().isNull());
        QCOMPARE(f.window().messageBar->property("kind").toString(), QStringLiteral("failure"));
    }

    // A saved file says so, with its size and time; the bar closes, and opening another picture
    // clears it.
    void successMessage()
    {
        Fixture f;
        f.open(f.picture("photo.png", 120, 80));
        f.pressEncodePicture(f.path("photo.webp"));
        QVERIFY(f.encodingEnds());
        const QRegularExpression saved(QStringLiteral("^Saved photo\\.webp, \\d+(\\.\\d)? (bytes|KB), \\d+\\.\\d s$"));
        QVERIFY2(saved.match(f.message()).hasMatch(), qPrintable(f.message()));
        QCOMPARE(f.window().messageBar->property("kind").toString(), QStringLiteral("news"));
        QTest::mouseClick(f.window().messageCloseButton, Qt::LeftButton);
        QVERIFY(f.message().isEmpty());

        f.open(f.path("missing.png"));
        QVERIFY(!f.message().isEmpty());
        f.open(f.path("photo.webp"));
        QVERIFY(f.message().isEmpty());
    }

    // While an encoding waits in its encoder, the window still paints, moves and resizes.
    void windowPaintsDuringEncoding()
    {
        Fixture f;
        f.open(f.picture("in.png"));
        EncodeGate gate;
        f.pressEncodePicture(f.path("out.webp"));
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);
        QVERIFY(f.view().encoding());
        QVERIFY(f.window().progressGauge->isVisible() && f.window().cancelEncodingButton->isVisible());

        int paints = 0;
        PaintCounter counter(paints);
        f.view().installEventFilter(&counter);
        f.window().resize(f.window().size() + QSize(40, 30));
        f.window().move(f.window().pos() + QPoint(10, 10));
        f.view().update();
        QTRY_VERIFY_WITH_TIMEOUT(paints > 0, 10000);
        QVERIFY(gate.reached()); // still encoding
        gate.open();
        QVERIFY(f.encodingEnds());
        QVERIFY(f.message().startsWith("Saved out.webp"));
    }

    // Cancel stops the encoding; the folder is left exactly as it was, and the picture can be encoded
    // again afterwards.
    void cancelLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<bool>("animation");
        QTest::newRow("picture") << false;
        QTest::newRow("animation") << true;
    }
    void cancelLeavesTheFolderAsItWas()
    {
        QFETCH(bool, animation);
        Fixture f;
        QVERIFY(QDir(f.folder.path()).mkdir("out"));
        QVERIFY(writeAll(f.path("out/out.webp"), "old bytes"));
        if (animation) {
            QVERIFY(QDir(f.folder.path()).mkdir("frames"));
            for (int i = 0; i < 3; ++i)
                QVERIFY(savePng(makePicture(40, 30, false, quint32(i)), f.path(QStringLiteral("frames/%1.png").arg(i))));
            f.openFolder(f.path("frames"));
        } else {
            f.open(f.picture("in.png"));
        }
        const QStringList before = entriesOf(f.path("out"));
        {
            EncodeGate gate(animation ? 30 : 0); // an animation is stopped after its first frame
            animation ? f.pressEncodeAnimation(f.path("out/out.webp")) : f.pressEncodePicture(f.path("out/out.webp"));
            QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);
            QTest::mouseClick(f.window().cancelEncodingButton, Qt::LeftButton);
            QVERIFY(!f.window().cancelEncodingButton->isEnabled());
            QCOMPARE(f.window().cancelEncodingButton->text(), QStringLiteral("Stopping..."));
        }
        QVERIFY(f.encodingEnds());
        QCOMPARE(f.message(), QStringLiteral("Cancelled: nothing was written to out.webp"));
        QCOMPARE(entriesOf(f.path("out")), before);
        QCOMPARE(testsupport::readAll(f.path("out/out.webp")), QByteArray("old bytes"));
        QVERIFY(!f.window().progressGauge->isVisible());

        animation ? f.pressEncodeAnimation(f.path("out/out.webp")) : f.pressEncodePicture(f.path("out/out.webp"));
        QVERIFY(f.window().cancelEncodingButton->isEnabled());
        QCOMPARE(f.window().cancelEncodingButton->text(), QStringLiteral("Cancel"));
        QVERIFY(f.encodingEnds());
        QVERIFY2(f.message().startsWith("Saved out.webp"), qPrintable(f.message()));
    }

    // A stage of libwebp that does not look at the stop flag does not hold the window: soon after
    // Cancel the window says so and is free; another encoding waits until the first has stopped, which
    // writes nothing.
    void cancelDoesNotWaitForTheEncoder()
    {
        Fixture f;
        QVERIFY(QDir(f.folder.path()).mkdir("out"));
        f.open(f.picture("in.png"));
        EncodeGate gate; // the encoder stays inside one stage until the gate opens
        f.pressEncodePicture(f.path("out/out.webp"));
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);
        QTest::mouseClick(f.window().cancelEncodingButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!f.view().encoding(), 5000);
        QVERIFY(gate.reached()); // still inside that stage
        QCOMPARE(f.message(), QStringLiteral("Cancelled: nothing was written to out.webp"));
        QVERIFY(!f.window().progressGauge->isVisible());
        f.pressEncodePicture(f.path("out/out.webp"));
        QCOMPARE(f.message(),
                 QStringLiteral("An encoding is running: the one cancelled is still stopping; try again in a moment"));
        gate.open();
        QTRY_VERIFY_WITH_TIMEOUT(f.view().state().importBuffer.pixels, 10000); // the picture is back
        QVERIFY(entriesOf(f.path("out")).isEmpty());
        f.pressEncodePicture(f.path("out/out.webp"));
        QVERIFY(f.encodingEnds());
        QVERIFY2(f.message().startsWith("Saved out.webp"), qPrintable(f.message()));
    }

    // While an encoding runs, commands that would touch what it encodes are refused with a message,
    // and what is on show stays.
    void commandsWaitForTheEncoding()
    {
        Fixture f;
        f.open(f.picture("in.png"));
        const QString title = f.window().windowTitle();
        EncodeGate gate;
        f.pressEncodePicture(f.path("out.webp"));
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);
        const QString refused = QStringLiteral("An encoding is running: wait for it to end, or cancel it");
        f.open(f.picture("other.png", 10, 10));
        QCOMPARE(f.message(), refused);
        QCOMPARE(f.window().windowTitle(), title);
        f.window().messageBar->hide();
        f.view().send(MethodId::EncodePicture, f.path("second.webp").toStdString());
        QCOMPARE(f.message(), refused);
        f.window().messageBar->hide();
        f.openFolder(f.folder.path());
        QCOMPARE(f.message(), refused);
        QCOMPARE(f.view().mode(), Mode::Imported);
        gate.open();
        QVERIFY(f.encodingEnds());
        QVERIFY(!QFileInfo::exists(f.path("second.webp")));
    }

    // Quit and the close gadget ask while an encoding runs: No goes on encoding, Yes cancels and quits.
    void quitDuringEncodingAsks()
    {
        Fixture f;
        f.open(f.picture("in.png"));
        QSignalSpy quit(&f.shell, &Shell::quitRequested);
        EncodeGate gate;
        f.pressEncodePicture(f.path("out.webp"));
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);

        QString asked;
        const auto answer = [&asked](QMessageBox::StandardButton button) {
            QTimer::singleShot(0, [&asked, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                asked = box->text();
                box->button(button)->click();
            });
        };
        answer(QMessageBox::No);
        f.window().findMenuItem(MenuQuit)->trigger();
        QVERIFY(asked.startsWith("An encoding is running. Cancel it and quit?"));
        QCOMPARE(quit.count(), 0);
        QVERIFY(f.view().encoding());

        asked.clear();
        answer(QMessageBox::Yes);
        QVERIFY(!f.window().close());
        QVERIFY(!asked.isEmpty());
        QCOMPARE(quit.count(), 1);
        gate.open();
        QVERIFY(f.encodingEnds());
        QVERIFY(!QFileInfo::exists(f.path("out.webp")));
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
