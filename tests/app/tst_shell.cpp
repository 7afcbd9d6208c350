// The main window and its wiring: every menu item, button, slider, field, key and drop reaches the
// picture object as the right command; panels, windows and the quit paths.

#include "app/AboutWindow.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "pictureview/PictureView.h"
#include "viewing/PlaybackClock.h"

#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>

using namespace quorvanta;

namespace {

struct Received {
    MethodId id;
    std::int32_t value;
    QString text;
    bool operator==(const Received&) const = default;
};

// Cancels every request.
class CancellingBackend : public RequesterBackend {
public:
    RequestAnswer ask(const RequestOptions&) override { return {}; }
};

// A shell over scratch stores, with a log of the commands its picture object receives.
struct Fixture {
    QTemporaryDir folder;
    Shell shell{nullptr, Stores(folder.filePath("run"), folder.filePath("config")),
                std::make_unique<CancellingBackend>()};
    std::vector<Received> log;

    Fixture()
    {
        shell.start();
        QObject::connect(shell.pictureView(), &PictureView::methodReceived,
                         [this](MethodId id, std::int32_t value, const QString& text) {
                             // What the shell sends, not what the object sends itself.
                             if (id != MethodId::Setup && id != MethodId::Cleanup && id != MethodId::ShowDirFrame &&
                                 id != MethodId::ShowImported)
                                 log.push_back({id, value, text});
                         });
    }
    MainWindow& window() { return *shell.mainWindow(); }
    // Plays a directory of five pictures, paused at frame 1, with every panel shown.
    void showFrames()
    {
        QVERIFY(QDir(folder.path()).mkpath("frames"));
        for (int i = 1; i <= 5; ++i) {
            QImage picture(2, 2, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            QVERIFY(picture.save(folder.filePath(QStringLiteral("frames/f%1.png").arg(i))));
        }
        shell.pictureView()->send(MethodId::LoadDirectory, folder.filePath("frames").toStdString());
        shell.pictureView()->send(MethodId::Pause);
        window().animationBar->show();
        window().encodeAnimationPanel->show();
        window().encodePicturePanel->show();
        window().frameSlider->setMaximum(5);
        log.clear();
    }
};

QDropEvent* dropOf(const QList<QUrl>& urls, QMimeData& mime)
{
    mime.setUrls(urls);
    return new QDropEvent(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startState();
    void menuTable();
    void commandsReachThePictureObject();
    void buttonsFireOnRelease();
    void windowsAndQuitPaths();
    void clockMovesTheSliderQuietly();
    void keyboard();
    void keyEventsReachTheShortcuts();
    void settingsWindowFollowsTheMainWindow();
    void settingsCancelReachesThePictureObject();
    void aboutText();
    void drops();
    void titleNamesTheLoadedFile();
    void commandLineSizeAndPath();
};

void TestShell::startState()
{
    Fixture f;
    MainWindow& w = f.window();
    QVERIFY(w.isVisible());
    QCOMPARE(w.windowTitle(), "Quorvanta");
    for (QWidget* panel : {static_cast<QWidget*>(w.encodePicturePanel), static_cast<QWidget*>(w.animationBar),
                           static_cast<QWidget*>(w.encodeAnimationPanel), static_cast<QWidget*>(w.progressGauge)})
        QVERIFY2(panel->isHidden(), qPrintable(panel->objectName()));
    QVERIFY(w.pictureView->isVisible());
    QCOMPARE(w.pictureView->minimumSizeHint(), QSize(100, 100));
    QCOMPARE(w.frameSlider->minimum(), 1);
    QCOMPARE(w.progressGauge->maximum(), 100);
    QCOMPARE(w.encodePictureButton->text(), "Encode picture");
    QCOMPARE(w.encodeAnimationButton->text(), "Encode animation");
    QVERIFY(w.encodeAnimationPanel->parentWidget() == w.animationBar);
    // Top to bottom: picture group, picture panel, animation bar, gauge with its Cancel button, and
    // the message bar (hidden until there is something to say).
    auto* column = qobject_cast<QVBoxLayout*>(w.centralWidget()->layout());
    QVERIFY(column);
    QCOMPARE(column->itemAt(0)->widget(), w.pictureGroup);
    QCOMPARE(column->itemAt(1)->widget(), w.encodePicturePanel);
    QCOMPARE(column->itemAt(2)->widget(), w.animationBar);
    QVERIFY(column->itemAt(3)->layout());
    QCOMPARE(column->itemAt(3)->layout()->itemAt(0)->widget(), w.progressGauge);
    QCOMPARE(column->itemAt(3)->layout()->itemAt(1)->widget(), w.cancelEncodingButton);
    QCOMPARE(column->itemAt(4)->widget(), w.messageBar);
    QVERIFY(w.cancelEncodingButton->isHidden() && w.messageBar->isHidden());
    QVERIFY(!f.shell.settingsWindow()->isVisible());
    QVERIFY(!f.shell.aboutWindow()->isVisible());
    // The picture object asks the settings window and the shell's requesters.
    QCOMPARE(w.pictureView->settingsSource(), static_cast<const SettingsSource*>(f.shell.settingsWindow()));
    QCOMPARE(w.pictureView->requesterSource(), &f.shell.requesters());
}

void TestShell::menuTable()
{
    Fixture f;
    QStringList shown;
    for (QAction* title : f.window().menuBar()->actions()) {
        shown << title->text();
        for (QAction* item : title->menu()->actions())
            shown << (item->isSeparator() ? QStringLiteral("---")
                                          : QStringLiteral("%1|%2|%3").arg(item->text()).arg(item->data().toInt())
                                                .arg(item->shortcut().toString()));
    }
    // The View menu (its own suite) and "Open recent" stand among the table's menus and items.
    shown.removeAll("Open recent|0|");
    const qsizetype view = shown.indexOf("View");
    const qsizetype settings = shown.indexOf("Settings");
    QVERIFY(view > 0 && settings > view);
    shown.remove(view, settings - view);
    const QStringList expected{"Project",         "Open ...|5|Ctrl+O",  "Open directory...|4|Ctrl+D",
                               "About...|1|Ctrl+I", "About Qt...|2|Ctrl+.", "---",
                               "Quit...|-1|Ctrl+Q", "Settings",          "Qt...|3|",
                               "Program...|8|"};
    QCOMPARE(shown, expected);
    QVERIFY(!f.window().findMenuItem(0));
    QCOMPARE(f.window().findMenuItem(MenuProgramSettings)->text(), "Program...");
}

void TestShell::commandsReachThePictureObject()
{
    Fixture f;
    f.showFrames();
    MainWindow& w = f.window();
    struct Case {
        const char* name;
        std::function<void()> act;
        Received expected;
    };
    const Case cases[] = {
        {"Open ...", [&] { w.findMenuItem(MenuOpen)->trigger(); }, {MethodId::OpenWebP, 0, {}}},
        {"Open directory...", [&] { w.findMenuItem(MenuOpenDirectory)->trigger(); }, {MethodId::OpenDirectory, 0, {}}},
        {"Encode picture", [&] { QTest::mouseClick(w.encodePictureButton, Qt::LeftButton); },
         {MethodId::SavePicture, 0, {}}},
        {"Encode animation", [&] { QTest::mouseClick(w.encodeAnimationButton, Qt::LeftButton); },
         {MethodId::SaveAnimation, 0, {}}},
        {"pause", [&] { QTest::mouseClick(w.pauseButton, Qt::LeftButton); }, {MethodId::Pause, 0, {}}},
        {"play", [&] { QTest::mouseClick(w.playButton, Qt::LeftButton); }, {MethodId::Play, 0, {}}},
        {"slider", [&] { w.frameSlider->setValue(3); }, {MethodId::GotoFrame, 3, {}}},
        {"frame duration typed",
         [&] {
             QLineEdit* field = f.shell.settingsWindow()->frameDurationField;
             field->setFocus();
             field->end(false);
             QTest::keyClick(field, Qt::Key_Backspace);
             QTest::keyClick(field, Qt::Key_Return); // typed text waits for the end of editing
         },
         {MethodId::SetDelay, 0, "100"}},
        {"frame duration set", [&] { f.shell.settingsWindow()->frameDurationField->setText("250"); },
         {MethodId::SetDelay, 0, "250"}},
    };
    for (const Case& c : cases) {
        f.log.clear();
        c.act();
        QVERIFY2(f.log.size() == 1, c.name);
        QVERIFY2(f.log.front() == c.expected, c.name);
    }
    // Opening a file works while the settings window is open, and leaves it open.
    f.shell.settingsWindow()->show();
    f.log.clear();
    w.findMenuItem(MenuOpen)->trigger();
    QCOMPARE(f.log.size(), std::size_t{1});
    QVERIFY(f.shell.settingsWindow()->isVisible());
}

void TestShell::buttonsFireOnRelease()
{
    Fixture f;
    f.showFrames();
    QTest::mousePress(f.window().playButton, Qt::LeftButton);
    QVERIFY(f.log.empty());
    QTest::mouseRelease(f.window().playButton, Qt::LeftButton);
    QCOMPARE(f.log.size(), std::size_t{1});
    QCOMPARE(f.log.front().id, MethodId::Play);
    // Released away from the button: nothing.
    f.log.clear();
    QTest::mousePress(f.window().pauseButton, Qt::LeftButton);
    QTest::mouseRelease(f.window().pauseButton, Qt::LeftButton, {}, QPoint(-50, -50));
    QVERIFY(f.log.empty());
}

void TestShell::windowsAndQuitPaths()
{
    Fixture f;
    MainWindow& w = f.window();
    QSignalSpy quit(&f.shell, &Shell::quitRequested);
    w.findMenuItem(MenuProgramSettings)->trigger();
    QVERIFY(f.shell.settingsWindow()->isVisible());
    QTest::mouseClick(f.shell.settingsWindow()->cancelButton, Qt::LeftButton);
    QVERIFY(!f.shell.settingsWindow()->isVisible());
    f.shell.settingsWindow()->show();
    QVERIFY(f.shell.settingsWindow()->close());
    QVERIFY(!f.shell.settingsWindow()->isVisible());
    w.findMenuItem(MenuAbout)->trigger();
    QVERIFY(f.shell.aboutWindow()->isVisible());
    QVERIFY(f.shell.aboutWindow()->close());
    w.findMenuItem(MenuToolkitSettings)->trigger();
    QVERIFY(f.shell.styleWindow()->isVisible());
    QCOMPARE(quit.count(), 0);
    // Closing the other windows does not end the program; "Quit..." and the close gadget do.
    w.findMenuItem(MenuQuit)->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!w.close());
    QCOMPARE(quit.count(), 2);
    QVERIFY(w.isVisible());
    QVERIFY(f.log.empty());
    // Teardown closes every window and remembers where they were.
    f.shell.teardown();
    QVERIFY(!w.isVisible());
    QVERIFY(!f.shell.styleWindow()->isVisible());
    for (const char* id : {"Quorvanta01", "Quorvanta02", "Quorvanta03"})
        QVERIFY2(f.shell.stores().value(id).typeId() == QMetaType::QByteArray, id);
}

// The clock moves the slider while an animation plays; that must not come back as a slider command.
void TestShell::clockMovesTheSliderQuietly()
{
    REQUIRE_TOOL("img2webp");
    Fixture f;
    QTemporaryDir dir;
    QStringList args{QStringLiteral("-loop"), QStringLiteral("0"), QStringLiteral("-d"), QStringLiteral("100")};
    for (int i = 0; i < 3; ++i) {
        QImage frame(8, 8, QImage::Format_RGB32);
        frame.fill(QColor::fromHsv(i * 100, 200, 200));
        const QString name = dir.filePath(QStringLiteral("f%1.png").arg(i));
        QVERIFY(frame.save(name));
        args << name;
    }
    const QString animation = dir.filePath(QStringLiteral("a.webp"));
    QVERIFY(testsupport::run(QStringLiteral("img2webp"), args << QStringLiteral("-o") << animation));

    auto manual = std::make_unique<ManualPlaybackClock>();
    ManualPlaybackClock* clock = manual.get();
    f.shell.pictureView()->setClock(std::move(manual));
    f.shell.pictureView()->send(MethodId::Load, testsupport::bytesOf(animation));
    // The shell loads off the GUI thread: the animation is on show once the load has come back.
    QTRY_COMPARE(f.shell.pictureView()->mode(), Mode::Animated);
    f.log.clear();
    clock->advance(1000000);
    const auto count = [&](MethodId id) {
        return std::count_if(f.log.begin(), f.log.end(), [id](const Received& r) { return r.id == id; });
    };
    QVERIFY(count(MethodId::Tick) >= 5);
    QCOMPARE(count(MethodId::GotoFrame), 0);
    QCOMPARE(f.window().frameSlider->value(), f.shell.pictureView()->state().currentFrame == 1
                                                  ? 3
                                                  : f.shell.pictureView()->state().currentFrame - 1);
}

void TestShell::keyboard()
{
    Fixture f;
    MainWindow& w = f.window();
    // No frames on show: the keys do nothing.
    for (QAction* key : {w.togglePlaybackKey, w.previousFrameKey, w.nextFrameKey, w.firstFrameKey, w.lastFrameKey})
        key->trigger();
    QVERIFY(f.log.empty());

    f.showFrames();
    w.nextFrameKey->trigger();
    w.nextFrameKey->trigger();
    w.previousFrameKey->trigger();
    w.lastFrameKey->trigger();
    w.nextFrameKey->trigger(); // already at the last frame
    w.firstFrameKey->trigger();
    w.previousFrameKey->trigger(); // already at the first frame
    const std::vector<Received> steps{{MethodId::GotoFrame, 2, {}}, {MethodId::GotoFrame, 3, {}},
                                      {MethodId::GotoFrame, 2, {}}, {MethodId::GotoFrame, 5, {}},
                                      {MethodId::GotoFrame, 1, {}}};
    QCOMPARE(f.log, steps);

    f.log.clear();
    w.togglePlaybackKey->trigger();
    QVERIFY(f.shell.pictureView()->state().inputHandlerAdded);
    w.nextFrameKey->trigger(); // stepping while playing pauses first
    w.togglePlaybackKey->trigger();
    w.togglePlaybackKey->trigger();
    const std::vector<Received> toggles{{MethodId::Play, 0, {}}, {MethodId::Pause, 0, {}},
                                        {MethodId::GotoFrame, 2, {}}, {MethodId::Play, 0, {}},
                                        {MethodId::Pause, 0, {}}};
    QCOMPARE(f.log, toggles);
}

void TestShell::keyEventsReachTheShortcuts()
{
    Fixture f;
    f.showFrames();
    MainWindow& w = f.window();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w))
        QSKIP("this platform does not activate windows");
    w.frameSlider->setFocus(); // the slider's own arrow keys must not take the key first
    QTest::keyClick(&w, Qt::Key_End);
    QTest::keyClick(&w, Qt::Key_Left);
    QTest::keyClick(&w, Qt::Key_Space);
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    const std::vector<Received> expected{{MethodId::GotoFrame, 5, {}}, {MethodId::GotoFrame, 4, {}},
                                         {MethodId::Play, 0, {}}, {MethodId::OpenWebP, 0, {}}};
    QCOMPARE(f.log, expected);
}

