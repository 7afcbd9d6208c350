#include "app/Application.h"

#include "app/AboutWindow.h"
#include "app/FileDialogRequester.h"
#include "app/MainWindow.h"
#include "app/QuitSignals.h"
#include "app/SettingsWindow.h"
#include "core/Messages.h"
#include "pictureview/PictureView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The resources live in the static core library: the linker keeps them only when asked for by name,
// from outside any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(quorvanta);
}

namespace quorvanta {

Shell::Shell(const ArgumentRecord* record, Stores stores, std::unique_ptr<RequesterBackend> requesterBackend,
             Opening opening)
    : store(std::move(stores)), opening(opening)
{
    if (record)
        arguments = *record;
    const std::int64_t width = arguments && arguments->width ? *arguments->width : PictureView::kDefaultSize;
    const std::int64_t height = arguments && arguments->height ? *arguments->height : PictureView::kDefaultSize;

    auto* view = new PictureView(width, height);
    view->setJobRunner(JobRunner(JobRunner::Threads::Worker));
    // With the picture first, its load is read and decoded on a worker while the windows are built;
    // what it sends back is taken by the event loop.
    bool sent = false;
    if (opening == Opening::WithPicture) {
        // A stored style applies before the first widget is made, so that none is polished twice.
        StyleWindow::applyStored(store);
        view->setColourManaged(storedColourManagement(store));
        // A file's load reads the decode budget and whether pictures are turned upright (which the
        // picture object does without settings): it goes before the settings window is made when
        // the stored settings agree. A directory's reads more.
        if (arguments && !arguments->directory && SettingsWindow::takeStoredForLoad(store)) {
            view->send(MethodId::Load, arguments->path);
            sent = true;
        }
    }
    // The settings window is where the picture object reads its settings.
    settings = std::make_unique<SettingsWindow>();
    view->setSettings(settings.get());
    if (opening == Opening::WithPicture) {
        settings->load(store);
        if (arguments && !sent)
            view->send(arguments->directory ? MethodId::LoadDirectory : MethodId::Load, arguments->path);
    }
    main = std::make_unique<MainWindow>(view);
    // Each window keeps its place under its identifier; the keepers are owned by their windows.
    mainPlace = new WindowPlace(main.get(), QStringLiteral("Quorvanta01"), store);
    main->sizeForFirstPicture = !mainPlace->restoredSize();
    new WindowPlace(settings.get(), QStringLiteral("Quorvanta03"), store);
    // The settings window opens over the main window, and the menu's keys work from it too.
    QList<QAction*> menuKeys;
    for (QAction* title : main->menuBar()->actions()) {
        for (QAction* item : title->menu() ? title->menu()->actions() : QList<QAction*>{})
            if (!item->shortcut().isEmpty())
                menuKeys << item;
    }
    settings->follow(main.get(), menuKeys);

    if (!requesterBackend)
        requesterBackend = std::make_unique<FileDialogRequester>(main.get());
    requester = std::make_unique<Requesters>(std::move(requesterBackend));

    pictureView()->setRequesters(requester.get());

    installNotifications();
    installKeys();
    installViewCommands();
}

Shell::~Shell()
{
    teardown();
    // The picture object reaches into the other windows: it goes first, with the main window.
    main.reset();
    style.reset();
    settings.reset();
    about.reset();
}

PictureView* Shell::pictureView() const
{
    return main->pictureView;
}

AboutWindow* Shell::aboutWindow()
{
    if (!about) {
        about = std::make_unique<AboutWindow>();
        new WindowPlace(about.get(), QStringLiteral("Quorvanta02"), store);
    }
    return about.get();
}

StyleWindow* Shell::styleWindow()
{
    if (!style)
        style = std::make_unique<StyleWindow>(store);
    return style.get();
}

void Shell::installNotifications()
{
    MainWindow* window = main.get();
    PictureView* view = pictureView();
    QAction* aboutItem = window->findMenuItem(MenuAbout);
    QAction* aboutToolkitItem = window->findMenuItem(MenuAboutToolkit);
    QAction* toolkitSettingsItem = window->findMenuItem(MenuToolkitSettings);
    QAction* openItem = window->findMenuItem(MenuOpen);
    QAction* openDirectoryItem = window->findMenuItem(MenuOpenDirectory);
    QAction* programSettingsItem = window->findMenuItem(MenuProgramSettings);

    connect(aboutToolkitItem, &QAction::triggered, window, [window] { QMessageBox::aboutQt(window); });
    connect(toolkitSettingsItem, &QAction::triggered, this, [this] { openWindow(styleWindow()); });
    connect(window, &MainWindow::pathDropped, view, [view](const std::string& path) { view->send(MethodId::Load, path); });
    connect(window, &MainWindow::closeRequested, this, &Shell::requestQuit);
    connect(aboutItem, &QAction::triggered, this, [this] { openWindow(aboutWindow()); });
    connect(openItem, &QAction::triggered, view, [view] { view->send(MethodId::OpenWebP); });
    connect(openDirectoryItem, &QAction::triggered, view, [view] { view->send(MethodId::OpenDirectory); });
    // The settings window's close gadget just hides it, as a window's does.
    connect(window->encodePictureButton, &QPushButton::clicked, view, [view] { view->send(MethodId::SavePicture); });
    connect(window->encodeAnimationButton, &QPushButton::clicked, view,
            [view] { view->send(MethodId::SaveAnimation); });
    connect(window->cancelEncodingButton, &QPushButton::clicked, view, &PictureView::cancelEncoding);
    connect(settings->saveButton, &QPushButton::clicked, this,
            [this] { store.write(settings->values(), Stores::Both); });
    connect(settings->useButton, &QPushButton::clicked, this,
            [this] { store.write(settings->values(), Stores::Running); });
    // "Cancel" (the window's own) restores the values the window opened with, then closes it.
    connect(programSettingsItem, &QAction::triggered, settings.get(), [this] { openWindow(settings.get()); });
    connect(window->pauseButton, &QPushButton::clicked, view, [view] { view->send(MethodId::Pause); });
    connect(window->playButton, &QPushButton::clicked, view, [view] { view->send(MethodId::Play); });
    connect(window->frameSlider, &QSlider::valueChanged, view,
            [view](int value) { view->send(MethodId::GotoFrame, static_cast<std::int32_t>(value)); });
    connect(settings.get(), &SettingsWindow::frameDurationChanged, view,
            [view](const QString& text) { view->send(MethodId::SetDelay, text.toStdString()); });

    connect(window->findMenuItem(MenuQuit), &QAction::triggered, this, &Shell::requestQuit);
}

void Shell::installKeys()
{
    MainWindow* window = main.get();
    PictureView* view = pictureView();
    // The keys act only while frames are on show, through the same commands as the buttons and slider.
    auto framesShown = [view] { return controlsFor(view->mode()).playback; };
    connect(window->togglePlaybackKey, &QAction::triggered, view, [view, framesShown] {
        if (framesShown())
            view->send(view->playing() ? MethodId::Pause : MethodId::Play);
    });
    connect(window->previousFrameKey, &QAction::triggered, this, [this] { stepFrame(-1); });
    connect(window->nextFrameKey, &QAction::triggered, this, [this] { stepFrame(+1); });
    connect(window->firstFrameKey, &QAction::triggered, window, [window, framesShown] {
        if (framesShown())
            window->frameSlider->setValue(window->frameSlider->minimum());
    });
    connect(window->lastFrameKey, &QAction::triggered, window, [window, framesShown] {
        if (framesShown())
            window->frameSlider->setValue(window->frameSlider->maximum());
    });
}

void Shell::stepFrame(int delta)
{
    MainWindow* window = main.get();
    // Without frames on show the arrows step through the pictures of the folder.
    if (!controlsFor(pictureView()->mode()).playback) {
        stepPicture(delta);
        return;
    }
    // Stepping stops playback, so the frame stepped to stays on show.
    if (pictureView()->playing())
        pictureView()->send(MethodId::Pause);
    window->frameSlider->setValue(window->frameSlider->value() + delta);
}

void Shell::start()
{
    if (opening == Opening::WithPicture) {
        // The load went out while the windows were built.
        if (arguments)
            main->openWithPicture(kPictureWait);
        else
            openWindow(main.get());
        return;
    }
    StyleWindow::applyStored(store);
    settings->load(store);
    // The picture is read and decoded on a worker while the window is shown.
    if (arguments)
        pictureView()->send(arguments->directory ? MethodId::LoadDirectory : MethodId::Load, arguments->path);
    openWindow(main.get());
}

void Shell::openWindowNamed(const QString& name)
{
    if (name == QLatin1String("settings"))
        openWindow(settings.get());
    else if (name == QLatin1String("about"))
        openWindow(aboutWindow());
    else if (name == QLatin1String("style"))
        openWindow(styleWindow());
}

void Shell::requestQuit()
{
    PictureView* view = pictureView();
    if (view->encoding()) {
        const auto answer = QMessageBox::question(
            main.get(), QStringLiteral("Quit Quorvanta"),
            QStringLiteral("An encoding is running. Cancel it and quit? Nothing of it will be written."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        view->cancelEncoding();
    }
    Q_EMIT quitRequested();
}

void Shell::teardown()
{
    if (tornDown)
        return;
    tornDown = true;
    // Windows remember their places when hidden; the main window is hidden last.
    for (QWidget* window : {static_cast<QWidget*>(style.get()), static_cast<QWidget*>(about.get()),
                            static_cast<QWidget*>(settings.get()), static_cast<QWidget*>(main.get())}) {
        if (window && window->isVisible())
            window->hide();
    }
}

bool displayAvailable(int argc, char** argv)
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platforms = argv[i + 1];
    }
    const bool haveX = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool haveWayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platforms.isEmpty())
        return haveX || haveWayland;
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').constFirst().trimmed();
        if (name == "xcb" ? haveX : name.startsWith("wayland") ? haveWayland : !name.isEmpty())
            return true;
    }
    return false;
}

