#pragma once
// The parts of the windows that the picture object reaches back into. Set once when the main window
// is built; any of them may be absent (a picture object tested on its own).

class QWidget;
class QSlider;
class QProgressBar;

namespace quorvanta {

class SettingsSource;
class Requesters;

struct GuiHandles {
    QWidget* mainWindow = nullptr;
    QWidget* encodePicturePanel = nullptr;
    QWidget* animationBar = nullptr;
    QSlider* frameSlider = nullptr;
    QWidget* encodeAnimationPanel = nullptr;
    QProgressBar* progressGauge = nullptr;
    const SettingsSource* settings = nullptr;
    Requesters* requesters = nullptr;
};

} // namespace quorvanta