void TestShell::settingsWindowFollowsTheMainWindow()
{
    QTemporaryDir folder;
    const Stores stores(folder.filePath("run"), folder.filePath("config"));
    QPoint placeLeft;
    {
        Shell shell(nullptr, stores, std::make_unique<CancellingBackend>());
        shell.start();
        MainWindow& w = *shell.mainWindow();
        w.setGeometry(400, 300, 500, 400);
        SettingsWindow& s = *shell.settingsWindow();
        w.findMenuItem(MenuProgramSettings)->trigger();
        QVERIFY(s.isVisible());
        // Opened over the main window, not at the screen's corner.
        const QPoint offset = s.geometry().center() - w.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() < 40, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));

        // The menu's keys work from the settings window.
        std::vector<MethodId> log;
        QObject::connect(shell.pictureView(), &PictureView::methodReceived,
                         [&log](MethodId id, std::int32_t, const QString&) { log.push_back(id); });
        QSignalSpy quit(&shell, &Shell::quitRequested);
        s.activateWindow();
        if (QTest::qWaitForWindowActive(&s)) {
            s.qualityField->setFocus();
            QTest::keyClick(s.qualityField, Qt::Key_O, Qt::ControlModifier);
            QTest::keyClick(s.qualityField, Qt::Key_D, Qt::ControlModifier);
            QTest::keyClick(s.qualityField, Qt::Key_Q, Qt::ControlModifier);
            QCOMPARE(log, (std::vector<MethodId>{MethodId::OpenWebP, MethodId::OpenDirectory}));
            QCOMPARE(quit.count(), 1);
            QCOMPARE(s.qualityField->text(), "50");
        } else {
            qWarning("this platform does not activate windows: the keys were not tried");
        }
        s.move(120, 90);
        placeLeft = s.pos();
        shell.teardown();
    }
    // Next run: the window opens where it was left, not over the main window.
    Shell shell(nullptr, stores, std::make_unique<CancellingBackend>());
    shell.start();
    shell.openWindowNamed("settings");
    QCOMPARE(shell.settingsWindow()->pos(), placeLeft);
}

