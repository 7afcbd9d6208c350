#pragma once
// The main window: the picture area, the panels that appear when they apply, the menus and the
// keyboard. It only builds and reports; the shell wires what it reports to the picture object.

#include <QMainWindow>

#include <cstdint>
#include <string>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QToolButton;

namespace quorvanta {

class PictureView;
struct Controls;

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
    MainWindow(std::int64_t pictureWidth, std::int64_t pictureHeight, QWidget* parent = nullptr);

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

Q_SIGNALS:
    void closeRequested();
    // The first local path of a drop, in the bytes the file system takes.
    void pathDropped(const std::string& path);

protected:
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
};

} // namespace quorvanta
