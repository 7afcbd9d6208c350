#pragma once
// The picture object: holds the picture on show and every piece of viewing, playback and encoding
// state, and receives each user command as a method id through one dispatcher.

#include "pictureview/Buffer.h"
#include "pictureview/DisplayBuffer.h"
#include "pictureview/GuiHandles.h"
#include "pictureview/MethodIds.h"
#include "pictureview/PictureRecord.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

namespace quorvanta {

class PlaybackClock;
struct AnimationState;
struct DirectoryState;

// A command for the picture object: the method id and its one argument, if any.
struct Message {
    MethodId id;
    std::int32_t value = 0; // frame number for GotoFrame, ShowAnimFrame, ShowDirFrame
    std::string text;       // path or text argument (bytes as the file system takes them)
};

enum PixelFormat : std::int32_t {
    PixelFormatRGB = 0,  // 3 bytes a pixel: R, G, B; drawn opaque
    PixelFormatARGB = 2, // 4 bytes a pixel: A, R, G, B; blended over backgroundColor
};

enum Mode : std::int32_t {
    ModeImported = -1,
    ModeStill = 0,
    ModeAnimated = 1,
    ModeDirectory = 2,
};

// The object's instance data.
struct InstanceData {
    DisplayBuffer pixels;
    PictureRecord importBuffer;
    std::string path;
    std::uint32_t width = 100;
    std::uint32_t height = 100;
    std::uint32_t bytesPerRow = 0;
    std::int32_t pixelFormat = PixelFormatRGB;
    std::uint32_t backgroundColor = 0xFFFFFFFF;
    std::int32_t mode = ModeStill;
    bool inputHandlerAdded = false; // the clock's completions are delivered as ticks
    std::int32_t currentFrame = 1;
    std::int32_t loopsDone = 0;
    std::int32_t frameCount = 0;
    Buffer<std::uint8_t> fileData;
    std::uint64_t fileSize = 0;
    std::int32_t importStatus = 0;
    std::int32_t frameDelay = 1000000; // microseconds
    std::int32_t loopCount = 0;
};

class PictureView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxWidth = 1280;
    static constexpr int kMaxHeight = 1024;
    static constexpr int kDefaultSize = 100;

    // Creation: requested sizes outside 1..1280 and 1..1024 become 100.
    explicit PictureView(std::int64_t requestedWidth = kDefaultSize,
                         std::int64_t requestedHeight = kDefaultSize, QWidget* parent = nullptr);
    ~PictureView() override;

    void setHandles(const GuiHandles& handles);
    const GuiHandles& handles() const { return gui; }

    // The one entry for every command.
    void dispatch(const Message& message);
    void send(MethodId id) { dispatch(Message{id, 0, {}}); }
    void send(MethodId id, std::int32_t value) { dispatch(Message{id, value, {}}); }
    void send(MethodId id, std::string text) { dispatch(Message{id, 0, std::move(text)}); }

    const InstanceData& state() const { return d; }

    // The playback clock; tests put a hand-driven one in before the window is shown.
    void setClock(std::unique_ptr<PlaybackClock> clock);
    PlaybackClock* clock() const { return playbackClock.get(); }

    // The picture as drawn: made once from `pixels` for each new picture, when it is first needed
    // (a frame replaced before it was ever painted costs no conversion).
    const QImage& displayImage() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

Q_SIGNALS:
    // Emitted by the dispatcher for every command it receives, before the command runs.
    void methodReceived(quorvanta::MethodId id, std::int32_t value, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend struct PictureViewTestAccess; // tests put instance data in place directly

    // Generic object methods and drawing (pictureview/).
    void showImported();
    void pictureChanged(); // drops the drawn image made from the old `pixels` and repaints

    // Shell helpers: each does nothing when its handle is absent.
    void showPanel(QWidget* panel, bool visible) const;
    void setSliderMaximum(int maximum) const;
    void setSliderValueQuietly(int value) const;
    void setGauge(int percent) const;

    // Loading and still WebP (viewing/).
    void openWebP();
    void load(const std::string& path);
    void decodeStill();

    // Animated WebP (viewing/).
    void showAnimFrame(std::int32_t frame);

    // Playback clock (viewing/).
    void setup();
    void cleanup();
    void tick();
    void gotoFrame(std::int32_t frame);
    void setDelay(const std::string& text);
    void pause();
    void play();
    void clockCompleted(); // a request of the clock completed: a tick while playback runs

    // Encoding (encoding/).
    void savePicture();
    void encodePicture(const std::string& path);

    // Image directories (encoding/).
    void openDirectory();
    void loadDirectory(const std::string& path);
    void showDirFrame(std::int32_t frame);
    void saveAnimation();

    InstanceData d;
    GuiHandles gui;
    mutable QImage shownImage;
    mutable bool shownImageStale = false;
    QSize laidOutSize; // the size hint the window was last asked to lay out
    std::unique_ptr<PlaybackClock> playbackClock;
    std::unique_ptr<AnimationState> animation;
    std::unique_ptr<DirectoryState> directory;
    bool isSetUp = false;
    bool clockMadeBySetup = false; // released by cleanup; a clock given with setClock is kept
};

} // namespace quorvanta
