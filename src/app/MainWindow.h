#pragma once
// The main window: the picture area, the panels that appear when they apply, the menus and the
// keyboard. It only builds and reports; the shell wires what it reports to the picture object.

#include "pictureview/PictureView.h"

#include <QMainWindow>
#include <QSlider>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;

namespace quorvanta {

// The frame slider: a click on the track moves to the frame clicked, not a page on.
class FrameSlider : public QSlider {
    Q_OBJECT

public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The View menu's items.
struct ViewItems {
    QAction* fit = nullptr;             // F
    QAction* actualSize = nullptr;      // Ctrl+0
    QAction* stretch = nullptr;
    QAction* zoomIn = nullptr;          // Ctrl++
    QAction* zoomOut = nullptr;         // Ctrl+-
    QAction* enlargeSmall = nullptr;
    QAction* backgroundColour = nullptr; // transparency over the background colour
    QAction* checkerboard = nullptr;     // or over a checkerboard
    QAction* colourManagement = nullptr; // pictures with a colour profile drawn in the screen's colours
    QAction* nextPicture = nullptr;     // Page Down
    QAction* previousPicture = nullptr; // Page Up
    QAction* fullscreen = nullptr;      // F11
    QAction* leaveFullscreen = nullptr; // Escape, while fullscreen
};

// The status bar's texts for what is on show at `zoom`: the picture, and for an animation or a
// directory the frame's place and time.
struct StatusTexts {
    QString picture;
    QString frame;
};
StatusTexts statusTexts(const PictureInfo& info, const ViewChoice& choice, double zoom);

// Shows `window`, raised and active.
void openWindow(QWidget* window);

// Identity of the menu items: the user data of the menu table.
enum MenuUserData : int {
    MenuAbout = 1,
    MenuAboutToolkit = 2,
    MenuToolkitSettings = 3,
    MenuOpenDirectory = 4,
    MenuOpen = 5,
    MenuProgramSettings = 8,
    MenuQuit = -1,
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The window takes `view` (not yet parented) as its picture area.
    explicit MainWindow(PictureView* view, QWidget* parent = nullptr);

    // The menu item with this user data; null for none (titles and the bar have user data 0).
    QAction* findMenuItem(int userData) const;

    // Shows the name of the file last loaded in the title (called after each load).
    void showPathInTitle(const std::string& path);

    // Shows `text` in the message bar below the picture and its panels until it is closed, replaced, or another
    // picture is opened: a failure with the warning icon, news with the information icon.
    enum class MessageKind { Failure, News };
    void showMessage(const QString& text, MessageKind kind);

    QGroupBox* pictureGroup = nullptr;
    PictureView* pictureView = nullptr;
    QGroupBox* encodePicturePanel = nullptr;
    QPushButton* encodePictureButton = nullptr;
    QPushButton* previewButton = nullptr; // checkable: the encoding preview on or off
    QGroupBox* animationBar = nullptr;
    QSlider* frameSlider = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* playButton = nullptr;
    QGroupBox* encodeAnimationPanel = nullptr;
    QPushButton* encodeAnimationButton = nullptr;
    QProgressBar* progressGauge = nullptr;
    QPushButton* cancelEncodingButton = nullptr; // next to the gauge while an encoding runs
    QFrame* messageBar = nullptr;
    QLabel* messageIcon = nullptr;
    QLabel* messageText = nullptr;
    QToolButton* messageCloseButton = nullptr;

    // Keyboard actions on the window, next to the menu's command keys.
    QAction* togglePlaybackKey = nullptr; // Space
    QAction* previousFrameKey = nullptr;  // Left
    QAction* nextFrameKey = nullptr;      // Right
    QAction* firstFrameKey = nullptr;     // Home
    QAction* lastFrameKey = nullptr;      // End

    // The View menu, "Open recent" and the status bar (MainWindowView.cpp).
    QMenu* viewMenu = nullptr;
    QMenu* recentMenu = nullptr;
    ViewItems viewItems;
    QLabel* statusText = nullptr;
    QLabel* frameText = nullptr;
    // Shows the view choice in the menu's checks.
    void showViewChoice(const ViewChoice& choice);
    // The paths "Open recent" offers, newest first.
    void setRecentPaths(const QStringList& paths);
    // Sizes the window for the picture on show: the picture at the largest zoom up to 100 % that keeps
    // it whole, the window inside `available` (the screen's available area), and moved onto it.
    void adoptDefaultSize(const QRect& available);
    // The window takes its default size for the first picture shown, unless a size was restored.
    bool sizeForFirstPicture = true;
    void setFullscreen(bool on);

    // Opens the window (openWindow) once the picture object has a picture on show (sized for it, so
    // that the first paint has the picture in it), once a load fails, or after `bound`, whichever
    // comes first.
    void openWithPicture(std::chrono::milliseconds bound);
    // The window waits for the first picture before it opens.
    bool awaitsPicture() const { return openTimer != nullptr; }

Q_SIGNALS:
    void closeRequested();
    // The first local path of a drop, in the bytes the file system takes.
    void pathDropped(const std::string& path);
    // A path of "Open recent" was chosen.
    void recentChosen(const QString& path);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildKeys();
    void buildMessageBar();
    // Panels, title, slider and gauge follow what the picture object says changed.
    void followPictureView();
    void showControls(const Controls& controls);

    void buildViewMenu();
    void buildStatusBar();
    void followPictureInfo();
    void showStatus();
    // Lays out the window at its present size, shown or not yet.
    void layOut();

    // Images of buttons that are hidden at first: looked up when they are first shown.
    void giveImages();
    void openAwaited();

    QTimer* openTimer = nullptr; // while the window waits for the first picture
    bool imagesGiven = false;
    bool refitWhenFramed = false; // sized for the first picture before it opened
    std::optional<PictureInfo> shownInfo;
    ViewChoice shownChoice;
    double shownZoom = 1.0;
};

} // namespace quorvanta
