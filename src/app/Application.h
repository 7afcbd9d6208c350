#pragma once
// The application shell: builds the main and settings windows around the one picture object (the
// about and style windows on first use), connects every menu item, button, slider, field and key to
// it, and runs the event loop.

#include "app/CommandLine.h"
#include "pictureview/Requesters.h"
#include "app/Stores.h"

#include <QObject>

#include <chrono>
#include <memory>

namespace quorvanta {

class AboutWindow;
class MainWindow;
class PictureView;
class SettingsWindow;
class StyleWindow;
class WindowPlace;

class Shell : public QObject {
    Q_OBJECT

public:
    // How the program starts.
    enum class Opening {
        // start() loads the stored settings, sends the command line's path and opens the main window.
        AtOnce,
        // What the first paint needs comes first: the command line's path is sent to its worker with
        // the stored settings in force before the windows are built (a directory once the settings
        // window is), and start() opens the main window once the picture is on show in it (see
        // MainWindow::openWithPicture, kPictureWait).
        WithPicture,
    };
    // How long a window waits for its first picture before it opens empty.
    static constexpr std::chrono::milliseconds kPictureWait{150};

    // Builds the main and settings windows (closed) and installs the notifications. `record` may be
    // null (no or a failed command line); `requesterBackend` null means Qt's own file dialog.
    Shell(const ArgumentRecord* record, Stores stores, std::unique_ptr<RequesterBackend> requesterBackend = nullptr,
          Opening opening = Opening::AtOnce);
    ~Shell() override;

    // Opens the main window, and loads the command line's path (see Opening).
    void start();
    // Opens the settings, about or style window by that name; any other name does nothing.
    void openWindowNamed(const QString& name);
    // Closes the windows, remembering where they were. Safe to call twice.
    void teardown();
    // "Quit..." and the close gadget: asks first whether to cancel an encoding that runs, and goes on
    // only when the answer is yes; quits at once otherwise.
    void requestQuit();

    MainWindow* mainWindow() const { return main.get(); }
    PictureView* pictureView() const;
    SettingsWindow* settingsWindow() const { return settings.get(); }
    // Made on first use.
    AboutWindow* aboutWindow();
    StyleWindow* styleWindow();
    Requesters& requesters() { return *requester; }
    const Stores& stores() const { return store; }

Q_SIGNALS:
    // The program is to end: "Quit..." or the close gadget, agreed to (see requestQuit).
    void quitRequested();

private:
    void installNotifications();
    void installKeys();
    void stepFrame(int delta);
    // The View menu, "Open recent", next and previous picture, the dialogs' folder (ShellView.cpp).
    void installViewCommands();
    void stepPicture(int step);
    void openRecent(const QString& path);

    std::optional<ArgumentRecord> arguments;
    Stores store;
    Opening opening = Opening::AtOnce;
    std::unique_ptr<Requesters> requester;
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<AboutWindow> about;
    std::unique_ptr<SettingsWindow> settings;
    std::unique_ptr<StyleWindow> style;
    WindowPlace* mainPlace = nullptr;
    std::string stepFrom; // where next and previous picture step from
    ViewChoice choiceStored;
    bool tornDown = false;
};

// True when a window system looks reachable for the platform Qt would use.
bool displayAvailable(int argc, char** argv);

// What follows the event loop: what still loads is stopped, the windows close, and running jobs get
// half a second; when work still runs then, standard output is flushed and the program leaves at once.
void FinishRun(Shell& shell);

// Builds the application and runs it until the user quits. `record` is null when the command line
// gave none. Returns the exit code: 1 when the application cannot be created, else 0.
int RunApplication(int& argc, char** argv, const ArgumentRecord* record);

} // namespace quorvanta
