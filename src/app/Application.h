#pragma once
// The application shell: builds the main, about and settings windows around the one picture object,
// connects every menu item, button, slider, field and key to it, and runs the event loop.

#include "app/CommandLine.h"
#include "pictureview/Requesters.h"
#include "app/Stores.h"

#include <QObject>

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
    // Builds the windows (all closed) and installs the notifications. `record` may be null (no or a
    // failed command line); `requesterBackend` null means Qt's own file dialog.
    Shell(const ArgumentRecord* record, Stores stores, std::unique_ptr<RequesterBackend> requesterBackend = nullptr);
    ~Shell() override;

    // Loads the stored settings, opens the main window, and loads the command line's path.
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
    AboutWindow* aboutWindow() const { return about.get(); }
    StyleWindow* styleWindow() const { return style.get(); }
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