void TestShell::settingsCancelReachesThePictureObject()
{
    Fixture f;
    SettingsWindow& s = *f.shell.settingsWindow();
    f.window().findMenuItem(MenuProgramSettings)->trigger();
    s.frameDurationField->setFocus();
    s.frameDurationField->selectAll();
    QTest::keyClicks(s.frameDurationField, "250");
    QTest::keyClick(s.frameDurationField, Qt::Key_Return);
    QTest::keyClick(s.frameDurationField, Qt::Key_Escape);
    QVERIFY(!s.isVisible());
    const std::vector<Received> expected{{MethodId::SetDelay, 0, "250"}, {MethodId::SetDelay, 0, "1000"}};
    QCOMPARE(f.log, expected);
}

void TestShell::aboutText()
{
    Fixture f;
    f.window().findMenuItem(MenuAbout)->trigger();
    QStringList shown;
    for (QLabel* label : f.shell.aboutWindow()->findChildren<QLabel*>())
        shown << label->text();
    QCOMPARE(shown, (QStringList{"Quorvanta", "Version " QUORVANTA_VERSION,
                                 "A Viewer for WebP pictures and animation\nand a WebP Encoder for all possible\n"
                                 "picture formats that are supported by Qt.\n"
                                 "Encode a WebP animation from an image directory."}));
}