namespace {

// Gives the program its icon once `window` has been painted for the first time: the look-up in the
// icon theme takes milliseconds that the first picture on screen does not wait for.
class IconAfterFirstPaint : public QObject {
public:
    explicit IconAfterFirstPaint(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // After the paint and its flush to the screen.
            QMetaObject::invokeMethod(this, [this] {
                QIcon icon = QIcon::fromTheme(QStringLiteral("org.quorvanta.Quorvanta"));
                if (icon.isNull()) {
                    icon.addFile(QStringLiteral(":/quorvanta/icon-48.png"));
                    icon.addFile(QStringLiteral(":/quorvanta/icon-256.png"));
                }
                QApplication::setWindowIcon(icon);
                deleteLater();
            }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};

QtMessageHandler previousHandler = nullptr;

// While the application is being created, a fatal message from Qt (no display, no platform plugin)
// means it cannot be created: say so and end with code 1 instead of aborting.
void creationMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        printDiagnostic(message.section(QLatin1Char('\n'), 0, 0).toStdString());
        printMessage(kCantCreateApp);
        std::_Exit(1);
    }
    if (previousHandler)
        previousHandler(type, context, message);
    else
        printDiagnostic(message.toStdString());
}

} // namespace

int RunApplication(int& argc, char** argv, const ArgumentRecord* record)
{
    if (!displayAvailable(argc, argv)) {
        printMessage(kCantCreateApp);
        return 1;
    }
    previousHandler = qInstallMessageHandler(creationMessageHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(previousHandler);
    QApplication::setApplicationName(QStringLiteral("Quorvanta"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANTA_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    initResources();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvanta.Quorvanta"));

    QuitSignals quitSignals;
    // For screenshots and manual checks: QUORVANTA_OPEN_WINDOW=settings, about or style opens that
    // window too, over a main window opened at once.
    const QString openNamed = qEnvironmentVariable("QUORVANTA_OPEN_WINDOW");
    Shell shell(record, Stores(), nullptr, openNamed.isEmpty() ? Shell::Opening::WithPicture : Shell::Opening::AtOnce);
    // exit() leaves the loop directly; quit() would first ask every window to close, and the main
    // window answers a close by asking to quit.
    auto leaveLoop = [] { QCoreApplication::exit(0); };
    // A signal asks nothing: an encoding that runs is cancelled.
    QObject::connect(&quitSignals, &QuitSignals::received, &application, [&shell, leaveLoop] {
        shell.pictureView()->cancelEncoding();
        leaveLoop();
    }, Qt::QueuedConnection);
    QObject::connect(&shell, &Shell::quitRequested, &application, leaveLoop, Qt::QueuedConnection);
    shell.start();
    new IconAfterFirstPaint(shell.mainWindow());
    shell.openWindowNamed(openNamed);
    QApplication::exec();
    // A cancelled encoding ends at its encoder's next report and takes its temporary file with it.
    shell.pictureView()->cancelEncoding();
    FinishRun(shell);
    return 0;
}

void FinishRun(Shell& shell)
{
    // Loading and encoding jobs are told to stop and given a moment; one that cannot stop (a decode
    // deep inside a library) is not waited for.
    shell.pictureView()->cancelLoading();
    shell.teardown();
    if (!JobRunner::waitForIdle(std::chrono::milliseconds(500))) {
        printDiagnostic("work still running at quit: leaving without waiting for it");
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    }
}

} // namespace quorvanta