void TestShell::drops()
{
    Fixture f;
    QMimeData mime;
    const QList<QUrl> urls{QUrl("https://example.org/a.webp"), QUrl::fromLocalFile("/tmp/first pic.webp"),
                           QUrl::fromLocalFile("/tmp/second.webp"), QUrl::fromLocalFile("/tmp/third.webp")};
    std::unique_ptr<QDropEvent> drop(dropOf(urls, mime));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f.window(), &enter);
    QVERIFY(enter.isAccepted());
    QApplication::sendEvent(&f.window(), drop.get());
    const std::vector<Received> loaded{{MethodId::Load, 0, "/tmp/first pic.webp"}};
    QCOMPARE(f.log, loaded);

    // Nothing local: refused.
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/a.webp")});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&f.window(), &refused);
    QVERIFY(!refused.isAccepted());

    // The settings window takes no drops, its fields included.
    QVERIFY(!f.shell.settingsWindow()->acceptDrops());
    for (QWidget* child : f.shell.settingsWindow()->findChildren<QWidget*>())
        QVERIFY2(!child->acceptDrops(), qPrintable(child->metaObject()->className()));
}

void TestShell::titleNamesTheLoadedFile()
{
    Fixture f;
    QVERIFY(QDir(f.folder.path()).mkpath("some dir"));
    const QString picture = f.folder.filePath("some dir/pic.webp");
    QVERIFY(QFile::copy(QStringLiteral(QUORVANTA_SOURCE_DIR "/docs/sample.webp"), picture));
    f.shell.pictureView()->send(MethodId::Load, picture.toStdString());
    QTRY_COMPARE(f.window().windowTitle(), "pic.webp - Quorvanta"); // loaded off the GUI thread
    // A file that can't be read leaves the title as it was.
    QSignalSpy failed(f.shell.pictureView(), &PictureView::failed);
    f.shell.pictureView()->send(MethodId::Load, f.folder.filePath("some dir/missing.webp").toStdString());
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(f.window().windowTitle(), "pic.webp - Quorvanta");
    f.shell.pictureView()->send(MethodId::LoadDirectory, std::string("/tmp/frames/"));
    QCOMPARE(f.window().windowTitle(), "/tmp/frames/ - Quorvanta");
}

void TestShell::commandLineSizeAndPath()
{
    QTemporaryDir folder;
    ArgumentRecord record;
    record.path = "/tmp/a.webp";
    record.width = 640;
    record.height = 5000;
    record.directory = true;
    Shell shell(&record, Stores(folder.filePath("run"), folder.filePath("config")),
                std::make_unique<CancellingBackend>());
    QCOMPARE(shell.pictureView()->sizeHint(), QSize(640, 100));
    std::vector<Received> log;
    QObject::connect(shell.pictureView(), &PictureView::methodReceived,
                     [&log](MethodId id, std::int32_t value, const QString& text) {
                         if (id == MethodId::LoadDirectory || id == MethodId::Load)
                             log.push_back({id, value, text});
                     });
    shell.start();
    QVERIFY(shell.mainWindow()->isVisible());
    const std::vector<Received> expected{{MethodId::LoadDirectory, 0, "/tmp/a.webp"}};
    QCOMPARE(log, expected);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
